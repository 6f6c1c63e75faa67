// Faults that a test cannot provoke through the file system alone: a flush to
// disk that fails, a read that fails after the open, and what other users can
// see while a save is under way. This program replaces fsync, renameat, read
// and write with versions that record the calls and, when asked, fail.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

struct Interposed {
    bool active = false;  // record and inspect only while a test asks for it
    bool failFsync = false;
    bool failRead = false;
    std::vector<std::string> calls;
    std::string watchedDirectory;  // inspected at every write
    std::string readableByOthers;  // an entry found there that other users could read
} interposed;

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Notes an entry of the watched directory, other than the old file, that other users may read.
void inspectWatchedDirectory() {
    DIR* directory = opendir(interposed.watchedDirectory.c_str());
    if (directory == nullptr) return;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        struct stat status {};
        const std::string full = interposed.watchedDirectory + "/" + name;
        if (name != "." && name != ".." && name != "data.xml" && lstat(full.c_str(), &status) == 0 &&
            (status.st_mode & 0044) != 0) {
            interposed.readableByOthers = name;
        }
    }
    closedir(directory);
}

}  // namespace

extern "C" int fsync(int descriptor) {
    if (interposed.active) {
        interposed.calls.push_back("fsync");
        if (interposed.failFsync) {
            errno = EIO;
            return -1;
        }
    }
    return next<int (*)(int)>("fsync")(descriptor);
}

extern "C" int renameat(int fromDirectory, const char* from, int toDirectory, const char* to) {
    if (interposed.active) interposed.calls.push_back("rename");
    return next<int (*)(int, const char*, int, const char*)>("renameat")(fromDirectory, from, toDirectory, to);
}

extern "C" ssize_t read(int descriptor, void* buffer, size_t size) {
    if (interposed.active && interposed.failRead) {
        errno = EIO;
        return -1;
    }
    return next<ssize_t (*)(int, void*, size_t)>("read")(descriptor, buffer, size);
}

extern "C" ssize_t write(int descriptor, const void* buffer, size_t size) {
    if (interposed.active && !interposed.watchedDirectory.empty()) inspectWatchedDirectory();
    return next<ssize_t (*)(int, const void*, size_t)>("write")(descriptor, buffer, size);
}

class SystemCall : public ScratchTest {
protected:
    void SetUp() override { writeFile(target, "<old>text</old>"); }
    void TearDown() override { interposed = Interposed(); }

    // Saves a document with enough text for several writes, with the interposed calls active.
    std::string saveWatched() {
        rkXMLDocument document;
        document.setFileName(target);
        rkXMLElement* top = addElement(document.getRoot(), "data");
        for (int i = 0; i < 200000; ++i) addElement(top, "entry", "value");
        interposed.active = true;
        const std::string error = saveError(document);
        interposed.active = false;
        return error;
    }

    const std::string target = path("data.xml");
};

TEST_F(SystemCall, SaveFlushesBeforeItRenames) {
    EXPECT_EQ(saveWatched(), "(no exception)");
    ASSERT_GE(interposed.calls.size(), 2u);
    EXPECT_EQ(interposed.calls[0], "fsync");  // the new text is on disk before it takes the old one's place
    EXPECT_EQ(interposed.calls[1], "rename");
}

TEST_F(SystemCall, FailedFlushKeepsTheEarlierFile) {
    interposed.failFsync = true;
    EXPECT_EQ(saveWatched(), writingFailed(target));
    EXPECT_EQ(readFile(target), "<old>text</old>");
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"data.xml", "data.xml.log"}));
}

TEST_F(SystemCall, NothingOthersCanReadAppearsWhileSaving) {
    chmod(target.c_str(), 0600);
    interposed.watchedDirectory = scratch.str();
    EXPECT_EQ(saveWatched(), "(no exception)");
    EXPECT_EQ(interposed.readableByOthers, "");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SystemCall, ReadFailingAfterTheOpenIsReported) {
    rkXMLDocument document;
    document.setFileName(target);
    interposed.active = true;
    interposed.failRead = true;
    const std::string message = errorOf([&] { rkXMLFStream().readDocument(document); });
    interposed.active = false;
    EXPECT_EQ(message, "Reading file: " + target + " failed.");
    EXPECT_EQ(document.getTopLevelElement(), nullptr);
}
