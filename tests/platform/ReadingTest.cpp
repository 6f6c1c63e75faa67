// Reading a file: its bytes reach the reader as they are, a failure is reported without a log and changes nothing
// (also when memory runs out), a FIFO is read to its end or, without a writer, at once as empty, a device without
// end up to its size, and every path that saving takes is read.
#include <cstdint>

#include "tests/TestSupport.h"

#ifndef _WIN32
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>

#include <climits>
#include <new>
#endif

using namespace testing_support;
using Reading = DocumentInScratch;

namespace {
const std::string heldTree = "?root?'kept value'(kept)";

// `document` holding a tree already, to see what a read leaves of it.
void hold(rkXMLDocument& document) {
    element(document.getRoot())->setValue("kept value");
    addElement(document.getRoot(), "kept");
}
}  // namespace

TEST_F(Reading, FailuresChangeNothingAndAreNotLogged) {
    using Found = rkXMLFStream::FileFound;
    hold(document);
    writeFile(target, "");  // an empty file adds nothing
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), noException);
    EXPECT_EQ(stream.getFileFound(), Found::RegularFile);
    fs::create_directory(path("folder.xml"));
    for (const auto& [name, found] :
         {std::pair(path("missing.xml"), Found::Missing), std::pair(path("folder.xml"), Found::Directory)}) {
        document.setFileName(name);
        EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Opening file: " + name + "failed.");
        EXPECT_EQ(stream.getFileFound(), found) << name;
    }
    document.setFileName("");
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Invalid/empty filename.");
    EXPECT_EQ(stream.getFileFound(), Found::Missing);
    EXPECT_EQ(describe(document.getRoot()), heldTree);
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"doc.xml", "folder.xml"}));  // no log
}

TEST_F(Reading, BytesReachTheReaderAsTheyAre) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows reads files in text mode (WindowsLineEndTest.cpp)";
#endif
    const std::string bytes("<?xml version=\"1.0\"?>\r\n<a>x\r\n</a>\r\n\0<b/>", 40);
    writeFile(target, bytes);
    std::string text;
    stream.readTextFromFile(target, text);
    EXPECT_EQ(text, bytes);
    stream.readDocument(document);
    EXPECT_EQ(describe(document.getRoot()), std::string("?root?'\r\n\0'", 11) + "(<?xml version=\"1.0\" ?>,a'x\r',b)");
}

// A file beyond 2 GiB and one beyond 4 GiB, sparse so that they take no disk space, with an element at their start:
// a 32-bit process reads what it can hold whole and refuses the rest with the read error, the document untouched;
// never does it read a part. The 32-bit Windows build in CI runs it.
TEST_F(Reading, FileBeyondTwoAndFourGiBIsReadWholeOrRefused) {
    if (sizeof(std::size_t) > 4) GTEST_SKIP() << "a 64-bit process would read gigabytes; the 32-bit build checks this";
    for (const std::uint64_t size : {(std::uint64_t{1} << 31) + 16, (std::uint64_t{1} << 32) + 16}) {
        SCOPED_TRACE(size);
        writeFile(target, "<a>x</a>");
        std::error_code error;
        fs::resize_file(target, size, error);
        if (error) GTEST_SKIP() << "cannot make a sparse file of " << size << " bytes here: " << error.message();
        rkXMLDocument read;
        read.setFileName(target);
        const std::string message = errorOf([&] { stream.readDocument(read); });
        if (message == noException) {
            EXPECT_EQ(element(read.getTopLevelElement())->getValue(), "x");
        } else {
            EXPECT_EQ(message, "Reading file: " + target + " failed.");
            EXPECT_EQ(describe(read.getRoot()), "?root?");
        }
        fs::remove(target);
    }
}

