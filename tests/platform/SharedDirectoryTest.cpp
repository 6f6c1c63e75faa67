// In a directory all users write into, such as /tmp, another user plants links, pipes and files under the
// names a program will use: whatever the host has configured, only the user's own links and files are used.
#include "tests/TestSupport.h"

#ifdef _WIN32
TEST(SharedDirectory, PosixOnly) {
    GTEST_SKIP() << "needs POSIX users and a directory such as /tmp that all write into";
}
#else
#include <fcntl.h>

using namespace testing_support;

const std::string secretText = "<secret>root's own</secret>";

class SharedDirectory : public ScratchTest {
protected:
    void SetUp() override {
        if (!isRoot()) GTEST_SKIP() << "playing a second user needs root";
        ASSERT_EQ(mkdir(path("shared").c_str(), 0777), 0);
        ASSERT_EQ(chmod(path("shared").c_str(), 01777), 0);  // sticky and world-writable, as /tmp
        writeFile(secret, secretText);
        addElement(document.getRoot(), "data", "root's new text");
    }

    bool plantAsOtherUser(const std::function<bool()>& plant) {
        return runInChild([&] { return plant() ? 0 : 1; }, true) == 0;
    }

    std::string shared(const std::string& name) const { return path("shared/" + name); }

    const std::string secret = path("secret.xml");
    rkXMLDocument document;
};

TEST_F(SharedDirectory, OtherUsersLinksAreNotFollowed) {
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_directory(path("inner"));
    ASSERT_TRUE(plantAsOtherUser([&] {
        return symlink(secret.c_str(), shared("report.xml").c_str()) == 0 &&
               symlink(path("created.xml").c_str(), shared("dangling.xml").c_str()) == 0 &&
               symlink(path("fifo").c_str(), shared("fifo.xml").c_str()) == 0 &&
               symlink(path("inner").c_str(), shared("dir").c_str()) == 0;
    }));
    for (const std::string& name :
         {shared("report.xml"), shared("dangling.xml"), shared("fifo.xml"), shared("dir/x.xml")}) {
        document.setFileName(name);
        EXPECT_EQ(runInChild([&] { return saveError(document) == cannotOpen(name) ? 0 : 1; }, false, 5), 0) << name;
    }
    EXPECT_EQ(readFile(secret), secretText);
    EXPECT_FALSE(fs::exists(path("created.xml")));
    EXPECT_TRUE(fs::is_empty(path("inner")));
    EXPECT_TRUE(fs::is_symlink(shared("report.xml")));
    // The user's own link is followed as anywhere else.
    ASSERT_EQ(symlink(path("mine.xml").c_str(), shared("own-link.xml").c_str()), 0);
    document.setFileName(shared("own-link.xml"));
    EXPECT_EQ(saveError(document), "(no exception)");
    EXPECT_TRUE(fs::is_regular_file(path("mine.xml")));
}

TEST_F(SharedDirectory, OtherUsersFilesAreNeitherReplacedNorWritten) {
    ASSERT_TRUE(plantAsOtherUser([&] {
        writeFile(shared("owned.xml"), "planted");
        return chmod(shared("owned.xml").c_str(), 0666) == 0 && mkfifo(shared("pipe.xml").c_str(), 0666) == 0;
    }));
    const int readEnd = open(shared("pipe.xml").c_str(), O_RDONLY | O_NONBLOCK);  // a reader that would receive it
    for (const std::string& name : {shared("owned.xml"), shared("pipe.xml")}) {
        document.setFileName(name);
        EXPECT_EQ(saveError(document), cannotOpen(name));
    }
    char byte = 0;
    EXPECT_LE(read(readEnd, &byte, 1), 0);
    close(readEnd);
    EXPECT_EQ(readFile(shared("owned.xml")), "planted");
    // The other user still saves its own files there.
    document.setFileName(shared("theirs.xml"));
    EXPECT_EQ(runInChild([&] { return saveError(document) == "(no exception)" ? 0 : 1; }, true), 0);
}

TEST_F(SharedDirectory, LogIsNotHijacked) {
    ASSERT_TRUE(plantAsOtherUser([&] {
        writeFile(shared("own.xml.log"), "");
        return symlink(secret.c_str(), shared("link.xml.log").c_str()) == 0 &&
               mkfifo(shared("fifo.xml.log").c_str(), 0666) == 0 && chmod(shared("own.xml.log").c_str(), 0666) == 0;
    }));
    // A parse error's log goes neither into a planted link's file nor the other user's, nor waits for a pipe.
    for (const char* name : {"link.xml", "own.xml", "fifo.xml", "fresh.xml"}) {
        document.setFileName(shared(name));
        const auto parse = [&] { rkXMLFStream().readDocumentFromString(document, "<a></b>"); };
        EXPECT_EQ(runInChild([&] { return errorOf(parse) == "(no exception)" ? 1 : 0; }, false, 5), 0) << name;
    }
    EXPECT_EQ(readFile(secret), secretText);
    EXPECT_EQ(readFile(shared("own.xml.log")), "");
    EXPECT_EQ(fs::status(shared("fresh.xml.log")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}
#endif
