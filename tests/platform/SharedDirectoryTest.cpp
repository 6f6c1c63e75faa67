// In a directory all users write into, such as /tmp, another user plants links, pipes and files under the
// names a program will use: whatever the host has configured, only the user's own links and files are used.
#include "tests/TestSupport.h"

using namespace testing_support;

const std::string secretText = "<secret>root's own</secret>";

class SharedDirectory : public DocumentInScratch {
protected:
    void SetUp() override {
        if (!isRoot()) GTEST_SKIP() << "playing a second user needs root";
        ASSERT_EQ(mkdir(path("shared").c_str(), 0777), 0);
        ASSERT_EQ(chmod(path("shared").c_str(), 01777), 0);  // sticky and world-writable, as /tmp
        writeFile(secret, secretText);
    }

    // Runs `plant` as the second user; "planted" when all went well.
    static std::string asSecondUser(const std::function<bool()>& plant) {
        return answerInChild([&] { return plant() ? "planted" : "planting failed"; }, secondUser);
    }

    std::string shared(const std::string& name) const { return path("shared/" + name); }

    const std::string secret = path("secret.xml");
};

TEST_F(SharedDirectory, OtherUsersLinksAreNotFollowed) {
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_directory(path("inner"));
    ASSERT_EQ(asSecondUser([&] {
                  return symlink(secret.c_str(), shared("report.xml").c_str()) == 0 &&
                         symlink(path("created.xml").c_str(), shared("dangling.xml").c_str()) == 0 &&
                         symlink(path("fifo").c_str(), shared("fifo.xml").c_str()) == 0 &&
                         symlink(path("inner").c_str(), shared("dir").c_str()) == 0;
              }),
              "planted");
    for (const std::string& name :
         {shared("report.xml"), shared("dangling.xml"), shared("fifo.xml"), shared("dir/x.xml")}) {
        SCOPED_TRACE(name);
        expectRefused(name, cannotOpen(name), [&] { return saveErrorInChild(smallDocument(name), std::nullopt, 5); });
    }
    EXPECT_EQ(readFile(secret), secretText);
    EXPECT_FALSE(fs::exists(path("created.xml")));
    EXPECT_TRUE(fs::is_empty(path("inner")));
    // The user's own link is followed as anywhere else.
    ASSERT_EQ(symlink(path("mine.xml").c_str(), shared("own-link.xml").c_str()), 0);
    EXPECT_EQ(saveError(smallDocument(shared("own-link.xml"))), noException);
    EXPECT_TRUE(fs::is_regular_file(path("mine.xml")));
}

TEST_F(SharedDirectory, OtherUsersFilesAreNeitherReplacedNorWritten) {
    ASSERT_EQ(asSecondUser([&] {
                  writeFile(shared("owned.xml"), "planted");
                  return chmod(shared("owned.xml").c_str(), 0666) == 0;
              }),
              "planted");
    expectRefused(shared("owned.xml"), cannotOpen(shared("owned.xml")),
                  [&] { return saveError(smallDocument(shared("owned.xml"))); });
    {
        FifoReader fifo(shared("pipe.xml"));  // a reader that would receive the text
        ASSERT_TRUE(fifo.isOpen());
        ASSERT_EQ(chown(shared("pipe.xml").c_str(), secondUser.uid, secondUser.gid), 0);
        EXPECT_EQ(saveError(smallDocument(shared("pipe.xml"))), cannotOpen(shared("pipe.xml")));
        EXPECT_EQ(fifo.received(), "");
    }
    // The other user still saves its own files there.
    EXPECT_EQ(saveErrorInChild(smallDocument(shared("theirs.xml")), secondUser), noException);
}

TEST_F(SharedDirectory, LogIsNotHijacked) {
    ASSERT_EQ(asSecondUser([&] {
                  writeFile(shared("own.xml.log"), "");
                  return symlink(secret.c_str(), shared("link.xml.log").c_str()) == 0 &&
                         mkfifo(shared("fifo.xml.log").c_str(), 0666) == 0 &&
                         chmod(shared("own.xml.log").c_str(), 0666) == 0;
              }),
              "planted");
    // A parse error's log goes neither into a planted link's file nor the other user's, nor waits for a pipe.
    for (const char* name : {"link.xml", "own.xml", "fifo.xml", "fresh.xml"}) {
        SCOPED_TRACE(name);
        document.setFileName(shared(name));
        EXPECT_EQ(errorInChild([&] { rkXMLFStream().readDocumentFromString(document, "<a></b>"); }, std::nullopt, 5),
                  "Error at line 0: Closing tag differs from open tag.\n");
    }
    EXPECT_EQ(readFile(secret), secretText);
    EXPECT_EQ(readFile(shared("own.xml.log")), "");
    EXPECT_EQ(fs::status(shared("fresh.xml.log")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}