#ifndef _WIN32
namespace {
// The tree that reading `document` leaves in a child process that ends after five seconds, so that a read that
// hangs fails the test instead of the suite; the error's text instead if the read throws one. `startWriter` runs in
// the child first; the thread it answers is joined after the read, so that the child ends with no thread running
// (valgrind counts a running thread's stack as lost).
std::string treeAfterReadInChild(
    rkXMLDocument& document, const std::function<std::thread()>& startWriter = [] { return std::thread(); }) {
    return answerInChild(
        [&] {
            std::thread writer = startWriter();
            const std::string error = errorOf([&] { rkXMLFStream().readDocument(document); });
            if (writer.joinable()) writer.join();
            return error == noException ? describe(document.getRoot()) : error;
        },
        std::nullopt, 5);
}
}  // namespace

TEST_F(Reading, FifoIsReadToItsEndOrWithoutWriterAsEmptyAtOnce) {
    ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
    hold(document);
    EXPECT_EQ(treeAfterReadInChild(document), heldTree);
    document.makeEmpty();
    // The writer is there before the read begins, writes the rest once the first part was read, then goes.
    const auto startWriter = [&] {
        const int writer = ::open(target.c_str(), O_RDWR);
        if (write(writer, "<a>x", 4) != 4) return std::thread();
        return std::thread([writer] {
            for (int queued = 1; ioctl(writer, FIONREAD, &queued) == 0 && queued > 0;) usleep(1000);
            if (write(writer, "</a>", 4) == 4) close(writer);
        });
    };
    EXPECT_EQ(treeAfterReadInChild(document, startWriter), "?root?(a'x')");
}

// A file larger than the stream's limit is refused before it is read; a pipe once a byte more has come.
TEST_F(Reading, FileOverTheLimitIsRefused) {
    writeFile(target, "<a>12345</a>");
    const std::string refused = "Reading file: " + target + " failed.";
    for (const std::uint64_t limit : {std::uint64_t{12}, std::uint64_t{11}}) {
        stream.setReadLimit(limit);
        hold(document);
        EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), limit == 12 ? noException : refused) << limit;
        EXPECT_EQ(stream.getFileFound(),
                  limit == 12 ? rkXMLFStream::FileFound::RegularFile : rkXMLFStream::FileFound::TooLarge);
        EXPECT_EQ(describe(document.getRoot()), limit == 12 ? "?root?'kept value'(kept,a'12345')" : heldTree);
        document.makeEmpty();
    }
    fs::remove(target);
    ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
    // The writer stays: read to its end, the pipe would be waited for until the child is stopped.
    const std::string error = errorInChild(
        [&] {
            const int writer = ::open(target.c_str(), O_RDWR);
            const std::string bytes(4096, ' ');
            if (write(writer, bytes.data(), bytes.size()) != ssize_t(bytes.size())) return;
            stream.setReadLimit(1024);
            stream.readDocument(document);
        },
        std::nullopt, 5);
    EXPECT_EQ(error, refused);
}

// A save that writes into the file keeps the whole text beside it and the file locked until it is done: a read
// that finds that copy waits for the lock rather than read the file half written.
TEST_F(Reading, SaveIntoTheFileIsWaitedFor) {
    writeFile(target, "<a>old</a>");
    const std::string copy = path(".doc.xml.rkxml-copy");
    writeFile(copy, "<a>new</a>");
    const int saving = ::open(target.c_str(), O_RDWR);
    ASSERT_EQ(flock(saving, LOCK_EX), 0);
    std::thread saver([&] {
        usleep(200000);
        writeFile(target, "<a>new</a>");
        fs::remove(copy);
        close(saving);
    });
    const std::string error = errorOf([&] { stream.readDocument(document); });
    saver.join();
    EXPECT_EQ(error, noException);
    EXPECT_EQ(describe(document.getRoot()), "?root?(a'new')");
}

