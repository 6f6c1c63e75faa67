// Faults that only a replaced system call provokes: this program replaces openat, to interrupt every open() once
// by a signal (EINTR), and read, to fail it.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
struct Injected {
    bool interruptOpens = false;
    bool interruptNext = true;
    int interruptions = 0;
    bool failRead = false;
} injected;

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Every open is interrupted once, as by a signal while it waits, and then succeeds.
bool isInterrupted() {
    if (!injected.interruptOpens) return false;
    injected.interruptNext = !injected.interruptNext;
    if (injected.interruptNext) return false;
    ++injected.interruptions;
    errno = EINTR;
    return true;
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

extern "C" ssize_t read(int descriptor, void* buffer, size_t size) {
    if (injected.failRead) {
        errno = EIO;
        return -1;
    }
    return next<ssize_t (*)(int, void*, size_t)>("read")(descriptor, buffer, size);
}

namespace {
class InjectedFault : public ScratchTest {
protected:
    void TearDown() override { injected = Injected(); }

    rkXMLDocument documentFor(const std::string& name) {
        rkXMLDocument document;
        document.setFileName(path(name));
        addElement(document.getRoot(), "data", "new text");
        return document;
    }
};
}  // namespace

TEST_F(InjectedFault, InterruptedOpenIsTriedAgain) {
    writeFile(path("old.xml"), "<old>text</old>");
    rkXMLDocument read = documentFor("old.xml");
    rkXMLDocument parsed = documentFor("parsed.xml");
    const std::string parseError = "Error at line 0: Closing tag differs from open tag.\n";
    struct Case {
        const char* row;
        std::function<std::string()> action;
        std::string error;
        std::string file;     // that the action reads or writes
        std::string content;  // that the file holds after it
    };
    const Case cases[] = {
        {"reading", [&] { return errorOf([&] { rkXMLFStream().readDocument(read); }); }, "(no exception)", "old.xml",
         "<old>text</old>"},
        {"saving over a file", [&] { return saveError(documentFor("old.xml")); }, "(no exception)", "old.xml",
         "<data>new text</data>"},
        {"saving a new file", [&] { return saveError(documentFor("new.xml")); }, "(no exception)", "new.xml",
         "<data>new text</data>"},
        {"logging", [&] { return errorOf([&] { rkXMLFStream().readDocumentFromString(parsed, "<a></b>"); }); },
         parseError, "parsed.xml.log", parseError},
    };
    for (const Case& c : cases) {
        injected.interruptOpens = true;
        injected.interruptions = 0;
        const std::string error = c.action();
        injected.interruptOpens = false;
        EXPECT_EQ(error, c.error) << c.row;
        EXPECT_GT(injected.interruptions, 0) << c.row;
        EXPECT_EQ(readFile(path(c.file)), c.content) << c.row;
    }
    EXPECT_EQ(describe(read.getRoot()), "?root?(data'new text',old'text')");
}

TEST_F(InjectedFault, ReadErrorShowsTheNameEscaped) {
    const std::string name = "line\nfeed.xml";
    writeFile(path(name), "<old>text</old>");
    rkXMLDocument document = documentFor(name);
    injected.failRead = true;
    EXPECT_EQ(errorOf([&] { rkXMLFStream().readDocument(document); }),
              "Reading file: " + path("line\\x0Afeed.xml") + " failed.");
    EXPECT_EQ(describe(document.getRoot()), "?root?(data'new text')");
}
