// A link in /proc names an open file, not a path: saving through /proc/self/fd/N, /proc/<pid>/fd/N or /dev/fd/N
// writes into that file when no name leads to it (deleted, a memfd, a pipe), and never makes a file named after the
// link's text ("f.xml (deleted)", "/memfd:... (deleted)").
#include "tests/TestSupport.h"

#include <sys/mman.h>
#include <sys/socket.h>

using namespace testing_support;
using MagicLink = DocumentInScratch;

namespace {
const std::string earlierText = "<old>" + repeated("an earlier text, longer than the new one ", 3) + "</old>";
const std::string savedText = textOf(smallDocument(""));

// The names an open file has through /proc, with the form of each for the row's name.
std::vector<std::pair<std::string, std::string> > linksTo(int descriptor) {
    const std::string number = std::to_string(descriptor);
    return {{"/proc/self/fd/N", "/proc/self/fd/" + number},
            {"/proc/<pid>/fd/N", "/proc/" + std::to_string(getpid()) + "/fd/" + number},
            {"/dev/fd/N", "/dev/fd/" + number}};
}

// What the open file holds from its start, or what a pipe holds now, without waiting.
std::string contentOf(int descriptor) {
    fcntl(descriptor, F_SETFL, O_NONBLOCK);
    const bool isPipe = lseek(descriptor, 0, SEEK_CUR) < 0;
    std::string content;
    char buffer[4096];
    const auto readMore = [&] {
        return isPipe ? read(descriptor, buffer, sizeof buffer)
                      : pread(descriptor, buffer, sizeof buffer, static_cast<off_t>(content.size()));
    };
    for (ssize_t count; (count = readMore()) > 0;) content.append(buffer, static_cast<std::size_t>(count));
    return content;
}
}  // namespace

TEST_F(MagicLink, OpenFileWithoutNameIsWrittenInPlace) {
    const std::string memfdName = "rkxml-test-" + std::to_string(getpid());
    const std::string strayFromMemfd = "/memfd:" + memfdName + " (deleted)";  // where the link's text leads
    for (const std::string kind : {"a deleted file", "a memfd"}) {
        for (std::size_t form = 0; form < 3; ++form) {
            int descriptor = -1;
            if (kind == "a memfd") {
                descriptor = memfd_create(memfdName.c_str(), MFD_CLOEXEC);
            } else {
                writeFile(target, "");
                descriptor = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
                fs::remove(target);
            }
            ASSERT_EQ(write(descriptor, earlierText.data(), earlierText.size()), ssize_t(earlierText.size()));
            const auto [name, link] = linksTo(descriptor)[form];
            SCOPED_TRACE(kind + " through " + name);
            EXPECT_EQ(saveError(smallDocument(link)), noException);
            EXPECT_EQ(contentOf(descriptor), savedText);  // the longer earlier text cut
            EXPECT_EQ(scratch.entries(), std::set<std::string>());
            EXPECT_FALSE(fs::exists(strayFromMemfd));
            close(descriptor);
            fs::remove(strayFromMemfd);
        }
    }
}

TEST_F(MagicLink, PipeIsWrittenInPlace) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    for (const auto& [name, link] : linksTo(ends[1])) {
        EXPECT_EQ(saveError(smallDocument(link)), noException) << name;
        EXPECT_EQ(contentOf(ends[0]), savedText) << name;
    }
    close(ends[0]);
    close(ends[1]);
}

// The pipe is opened, as nothing tells whether it has a reader, but no SIGPIPE ends the process.
TEST_F(MagicLink, OpenFileThatCannotBeWrittenFailsTheSave) {
    int pipeEnds[2];
    int socketEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, socketEnds), 0);
    close(pipeEnds[0]);
    const std::string pipeLink = "/proc/self/fd/" + std::to_string(pipeEnds[1]);
    const std::string socketLink = "/proc/self/fd/" + std::to_string(socketEnds[0]);
    EXPECT_EQ(saveErrorInChild(smallDocument(pipeLink), std::nullopt, 5), writingFailed(pipeLink));
    EXPECT_EQ(saveErrorInChild(smallDocument(socketLink), std::nullopt, 5), cannotOpen(socketLink));
    for (const int descriptor : {pipeEnds[1], socketEnds[0], socketEnds[1]}) close(descriptor);
}

TEST_F(MagicLink, FileWithNameIsReplacedUnderIt) {
    // As through any link: the file is replaced safely, and the descriptor keeps the earlier file.
    writeFile(target, earlierText);
    const int descriptor = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(saveError(smallDocument("/proc/self/fd/" + std::to_string(descriptor))), noException);
    EXPECT_EQ(readFile(target), savedText);
    EXPECT_EQ(contentOf(descriptor), earlierText);
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"doc.xml"});
    close(descriptor);
}