// A device without end has no size: nothing is read, rather than everything until memory runs out.
TEST_F(Reading, DeviceIsReadUpToItsSize) {
    document.setFileName("/dev/zero");
    const std::string tree = answerInChild([&] {
        const rlimit limit{1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &limit);
        rkXMLFStream().readDocument(document);
        return describe(document.getRoot());
    });
    EXPECT_EQ(tree, "?root?");
    document.setFileName("/dev/null");
    stream.readDocument(document);
    EXPECT_EQ(stream.getFileFound(), rkXMLFStream::FileFound::OtherFile);
}

TEST_F(Reading, PathLongerThanOneSystemCallReadsBackAsSaved) {
    // Made through descriptors, as a path that long cannot be named; removed by rm, as fs::remove_all cannot either.
    std::string file = scratch.str();
    int directory = ::open(file.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < 22 && directory >= 0; ++i) {
        const std::string name = std::to_string(i) + std::string(200, 'd');
        const int parent = directory;
        directory =
            mkdirat(parent, name.c_str(), 0755) == 0 ? openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY) : -1;
        close(parent);
        file += "/" + name;
    }
    ASSERT_GE(directory, 0);
    close(directory);
    struct Removal {
        ~Removal() { std::system(("rm -rf '" + path + "'").c_str()); }
        std::string path;
    } removal{scratch.path("0" + std::string(200, 'd'))};
    file += "/data.xml";
    ASSERT_GT(file.size(), static_cast<std::size_t>(PATH_MAX));
    ASSERT_EQ(saveError(smallDocument(file)), noException);
    document.setFileName(file);
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), noException);
    EXPECT_EQ(describe(document.getTopLevelElement()), "data(entry'new & text')");
    std::string text;
    EXPECT_EQ(errorOf([&] { stream.readTextFromFile(file + ".missing", text); }),
              "Opening file: " + file + ".missing" + "failed.");
    EXPECT_EQ(stream.getFileFound(), rkXMLFStream::FileFound::Missing);  // a program makes it, as for short names
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

// A file or a text whose tree does not fit is a failed read: what the read appended is taken back.
TEST_F(Reading, RunningOutOfMemoryFailsTheReadAndChangesNothing) {
    if (underSanitizer) GTEST_SKIP() << "the sanitizers' allocator ends the process when memory runs out";
    if (!failedAllocationThrows())
        GTEST_SKIP() << "memory cannot be made to run out here, or running out ends the process (valgrind)";
    const std::string sparse = path("sparse.xml");
    writeFile(sparse, "");
    ASSERT_EQ(truncate(sparse.c_str(), off_t{64} << 30), 0);                       // 64 GiB, without a block on disk
    const std::string text = "top text" + repeated("<a/>", std::size_t{2} << 20);  // 8 MB, its tree far more
    writeFile(target, text);
    hold(document);
    const TableRow<std::function<void()>, std::string> rows[] = {
        {"an 8 MB file whose tree does not fit", [&] { stream.readDocument(document); },
         "Reading file: " + target + " failed."},
        {"a sparse file of 64 GiB",
         [&] {
             document.setFileName(sparse);
             stream.readDocument(document);
         },
         "Reading file: " + sparse + " failed."},
        {"a text whose tree does not fit", [&] { stream.readDocumentFromString(document, text); }, "std::bad_alloc"},
    };
    // Each answer comes from a child of its own, whose memory the read runs out of.
    const auto afterRead = [&](const std::function<void()>& read, const std::function<std::string()>& answer) {
        return answerInChild(
            [&] {
                limitMemory();
                const std::string error = errorOf(read);
                return answer ? answer() : error;
            },
            std::nullopt, 60);
    };
    for (const auto& [name, read, error] : rows) {
        EXPECT_EQ(afterRead(read, nullptr), error) << name;
        EXPECT_EQ(afterRead(read, [&] { return describe(document.getRoot()); }), heldTree) << name;
    }
    // Nor does a file read cut short list what it had found (the text before the first tag).
    EXPECT_EQ(afterRead(rows[0].input, [&] { return std::to_string(stream.getDiagnostics().size()); }), "0");
}
#endif
