// A link in /proc names an open file, not a path: saving through /proc/self/fd/N, /proc/<pid>/fd/N or /dev/fd/N
// writes into that file when no name leads to it (deleted, a memfd, a pipe), and never makes a file named after the
// link's text ("f.xml (deleted)", "/memfd:... (deleted)").
#include "tests/TestSupport.h"

#ifndef __linux__
TEST(MagicLink, LinuxOnly) { GTEST_SKIP() << "needs Linux's /proc"; }
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>

using namespace testing_support;

namespace {
const std::string earlierText = "<old>an earlier text, longer than the new one</old>";

rkXMLDocument documentFor(const std::string& fileName) {
    rkXMLDocument document;
    document.setFileName(fileName);
    addElement(document.getRoot(), "saved", "new text");
    return document;
}

std::string savedText() {
    std::string text;
    rkXMLFStream().writeDocumentToString(documentFor(""), text);
    return text;
}

// A name that an open file has through /proc.
struct Link {
    std::string form;  // for the row name
    std::string path;
};

std::vector<Link> linksTo(int descriptor) {
    const std::string number = std::to_string(descriptor);
    return {{"/proc/self/fd/N", "/proc/self/fd/" + number},
            {"/proc/<pid>/fd/N", "/proc/" + std::to_string(getpid()) + "/fd/" + number},
            {"/dev/fd/N", "/dev/fd/" + number}};
}

// What the open file holds, from its start.
std::string contentOf(int descriptor) {
    std::string content;
    char buffer[4096];
    for (ssize_t count; (count = pread(descriptor, buffer, sizeof buffer, static_cast<off_t>(content.size()))) > 0;)
        content.append(buffer, static_cast<std::size_t>(count));
    return content;
}

// What a pipe holds now, without waiting.
std::string drain(int readEnd) {
    fcntl(readEnd, F_SETFL, O_NONBLOCK);
    std::string content;
    char buffer[4096];
    for (ssize_t count; (count = read(readEnd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, static_cast<std::size_t>(count));
    return content;
}

void writeTo(int descriptor, const std::string& text) {
    ASSERT_EQ(write(descriptor, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

using MagicLink = ScratchTest;
}  // namespace

TEST_F(MagicLink, OpenFileWithoutNameIsWrittenInPlace) {
    const std::string memfdName = "rkxml-test-" + std::to_string(getpid());
    const std::string strayFromMemfd = "/memfd:" + memfdName + " (deleted)";  // where the link's text leads
    for (const std::string kind : {"a deleted file", "a memfd"}) {
        for (std::size_t form = 0; form < linksTo(0).size(); ++form) {
            int descriptor = -1;
            if (kind == "a memfd") {
                descriptor = memfd_create(memfdName.c_str(), MFD_CLOEXEC);
            } else {
                writeFile(path("f.xml"), "");
                descriptor = ::open(path("f.xml").c_str(), O_RDWR | O_CLOEXEC);
                fs::remove(path("f.xml"));
            }
            ASSERT_GE(descriptor, 0) << kind;
            writeTo(descriptor, earlierText);
            const Link link = linksTo(descriptor)[form];
            const std::string row = kind + " through " + link.form;

            EXPECT_EQ(saveError(documentFor(link.path)), "(no exception)") << row;
            EXPECT_EQ(contentOf(descriptor), savedText()) << row;  // the longer earlier text cut
            EXPECT_EQ(scratch.entries(), std::set<std::string>()) << row;
            EXPECT_FALSE(fs::exists(strayFromMemfd)) << row;
            close(descriptor);
            fs::remove(strayFromMemfd);
        }
    }
}

TEST_F(MagicLink, PipeIsWrittenInPlace) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    for (const Link& link : linksTo(ends[1])) {
        EXPECT_EQ(saveError(documentFor(link.path)), "(no exception)") << link.form;
        EXPECT_EQ(drain(ends[0]), savedText()) << link.form;
    }
    close(ends[0]);
    close(ends[1]);
}

TEST_F(MagicLink, OpenFileThatCannotBeWrittenFailsTheSave) {
    int pipeEnds[2];
    int socketEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, socketEnds), 0);
    close(pipeEnds[0]);
    const std::string pipeLink = "/proc/self/fd/" + std::to_string(pipeEnds[1]);
    const std::string socketLink = "/proc/self/fd/" + std::to_string(socketEnds[0]);
    // The pipe is opened, as nothing tells whether it has a reader, but no SIGPIPE ends the process.
    struct Case {
        const char* row;
        std::string link;
        std::string message;
    };
    const Case cases[] = {
        {"a pipe that nobody reads", pipeLink, writingFailed(pipeLink)},
        {"a socket", socketLink, cannotOpen(socketLink)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runInChild([&] { return saveError(documentFor(c.link)) == c.message ? 0 : 1; }, false, 5), 0)
            << c.row;
    }
    for (const int descriptor : {pipeEnds[1], socketEnds[0], socketEnds[1]}) close(descriptor);
}

TEST_F(MagicLink, FileWithNameIsReplacedUnderIt) {
    // As through any link: the file is replaced safely, and the descriptor keeps the earlier file.
    const std::string file = path("named.xml");
    writeFile(file, earlierText);
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(saveError(documentFor("/proc/self/fd/" + std::to_string(descriptor))), "(no exception)");
    EXPECT_EQ(readFile(file), savedText());
    EXPECT_EQ(contentOf(descriptor), earlierText);
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"named.xml"});
    close(descriptor);
}
#endif
