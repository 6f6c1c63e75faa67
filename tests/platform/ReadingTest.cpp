// Reading waits for no FIFO writer that is not there, takes every path that saving takes, and fails cleanly when
// memory runs out, leaving the document as it was.
#include "tests/TestSupport.h"

#ifdef _WIN32
TEST(Reading, PosixOnly) { GTEST_SKIP() << "needs FIFOs, fork, POSIX path limits and resource limits"; }
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>

#include <climits>
#include <new>
#include <thread>

using namespace testing_support;

namespace {
// What a read did: its error, or "(no exception)", and the document's tree after it.
struct Outcome {
    std::string error;
    std::string tree;
};

// The outcome of `read` on `document`, run in a child process that ends after `seconds`, so that a read that
// hangs fails the test instead of the suite. `prepare` runs in the child first.
Outcome readInChild(rkXMLDocument& document, const std::function<void()>& read, unsigned seconds,
                    const std::function<void()>& prepare = nullptr) {
    int ends[2];
    if (pipe(ends) != 0) return {"(no pipe)", ""};
    const int status = runInChild(
        [&] {
            close(ends[0]);
            if (prepare) prepare();
            std::string error = "(no exception)";
            try {
                read();
            } catch (const std::exception& e) {
                error = e.what();
            }
            // Nothing may escape into the test program that the child is a copy of; a pipe holds 64 KiB unread.
            try {
                const std::string report = (error + '\n' + describe(document.getRoot())).substr(0, 4096);
                return write(ends[1], report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0 : 1;
            } catch (...) {
                return 2;
            }
        },
        false, seconds);
    close(ends[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t count; (count = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(count));
    close(ends[0]);
    if (status != 0) return {"(the child ended with " + std::to_string(status) + ")", ""};
    const std::size_t lineEnd = report.find('\n');
    return {report.substr(0, lineEnd), report.substr(lineEnd + 1)};
}

// A document for `fileName` that already holds a tree, to see what a read leaves of it.
rkXMLDocument documentHolding(const std::string& fileName) {
    rkXMLDocument document;
    document.setFileName(fileName);
    element(document.getRoot())->setValue("kept value");
    addElement(document.getRoot(), "kept");
    return document;
}
const std::string heldTree = "?root?'kept value'(kept)";

using Reading = ScratchTest;
}  // namespace

TEST_F(Reading, FifoWithoutWriterReadsAsEmptyAtOnce) {
    const std::string fifo = path("planted.xml");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    rkXMLDocument document = documentHolding(fifo);
    const Outcome outcome = readInChild(
        document, [&] { rkXMLFStream().readDocument(document); }, 5);
    EXPECT_EQ(outcome.error, "(no exception)");
    EXPECT_EQ(outcome.tree, heldTree);
}

TEST_F(Reading, FifoWithWriterIsReadToItsEnd) {
    const std::string fifo = path("pipe.xml");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    rkXMLDocument document = documentHolding(fifo);
    // The writer is there before the read begins, writes the rest once the first part was read, then goes.
    int writer = -1;
    std::thread finishing;
    const auto startWriter = [&] {
        writer = ::open(fifo.c_str(), O_RDWR);
        if (write(writer, "<a>x", 4) != 4) return;
        finishing = std::thread([writer] {
            int queued = 1;
            while (ioctl(writer, FIONREAD, &queued) == 0 && queued > 0) usleep(1000);
            if (write(writer, "</a>", 4) == 4) close(writer);
        });
    };
    const auto read = [&] {
        rkXMLFStream().readDocument(document);
        finishing.join();
    };
    const Outcome outcome = readInChild(document, read, 5, startWriter);
    EXPECT_EQ(outcome.error, "(no exception)");
    EXPECT_EQ(outcome.tree, "?root?'kept value'(kept,a'x')");
}

namespace {
// Makes `depth` nested directories in `base` through descriptors, as a path that long cannot be named, and
// gives the deepest one's path, or "" on a failure.
std::string makeDeepDirectories(const std::string& base, std::size_t depth) {
    std::string path = base;
    int directory = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 0; i < depth && directory >= 0; ++i) {
        const std::string name = std::to_string(i) + std::string(200, 'd');
        const int parent = directory;
        directory =
            mkdirat(parent, name.c_str(), 0755) == 0 ? openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY) : -1;
        close(parent);
        path += "/" + name;
    }
    if (directory < 0) return "";
    close(directory);
    return path;
}

// Removes a tree of any depth, which the test directory's own removal cannot.
struct RemovedByRm {
    ~RemovedByRm() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};
}  // namespace

TEST_F(Reading, PathLongerThanOneSystemCallReadsBackAsSaved) {
    const std::string deep = makeDeepDirectories(scratch.str(), 22);
    const RemovedByRm removal{scratch.path("0" + std::string(200, 'd'))};
    ASSERT_FALSE(deep.empty());
    const std::string file = deep + "/data.xml";
    ASSERT_GT(file.size(), static_cast<std::size_t>(PATH_MAX));
    rkXMLDocument saved;
    saved.setFileName(file);
    addElement(addElement(saved.getRoot(), "data"), "entry", "deep");
    ASSERT_EQ(saveError(saved), "(no exception)");
    rkXMLDocument read;
    read.setFileName(file);
    EXPECT_EQ(errorOf([&] { rkXMLFStream().readDocument(read); }), "(no exception)");
    EXPECT_EQ(describe(read.getRoot()), "?root?(data(entry'deep'))");
}

namespace {
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underSanitizer = true;
#else
constexpr bool underSanitizer = false;
#endif
#else
constexpr bool underSanitizer = false;
#endif

constexpr std::size_t headroom = 64 << 20;  // what the process may still take, over what it has

// Lets the process's address space grow by `headroom` bytes at most.
bool limitMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 7, "VmSize:") != 0) continue;
        const rlim_t bytes = std::stoull(line.substr(7)) * 1024 + headroom;
        const rlimit limit{bytes, bytes};
        return setrlimit(RLIMIT_AS, &limit) == 0;
    }
    return false;
}

