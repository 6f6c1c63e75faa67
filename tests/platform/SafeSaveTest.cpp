// Saving must never destroy the earlier file: on failure it stays as it was, and nothing is left beside it.
#include "tests/TestSupport.h"

#ifdef _WIN32
TEST(SafeSave, PosixOnly) {
    GTEST_SKIP() << "needs POSIX users, modes, links, FIFOs and mounts; see WindowsPlatformTest";
}
#else
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <csignal>

using namespace testing_support;

namespace {
const std::string earlierText = "<old>earlier text</old>";
const std::string savedText = "<?xml version=\"1.0\" ?>\n<data>\n <entry>value 0 &amp; more</entry>";  // its start

rkXMLDocument documentFor(const std::string& fileName, int entries = 3) {
    rkXMLDocument document;
    document.setFileName(fileName);
    document.setStandardHeader();
    rkXMLElement* top = addElement(document.getRoot(), "data");
    for (int i = 0; i < entries; ++i) addElement(top, "entry", "value " + std::to_string(i) + " & more");
    return document;
}

bool holdsSavedText(const std::string& file) { return readFile(file).compare(0, savedText.size(), savedText) == 0; }

mode_t modeOf(const std::string& path) { return static_cast<mode_t>(fs::status(path).permissions()); }

// Saves in a child whose file size limit stops the text part way: write() fails, or SIGXFSZ kills it mid-save.
int saveWithSizeLimit(const rkXMLDocument& document, rlim_t bytes, bool dieOnLimit) {
    return runInChild([&] {
        if (!dieOnLimit) std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
        return saveError(document) == writingFailed(document.getFileName()) ? 0 : 1;
    });
}
}  // namespace

using SafeSave = ScratchTest;

TEST_F(SafeSave, FailingOrKilledPartWayKeepsTheEarlierFileAndNothingElse) {
    const std::string target = path("data.xml");
    // Inside the final piece for a small document, inside an early one for a big one.
    for (const auto& [limit, entries] : {std::pair<rlim_t, int>{10, 3}, {64 * 1024, 100000}}) {
        writeFile(target, earlierText);
        chmod(target.c_str(), 0640);
        EXPECT_EQ(saveWithSizeLimit(documentFor(target, entries), limit, false), 0);
        EXPECT_EQ(readFile(target), earlierText);
        EXPECT_EQ(modeOf(target), 0640u);
    }
    EXPECT_EQ(saveWithSizeLimit(documentFor(path("fresh.xml")), 10, false), 0);  // no earlier file: none made
    // Killed by SIGXFSZ in the middle: no temporary file is left either.
    EXPECT_EQ(saveWithSizeLimit(documentFor(target, 100000), 64 * 1024, true), -1);
    EXPECT_EQ(readFile(target), earlierText);
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"data.xml", "data.xml.log", "fresh.xml.log"}));
}

TEST_F(SafeSave, UnwritableTargetOrDirectoryIsRefused) {
    // Another user's read-only file in a writable directory: only a check of the file stops a rename replacing it.
    const std::string locked = path("locked.xml");
    writeFile(locked, earlierText);
    ASSERT_EQ(isRoot() ? chown(locked.c_str(), otherUser, otherGroup) : 0, 0);  // only root may give it away
    chmod(locked.c_str(), 0444);
    // A writable file in a read-only directory cannot be replaced safely, nor a file made there.
    fs::create_directory(path("readonly"));
    const std::string open = path("readonly/open.xml");
    writeFile(open, earlierText);
    chmod(open.c_str(), 0666);
    chmod(path("readonly").c_str(), 0555);
    for (const std::string& target : {locked, open, path("readonly/new.xml")})
        EXPECT_EQ(runInChild([&] { return saveError(documentFor(target)) == cannotOpen(target) ? 0 : 1; }, true), 0);
    EXPECT_EQ(saveError(documentFor(path("readonly"))), cannotOpen(path("readonly")));  // a directory
    EXPECT_EQ(saveError(documentFor(path("missing/data.xml"))), cannotOpen(path("missing/data.xml")));
    EXPECT_FALSE(fs::exists(path("missing")));
    EXPECT_EQ(readFile(locked) + readFile(open), earlierText + earlierText);
    EXPECT_EQ(modeOf(locked), 0444u);
}

