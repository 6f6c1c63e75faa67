// Faults the file system alone cannot provoke: this program replaces openat, fsync, renameat, read and write to
// see them, and refuses unnamed files (O_TMPFILE) as macOS and old kernels do, so that saving takes its named
// temporary file instead.
#include <dlfcn.h>
#include <cerrno>
#include <cstdarg>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
enum class Fault { none, fsync, write, rename };

struct Interposed {
    std::vector<std::string> calls;
    int refuseUnnamedWith = 0;  // the errno for O_TMPFILE, or 0 to let it through
    Fault failing = Fault::none;
    bool failRead = false;
    bool watchWrites = false;
    bool wroteFileOthersCanRead = false;
} interposed;

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int failWith(int error) {
    errno = error;
    return -1;
}

bool isRegularFile(int descriptor, struct stat& status) {
    return fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
}
}  // namespace

extern "C" int openat(int directory, const char* name, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    if ((flags & O_TMPFILE) == O_TMPFILE && interposed.refuseUnnamedWith != 0)
        return failWith(interposed.refuseUnnamedWith);
    return next<int (*)(int, const char*, int, ...)>("openat")(directory, name, flags, mode);
}

extern "C" int fsync(int descriptor) {
    interposed.calls.push_back("fsync");
    if (interposed.failing == Fault::fsync) return failWith(EIO);
    return next<int (*)(int)>("fsync")(descriptor);
}

extern "C" int renameat(int fromDirectory, const char* from, int toDirectory, const char* to) {
    interposed.calls.push_back("rename");
    if (interposed.failing == Fault::rename) return failWith(EIO);
    return next<int (*)(int, const char*, int, const char*)>("renameat")(fromDirectory, from, toDirectory, to);
}

extern "C" ssize_t read(int descriptor, void* buffer, size_t size) {
    if (interposed.failRead) return failWith(EIO);
    return next<ssize_t (*)(int, void*, size_t)>("read")(descriptor, buffer, size);
}

// The text goes into the file while it is written: its mode then must keep others out.
extern "C" ssize_t write(int descriptor, const void* buffer, size_t size) {
    struct stat status {};
    if ((interposed.watchWrites || interposed.failing == Fault::write) && isRegularFile(descriptor, status)) {
        if (interposed.failing == Fault::write) return failWith(EIO);
        interposed.wroteFileOthersCanRead = interposed.wroteFileOthersCanRead || (status.st_mode & 0044) != 0;
    }
    return next<ssize_t (*)(int, const void*, size_t)>("write")(descriptor, buffer, size);
}

namespace {
// How the temporary file of a save is made: without a name, or named because the system refuses unnamed files
// with the error that old kernels (EISDIR) or file systems without support (EOPNOTSUPP) give.
struct Temporary {
    const char* name;
    int refuseUnnamedWith;
};
void PrintTo(const Temporary& temporary, std::ostream* out) { *out << temporary.name; }

class SystemCall : public DocumentInScratch, public ::testing::WithParamInterface<Temporary> {
protected:
    void SetUp() override {
        writeFile(target, "<old>text</old>");
        chmod(target.c_str(), 0600);
        addElement(document.getRoot(), "data", "new text");
        interposed.refuseUnnamedWith = GetParam().refuseUnnamedWith;
    }
    void TearDown() override { interposed = Interposed(); }
};
using FileReading = DocumentInScratch;
}  // namespace

TEST_P(SystemCall, SaveFlushesBeforeItRenames) {
    EXPECT_EQ(saveError(document), "(no exception)");
    // The new text is on disk before it takes the old one's place; then the directory entry is.
    EXPECT_EQ(interposed.calls, (std::vector<std::string>{"fsync", "rename", "fsync"}));
    EXPECT_EQ(readFile(target), "<data>new text</data>");
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"doc.xml"});
}

// A failure anywhere before the rename keeps the earlier file, or none, and leaves nothing beside it.
TEST_P(SystemCall, FailureBeforeTheRenameChangesNothing) {
    const std::pair<const char*, Fault> faults[] = {
        {"write", Fault::write}, {"fsync", Fault::fsync}, {"rename", Fault::rename}};
    for (const auto& [name, fault] : faults) {
        for (const std::string& file : {target, path("new.xml")}) {
            SCOPED_TRACE(name + (" of " + file));
            document.setFileName(file);
            expectRefused(file, writingFailed(file), [&, fault = fault] {
                interposed.failing = fault;
                const std::string error = saveError(document);
                interposed.failing = Fault::none;  // before a failure is printed
                return error;
            });
        }
    }
}

TEST_P(SystemCall, NothingOthersCanReadAppearsWhileSaving) {
    const mode_t previousMask = umask(0);  // whatever the mask, the temporary file is the user's alone
    interposed.watchWrites = true;
    EXPECT_EQ(saveError(document), "(no exception)");
    umask(previousMask);
    EXPECT_FALSE(interposed.wroteFileOthersCanRead);
}

TEST_P(SystemCall, NewFileGetsTheUsualMode) {
    const mode_t previousMask = umask(027);
    document.setFileName(path("new.xml"));
    EXPECT_EQ(saveError(document), "(no exception)");
    umask(previousMask);
    EXPECT_EQ(fs::status(path("new.xml")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

INSTANTIATE_TEST_SUITE_P(Temporary, SystemCall,
                         ::testing::Values(Temporary{"Unnamed", 0}, Temporary{"NamedAfterEISDIR", EISDIR},
                                           Temporary{"NamedAfterEOPNOTSUPP", EOPNOTSUPP}),
                         [](const ::testing::TestParamInfo<Temporary>& info) { return info.param.name; });

TEST_F(FileReading, ReadFailingAfterTheOpenIsReported) {
    writeFile(target, "<data/>");
    addElement(document.getRoot(), "kept");
    interposed.failRead = true;
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Reading file: " + target + " failed.");
    interposed = Interposed();
    EXPECT_EQ(describe(document.getRoot()), "?root?(kept)");  // nothing read is added
}
