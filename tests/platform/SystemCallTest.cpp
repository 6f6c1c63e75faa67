// Faults the file system alone cannot provoke: this program replaces fsync, renameat, read and write to see them.
#include <dlfcn.h>
#include <cerrno>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
struct Interposed {
    std::vector<std::string> calls;
    bool failFsync = false;
    bool failRead = false;
    bool watchWrites = false;
    bool wroteFileOthersCanRead = false;
} interposed;

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int failWithIoError() {
    errno = EIO;
    return -1;
}
}  // namespace

extern "C" int fsync(int descriptor) {
    interposed.calls.push_back("fsync");
    if (interposed.failFsync) return failWithIoError();
    return next<int (*)(int)>("fsync")(descriptor);
}

extern "C" int renameat(int fromDirectory, const char* from, int toDirectory, const char* to) {
    interposed.calls.push_back("rename");
    return next<int (*)(int, const char*, int, const char*)>("renameat")(fromDirectory, from, toDirectory, to);
}

extern "C" ssize_t read(int descriptor, void* buffer, size_t size) {
    if (interposed.failRead) return failWithIoError();
    return next<ssize_t (*)(int, void*, size_t)>("read")(descriptor, buffer, size);
}

// The text goes into the file while it is written: its mode then must keep others out.
extern "C" ssize_t write(int descriptor, const void* buffer, size_t size) {
    struct stat status {};
    if (interposed.watchWrites && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 0044))
        interposed.wroteFileOthersCanRead = true;
    return next<ssize_t (*)(int, const void*, size_t)>("write")(descriptor, buffer, size);
}

class SystemCall : public ScratchTest {
protected:
    void SetUp() override {
        writeFile(target, "<old>text</old>");
        document.setFileName(target);
        addElement(document.getRoot(), "data", "new text");
    }
    void TearDown() override { interposed = Interposed(); }
    const std::string target = path("data.xml");
    rkXMLDocument document;
};

TEST_F(SystemCall, SaveFlushesBeforeItRenames) {
    EXPECT_EQ(saveError(document), "(no exception)");
    // The new text is on disk before it takes the old one's place; then the directory entry is.
    EXPECT_EQ(interposed.calls, (std::vector<std::string>{"fsync", "rename", "fsync"}));
}

TEST_F(SystemCall, FailedFlushKeepsTheEarlierFile) {
    interposed.failFsync = true;
    EXPECT_EQ(saveError(document), writingFailed(target));
    EXPECT_EQ(readFile(target), "<old>text</old>");
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"data.xml", "data.xml.log"}));
}

TEST_F(SystemCall, NothingOthersCanReadAppearsWhileSaving) {
    chmod(target.c_str(), 0600);
    interposed.watchWrites = true;
    EXPECT_EQ(saveError(document), "(no exception)");
    EXPECT_FALSE(interposed.wroteFileOthersCanRead);
}

TEST_F(SystemCall, ReadFailingAfterTheOpenIsReported) {
    interposed.failRead = true;
    EXPECT_EQ(errorOf([&] { rkXMLFStream().readDocument(document); }), "Reading file: " + target + " failed.");
    EXPECT_EQ(describe(document.getRoot()), "?root?(data'new text')");  // nothing read is added
}