TEST_F(SafeSave, LinksStayAndTheFileTheyNameIsReplaced) {
    writeFile(path("real.xml"), earlierText);
    chmod(path("real.xml").c_str(), 0600);
    fs::create_directory(path("sub"));
    const std::pair<std::string, std::string> links[] = {{"link.xml", "real.xml"},    {"chain.xml", "link.xml"},
                                                         {"dangling.xml", "new.xml"}, {"outer.xml", path("sub/in.xml")},
                                                         {"loop1.xml", "loop2.xml"},  {"loop2.xml", "loop1.xml"}};
    for (const auto& [link, target] : links) ASSERT_EQ(symlink(target.c_str(), path(link).c_str()), 0);
    const std::string longName(250, 'n');  // its temporary file's name is longer, and must still fit
    for (const std::string name : {"chain.xml", "dangling.xml", "outer.xml", longName.c_str()})
        rkXMLFStream().writeDocument(documentFor(path(name)));
    // The temporary file goes beside the file named, in the other directory too.
    for (const std::string& file : {path("real.xml"), path("new.xml"), path("sub/in.xml"), path(longName)})
        EXPECT_TRUE(holdsSavedText(file) && fs::is_regular_file(fs::symlink_status(file))) << file;
    EXPECT_EQ(modeOf(path("real.xml")), 0600u);
    EXPECT_EQ(fs::read_symlink(path("chain.xml")), "link.xml");
    EXPECT_EQ(saveError(documentFor(path("loop1.xml"))), cannotOpen(path("loop1.xml")));
    EXPECT_TRUE(fs::is_symlink(path("loop1.xml")));
    EXPECT_EQ(scratch.entries().size(), 11u);  // the six links, real, new, sub, the long name, loop1.xml.log
    EXPECT_EQ(scratch.entries("sub"), std::set<std::string>{"in.xml"});
}

TEST_F(SafeSave, ModeOwnerAndGroupAreKept) {
    const std::string target = path("data.xml");
    for (const mode_t mode : {0600u, 0751u, 02755u, 04755u, 01644u, 06770u}) {
        writeFile(target, earlierText);
        chmod(target.c_str(), mode);
        rkXMLFStream().writeDocument(documentFor(target));
        EXPECT_EQ(modeOf(target), mode);
    }
    const mode_t previousMask = umask(027);
    rkXMLFStream().writeDocument(documentFor(path("new.xml")));  // the mode an ordinary new file gets
    umask(previousMask);
    EXPECT_EQ(modeOf(path("new.xml")), 0640u);
    if (!isRoot()) GTEST_SKIP() << "owners and groups of other users need root";
    // Root keeps another user's file's owner; a member of its group cannot, but keeps its group and mode.
    ASSERT_EQ(chown(target.c_str(), 1234, 4321), 0);
    chmod(target.c_str(), 0660);
    rkXMLFStream().writeDocument(documentFor(target));
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 1234u);
    EXPECT_EQ(0, runInChild([&] {
                  const gid_t team = 4321;
                  if (setgroups(1, &team) != 0 || setgid(otherGroup) != 0 || setuid(otherUser) != 0) return 100;
                  return saveError(documentFor(target)) == "(no exception)" ? 0 : 1;
              }));
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(std::pair(status.st_uid, status.st_gid), std::pair(otherUser, 4321u));
    EXPECT_EQ(modeOf(target), 0660u);
}

TEST_F(SafeSave, PipeIsWrittenInPlaceAndNotWaitedFor) {
    const std::string pipe = path("pipe.xml");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Nobody reads: refused at once instead of blocking the save forever.
    EXPECT_EQ(runInChild([&] { return saveError(documentFor(pipe)) == cannotOpen(pipe) ? 0 : 1; }, false, 5), 0);
    const int readEnd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    rkXMLFStream().writeDocument(documentFor(pipe));
    std::string received(4096, '\0');
    received.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(readEnd, received.data(), received.size()))));
    close(readEnd);
    EXPECT_EQ(received.substr(0, savedText.size()), savedText);
    EXPECT_TRUE(fs::is_fifo(pipe));
}

TEST_F(SafeSave, BindMountedFileIsWrittenInPlace) {
    // As containers get their settings: a rename onto a mount point fails, so the text goes into the file itself.
    const std::string source = path("source.xml");
    const std::string target = path("target.xml");
    writeFile(source, earlierText);
    writeFile(target, "");
    const int status = runInChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(source.c_str(), target.c_str(), "none", MS_BIND, nullptr) != 0) {
            return 77;
        }
        return saveError(documentFor(target)) == "(no exception)" && holdsSavedText(target) ? 0 : 1;
    });
    if (status == 77) GTEST_SKIP() << "mounting in a private mount namespace is not permitted here";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(holdsSavedText(source));  // through the mount, into the file itself
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"source.xml", "target.xml"}));
}
#endif
