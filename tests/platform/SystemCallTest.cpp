// Faults the file system alone cannot provoke: this program replaces open, openat, fsync, renameat, read and write
// for the whole program, to fail them, to interrupt them once by a signal (EINTR), and to refuse unnamed files
// (O_TMPFILE) as macOS and old kernels do, so that saving takes its named temporary file instead.
#include <dlfcn.h>

#include <cerrno>
#include <cstdarg>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
enum class Fault { none, fsync, write, rename, read };

struct Interposed {
    std::vector<std::string> calls;
    int refuseUnnamedWith = 0;  // the errno for O_TMPFILE, or 0 to let it through
    Fault failing = Fault::none;
    bool interrupting = false;  // every open, and every read and write of a file or pipe, fails once with EINTR
    bool interruptNext = true;
    int interruptions = 0;
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

// Whether this call is the one of its pair that is interrupted.
bool isInterrupted() {
    if (!interposed.interrupting) return false;
    interposed.interruptNext = !interposed.interruptNext;
    if (interposed.interruptNext) return false;
    ++interposed.interruptions;
    errno = EINTR;
    return true;
}

bool isFileOrPipe(int descriptor, struct stat& status) {
    return fstat(descriptor, &status) == 0 && (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode));
}

// The mode argument, which is there only when a file may be created.
mode_t modeArgument(int flags, va_list arguments) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}
}  // namespace

extern "C" int openat(int directory, const char* name, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if ((flags & O_TMPFILE) == O_TMPFILE && interposed.refuseUnnamedWith != 0)
        return failWith(interposed.refuseUnnamedWith);
    if (isInterrupted()) return -1;
    return next<int (*)(int, const char*, int, ...)>("openat")(directory, name, flags, mode);
}

extern "C" int open(const char* name, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (isInterrupted()) return -1;
    return next<int (*)(const char*, int, ...)>("open")(name, flags, mode);
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
    struct stat status {};
    if (interposed.failing == Fault::read) return failWith(EIO);
    if (interposed.interrupting && isFileOrPipe(descriptor, status) && isInterrupted()) return -1;
    return next<ssize_t (*)(int, void*, size_t)>("read")(descriptor, buffer, size);
}

// The text goes into the file while it is written: its mode then must keep others out.
extern "C" ssize_t write(int descriptor, const void* buffer, size_t size) {
    struct stat status {};
    if ((interposed.watchWrites || interposed.failing == Fault::write || interposed.interrupting) &&
        isFileOrPipe(descriptor, status)) {
        if (interposed.failing == Fault::write) return failWith(EIO);
        if (isInterrupted()) return -1;
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
class InjectedFault : public DocumentInScratch {
protected:
    void TearDown() override { interposed = Interposed(); }
};
}  // namespace

TEST_P(SystemCall, SaveFlushesBeforeItRenames) {
    EXPECT_EQ(saveError(document), noException);
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
    EXPECT_EQ(saveError(document), noException);
    umask(previousMask);
    EXPECT_FALSE(interposed.wroteFileOthersCanRead);
}

TEST_P(SystemCall, NewFileGetsTheUsualMode) {
    const mode_t previousMask = umask(027);
    document.setFileName(path("new.xml"));
    EXPECT_EQ(saveError(document), noException);
    umask(previousMask);
    EXPECT_EQ(fs::status(path("new.xml")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

INSTANTIATE_TEST_SUITE_P(Temporary, SystemCall,
                         ::testing::Values(Temporary{"Unnamed", 0}, Temporary{"NamedAfterEISDIR", EISDIR},
                                           Temporary{"NamedAfterEOPNOTSUPP", EOPNOTSUPP}),
                         [](const ::testing::TestParamInfo<Temporary>& info) { return info.param.name; });

// A read that fails after the open adds nothing and names the file, its control bytes escaped.
TEST_F(InjectedFault, ReadErrorIsReportedAndAddsNothing) {
    const std::string name = path("line\nfeed.xml");
    writeFile(name, "<data/>");
    document.setFileName(name);
    addElement(document.getRoot(), "kept");
    interposed.failing = Fault::read;
    const std::string error = errorOf([&] { stream.readDocument(document); });
    interposed.failing = Fault::none;
    EXPECT_EQ(error, "Reading file: " + path("line\\x0Afeed.xml") + " failed.");
    EXPECT_EQ(describe(document.getRoot()), "?root?(kept)");
}

// A call that a signal interrupts while it waits (for a lease, on a network file system) is made again.
TEST_F(InjectedFault, InterruptedCallsAreMadeAgain) {
    writeFile(path("old.xml"), "<old>text</old>");
    rkXMLDocument read;
    read.setFileName(path("old.xml"));
    rkXMLDocument parsed = smallDocument(path("parsed.xml"));
    const std::string parseError = "Error at line 0: Closing tag differs from open tag.\n";
    const std::string saved = textOf(smallDocument(""));
    const struct {
        const char* name;
        std::function<std::string()> action;
        std::string error;
        std::string file;     // that the action reads or writes
        std::string content;  // that the file holds after it
    } rows[] = {
        {"reading", [&] { return errorOf([&] { rkXMLFStream().readDocument(read); }); }, noException, "old.xml",
         "<old>text</old>"},
        {"saving over a file", [&] { return saveError(smallDocument(path("old.xml"))); }, noException, "old.xml",
         saved},
        {"saving a new file", [&] { return saveError(smallDocument(path("new.xml"))); }, noException, "new.xml", saved},
        {"logging", [&] { return errorOf([&] { rkXMLFStream().readDocumentFromString(parsed, "<a></b>"); }); },
         parseError, "parsed.xml.log", parseError},
    };
    for (const auto& row : rows) {
        interposed.interrupting = true;
        interposed.interruptions = 0;
        const std::string error = row.action();
        interposed.interrupting = false;
        EXPECT_EQ(error, row.error) << row.name;
        EXPECT_GT(interposed.interruptions, 0) << row.name;
        EXPECT_EQ(readFile(path(row.file)), row.content) << row.name;
    }
    EXPECT_EQ(describe(read.getRoot()), "?root?(old'text')");
}
