// File names in the reader's and the writer's messages show bytes below 32 and 127 as \xHH, as names from the tree
// do: a name holding a line feed cannot forge lines in the log or in the caller's output.
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
const std::string rawName = "forged\nError at line 0: \x7f\x1b.xml";
const std::string shownName = "forged\\x0AError at line 0: \\x7F\\x1B.xml";

using NamesInMessages = ScratchTest;
}  // namespace

TEST_F(NamesInMessages, ReadingMissingFile) {
    rkXMLDocument document;
    document.setFileName(path(rawName));
    EXPECT_EQ(errorOf([&] { rkXMLFStream().readDocument(document); }), "Opening file: " + path(shownName) + "failed.");
}

TEST_F(NamesInMessages, SavingShowsTheNameInTheMessageAndTheLog) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names cannot hold control characters";
#else
    // A directory cannot be replaced; a link to /dev/full cannot be written.
    const std::string directory = rawName + ".dir";
    ASSERT_TRUE(fs::create_directory(path(directory)));
    const std::string full = rawName + ".full";
    const bool hasFull = fs::exists("/dev/full") && symlink("/dev/full", path(full).c_str()) == 0;
    struct Case {
        std::string row;
        std::string name;
        std::string message;
    };
    std::vector<Case> cases = {{"a directory", directory, cannotOpen(path(shownName + ".dir"))}};
    if (hasFull) cases.push_back({"a full device", full, writingFailed(path(shownName + ".full"))});
    for (const Case& c : cases) {
        rkXMLDocument document;
        document.setFileName(path(c.name));
        addElement(document.getRoot(), "data");
        EXPECT_EQ(saveError(document), c.message) << c.row;
        EXPECT_EQ(readFile(path(c.name + ".log")), c.message) << c.row;
    }
    if (!hasFull) GTEST_SKIP() << "no /dev/full here to make a write fail";
#endif
}