char* volatile kept = nullptr;

// Whether a failed allocation in a child under that limit throws std::bad_alloc: valgrind ends the process
// instead (it is asked first, as it says so at length).
bool failedAllocationThrows() {
    const char* preloaded = std::getenv("LD_PRELOAD");
    if (preloaded != nullptr && std::string(preloaded).find("vgpreload") != std::string::npos) return false;
    return runInChild([] {
               if (!limitMemory()) return 1;
               try {
                   kept = new char[2 * headroom];
               } catch (const std::bad_alloc&) {
                   return 0;
               }
               return 1;
           }) == 0;
}
}  // namespace

TEST_F(Reading, FileTooLargeForMemoryIsAFailedReadThatChangesNothing) {
    if (underSanitizer) GTEST_SKIP() << "the sanitizers' allocator ends the process when memory runs out";
    if (!failedAllocationThrows())
        GTEST_SKIP() << "memory cannot be made to run out here, or running out ends the process (valgrind)";
    const std::string sparse = path("sparse.xml");
    writeFile(sparse, "");
    ASSERT_EQ(truncate(sparse.c_str(), off_t{64} << 30), 0);  // 64 GiB, without a block on disk
    const std::string elements = path("elements.xml");
    writeFile(elements, "top text" + repeated("<a/>", std::size_t{2} << 20));  // 8 MB, its tree far more
    const std::pair<const char*, std::string> cases[] = {{"a sparse file of 64 GiB", sparse},
                                                         {"an 8 MB file whose tree does not fit", elements}};
    for (const auto& [row, file] : cases) {
        rkXMLDocument document = documentHolding(file);
        const Outcome outcome = readInChild(
            document, [&] { rkXMLFStream().readDocument(document); }, 60, [] { limitMemory(); });
        EXPECT_EQ(outcome.error, "Reading file: " + file + " failed.") << row;
        EXPECT_EQ(outcome.tree, heldTree) << row;
    }
}

TEST_F(Reading, TextTooLargeForMemoryThrowsAndChangesNothing) {
    if (underSanitizer) GTEST_SKIP() << "the sanitizers' allocator ends the process when memory runs out";
    if (!failedAllocationThrows())
        GTEST_SKIP() << "memory cannot be made to run out here, or running out ends the process (valgrind)";
    const std::string text = "top text" + repeated("<a/>", std::size_t{2} << 20);
    rkXMLDocument document = documentHolding("");
    const auto read = [&] {
        try {
            rkXMLFStream().readDocumentFromString(document, text);
        } catch (const std::bad_alloc&) {
            throw std::runtime_error("std::bad_alloc");
        }
    };
    const Outcome outcome = readInChild(document, read, 60, [] { limitMemory(); });
    EXPECT_EQ(outcome.error, "std::bad_alloc");
    EXPECT_EQ(outcome.tree, heldTree);
}
#endif
