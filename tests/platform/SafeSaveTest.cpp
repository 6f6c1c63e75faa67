// Saving must never destroy the earlier file: on failure it stays as it was, and nothing is left beside it; nor
// drop a change that another program made since the file was read, where the caller asks for that check.
#include "tests/TestSupport.h"

using namespace testing_support;
using UnchangedSave = DocumentInScratch;

TEST_F(UnchangedSave, ReplacesOnlyTheFileAsItWasRead) {
    const std::string earlier = "<old>earlier text</old>";
    const std::string other = target + ".other";
    const struct {
        const char* name;
        bool existed;                     // whether the read found a file
        std::function<void()> meanwhile;  // what another program does between the read and the save
        bool saved;
        std::optional<std::string> after;  // the file's text after the save; nullopt: no file
    } rows[] = {
        {"nothing changed", true, [] {}, true, textOf(smallDocument(target))},
        {"its bytes changed, the file stayed", true,
         [&] { std::fstream(target, std::ios::in | std::ios::out | std::ios::binary).write("<new", 4); }, false,
         "<new>earlier text</old>"},
        {"replaced by a file with the same bytes", true,
         [&] {
             writeFile(other, earlier);
             fs::rename(other, target);
         },
         false, earlier},
        {"removed", true, [&] { fs::remove(target); }, false, std::nullopt},
        {"still missing", false, [] {}, true, textOf(smallDocument(target))},
        {"made where the read found none", false, [&] { writeFile(target, "<made/>"); }, false, "<made/>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(target);
        if (row.existed) writeFile(target, earlier);
        rkXMLDocument read;
        read.setFileName(target);
        EXPECT_EQ(errorOf([&] { stream.readDocument(read); }),
                  row.existed ? noException : "Opening file: " + target + "failed.");
        row.meanwhile();
        EXPECT_EQ(stream.writeDocumentIfUnchanged(smallDocument(target)), row.saved);
        EXPECT_EQ(fs::exists(target) ? std::optional(readFile(target)) : std::nullopt, row.after);
        EXPECT_EQ(scratch.entries(), row.after ? std::set<std::string>{"doc.xml"} : std::set<std::string>{});
    }
    // A stream whose last read was of another file knows nothing of this one: the file must be missing.
    writeFile(target, earlier);
    EXPECT_FALSE(rkXMLFStream().writeDocumentIfUnchanged(smallDocument(target)));
    EXPECT_EQ(readFile(target), earlier);
}

// The same check for a caller that edits the text it read (rkxml set splices it).
TEST_F(UnchangedSave, TextReplacesOnlyTheFileAsItWasRead) {
    writeFile(target, "<old/>");
    rkXMLDocument read;
    read.setFileName(target);
    stream.readDocument(read);
    std::fstream(target, std::ios::in | std::ios::out | std::ios::binary).write("<new", 4);
    EXPECT_FALSE(stream.writeTextToFileIfUnchanged(target, "<text/>"));
    EXPECT_EQ(readFile(target), "<new/>");
    stream.readDocument(read);
    EXPECT_TRUE(stream.writeTextToFileIfUnchanged(target, "<text/>"));
    EXPECT_EQ(readFile(target), "<text/>");
}

#ifdef _WIN32
TEST(SafeSave, PosixOnly) {
    GTEST_SKIP() << "needs POSIX users, modes, links, FIFOs and mounts; see WindowsPlatformTest";
}
#else
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>

using SafeSave = DocumentInScratch;

namespace {
const std::string earlierText = "<old>earlier text</old>";

mode_t modeOf(const std::string& path) { return static_cast<mode_t>(fs::status(path).permissions()); }

// Whether new files in `directory` can be made without a name, the way a save makes its temporary file.
bool makesUnnamedFiles(const std::string& directory) {
#ifdef O_TMPFILE
    const int probe = open(directory.c_str(), O_TMPFILE | O_RDWR, 0600);
    if (probe >= 0) close(probe);
    return probe >= 0;
#else
    return false;
#endif
}
}  // namespace

// Failing saves are in SystemCallTest; here the process dies part way, as its file size limit is passed.
TEST_F(SafeSave, KilledPartWayKeepsTheEarlierFileAndLeavesNothingUnnamed) {
    writeFile(target, earlierText);
    const std::string error = errorInChild([&] {
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        rkXMLFStream().writeDocument(smallDocument(target, "text", 100000));
    });
    EXPECT_EQ(error, "(the child ended with status -1)");  // killed by SIGXFSZ
    EXPECT_EQ(readFile(target), earlierText);
    // The named temporary file of systems without O_TMPFILE stays when the process dies: nobody is left to remove it.
    if (!makesUnnamedFiles(scratch.str())) GTEST_SKIP() << "the file system makes no unnamed files (O_TMPFILE)";
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"doc.xml"});
}

TEST_F(SafeSave, UnwritableTargetOrDirectoryIsRefused) {
    // Another user's read-only file in a writable directory: only a check of the file stops a rename replacing it.
    const std::string locked = path("locked.xml");
    writeFile(locked, earlierText);
    ASSERT_EQ(isRoot() ? chown(locked.c_str(), secondUser.uid, secondUser.gid) : 0, 0);  // only root gives it away
    chmod(locked.c_str(), 0444);
    // A writable file in a read-only directory cannot be replaced safely, nor a file made there.
    fs::create_directory(path("readonly"));
    const std::string open = path("readonly/open.xml");
    writeFile(open, earlierText);
    chmod(open.c_str(), 0666);
    chmod(path("readonly").c_str(), 0555);
    for (const std::string& name : {locked, open, path("readonly/new.xml")}) {
        SCOPED_TRACE(name);
        expectRefused(name, cannotOpen(name), [&] { return saveErrorInChild(smallDocument(name), secondUser); });
    }
    for (const std::string& name : {path("readonly"), path("missing/data.xml")}) {  // a directory; a missing one
        SCOPED_TRACE(name);
        expectRefused(name, cannotOpen(name), [&] { return saveError(smallDocument(name)); });
    }
    EXPECT_EQ(modeOf(locked), 0444u);
}

// File names in messages and the log show bytes below 32 and 127 as \xHH, as names from the tree do.
TEST_F(SafeSave, NameInTheMessageAndTheLogShowsControlBytesEscaped) {
    const std::string raw = path("forged\nError at line 0: \x7f\x1b.xml");
    const std::string shown = path("forged\\x0AError at line 0: \\x7F\\x1B.xml");
    ASSERT_TRUE(fs::create_directory(raw + ".dir"));  // a directory cannot be replaced
    const bool hasFull = fs::exists("/dev/full") && symlink("/dev/full", (raw + ".full").c_str()) == 0;
    const TableRow<std::string> rows[] = {
        {"a directory", raw + ".dir", cannotOpen(shown + ".dir")},
        {"a full device, which cannot be written", raw + ".full", writingFailed(shown + ".full")},
    };
    for (const auto& [name, file, message] : rows) {
        if (!hasFull && file == raw + ".full") continue;
        EXPECT_EQ(saveError(smallDocument(file)), message) << name;
        EXPECT_EQ(readFile(file + ".log"), message) << name;
    }
    if (!hasFull) GTEST_SKIP() << "no /dev/full here to make a write fail";
}

TEST_F(SafeSave, LinksStayAndTheFileTheyNameIsReplaced) {
    writeFile(path("real.xml"), earlierText);
    chmod(path("real.xml").c_str(), 0600);
    fs::create_directory(path("sub"));
    const std::pair<std::string, std::string> links[] = {{"link.xml", "real.xml"},    {"chain.xml", "link.xml"},
                                                         {"dangling.xml", "new.xml"}, {"outer.xml", path("sub/in.xml")},
                                                         {"loop1.xml", "loop2.xml"},  {"loop2.xml", "loop1.xml"}};
    for (const auto& [link, linked] : links) ASSERT_EQ(symlink(linked.c_str(), path(link).c_str()), 0);
    const std::string longName(250, 'n');  // its temporary file's name is longer, and must still fit
    // The temporary file goes beside the file named, in the other directory too.
    const std::pair<std::string, std::string> saves[] = {
        {"chain.xml", "real.xml"}, {"dangling.xml", "new.xml"}, {"outer.xml", "sub/in.xml"}, {longName, longName}};
    for (const auto& [name, file] : saves) {
        SCOPED_TRACE(name);
        const rkXMLDocument document = smallDocument(path(name));
        EXPECT_EQ(saveError(document), noException);
        EXPECT_EQ(readFile(path(file)), textOf(document));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path(file))));
    }
    EXPECT_EQ(modeOf(path("real.xml")), 0600u);
    EXPECT_EQ(fs::read_symlink(path("chain.xml")), "link.xml");
    expectRefused(path("loop1.xml"), cannotOpen(path("loop1.xml")),
                  [&] { return saveError(smallDocument(path("loop1.xml"))); });
    EXPECT_TRUE(fs::is_symlink(path("loop1.xml")));
    EXPECT_EQ(scratch.entries().size(), 11u);  // the six links, real, new, sub, the long name, loop1.xml.log
    EXPECT_EQ(entriesOf(path("sub")), std::set<std::string>{"in.xml"});
}

TEST_F(SafeSave, ModeOwnerAndGroupAreKept) {
    for (const mode_t mode : {0600u, 0751u, 02755u, 04755u, 01644u, 06770u}) {
        writeFile(target, earlierText);
        chmod(target.c_str(), mode);
        rkXMLFStream().writeDocument(smallDocument(target));
        EXPECT_EQ(modeOf(target), mode);
    }
    // A file that its owner may write but not read is saved too (its attributes are taken through a write-only open).
    writeFile(target, earlierText);
    chmod(target.c_str(), 0200);
    ASSERT_EQ(isRoot() ? chown(target.c_str(), secondUser.uid, secondUser.gid) : 0, 0);
    EXPECT_EQ(saveErrorInChild(smallDocument(target), secondUser), noException);
    EXPECT_EQ(modeOf(target), 0200u);
    if (!isRoot()) GTEST_SKIP() << "owners and groups of other users need root";
    // Another user's file keeps its owner, saved by root or by a member of its group (into the file itself).
    ASSERT_EQ(chown(target.c_str(), 1234, 4321), 0);
    chmod(target.c_str(), 0660);
    const std::optional<User> savers[] = {std::nullopt, User{secondUser.uid, secondUser.gid, {4321}}};
    for (const std::optional<User>& saver : savers) {
        EXPECT_EQ(saveErrorInChild(smallDocument(target, saver ? "member" : "root"), saver), noException);
        EXPECT_EQ(readFile(target), textOf(smallDocument(target, saver ? "member" : "root")));
        struct stat status {};
        ASSERT_EQ(stat(target.c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, 1234u);
        EXPECT_EQ(status.st_gid, 4321u);
        EXPECT_EQ(modeOf(target), 0660u);
    }
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"doc.xml"});  // no recovery copy is left
}

// The lock is flock's: another process waits for it, while this process takes it again and saves under it.
TEST_F(SafeSave, FileLockMakesOthersWaitButNotThisProcess) {
    writeFile(target, earlierText);
    const std::string error = errorInChild(
        [&] {
            const rkXMLFStream::FileLock lock(document);
            if (!lock.isHeld()) throw std::runtime_error("(not locked)");
            const int tried = runInChild([&] {
                const int other = ::open(target.c_str(), O_RDONLY);
                return flock(other, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1;
            });
            if (tried != 0) throw std::runtime_error("(another process took the lock)");
            const rkXMLFStream::FileLock again(document);
            stream.readDocument(document);
            if (!again.isHeld() || !stream.writeDocumentIfUnchanged(smallDocument(target))) {
                throw std::runtime_error("(not saved)");
            }
        },
        std::nullopt, 5);
    EXPECT_EQ(error, noException);
    EXPECT_EQ(readFile(target), textOf(smallDocument(target)));
    // A missing file is not locked, and not made.
    fs::remove(target);
    EXPECT_FALSE(rkXMLFStream::FileLock(document).isHeld());
    EXPECT_FALSE(fs::exists(target));
}

// A pipe is written in place (WriterTest); one that nobody reads is refused at once, not waited for forever.
TEST_F(SafeSave, PipeNobodyReadsIsRefusedAtOnce) {
    const std::string pipe = path("pipe.xml");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(saveErrorInChild(smallDocument(pipe), std::nullopt, 5), cannotOpen(pipe));
}

TEST_F(SafeSave, BindMountedFileIsWrittenInPlace) {
    // As containers get their settings: a rename onto a mount point fails, so the text goes into the file itself.
    const std::string source = path("source.xml");
    writeFile(source, earlierText);
    writeFile(target, "");
    const std::string error = errorInChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(source.c_str(), target.c_str(), "none", MS_BIND, nullptr) != 0) {
            throw std::runtime_error("(no mount)");
        }
        rkXMLFStream().writeDocument(smallDocument(target));
    });
    if (error == "(no mount)") GTEST_SKIP() << "mounting in a private mount namespace is not permitted here";
    EXPECT_EQ(error, noException);
    EXPECT_EQ(readFile(source), textOf(smallDocument(target)));  // through the mount, into the file itself
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"source.xml", "doc.xml"}));
}
// A caller's own text takes the road a tree takes: written as given, byte for byte, by the user who saves, or
// refused with nothing changed.
TEST_F(SafeSave, TextIsWrittenAsGivenOrRefusedUntouched) {
    const std::string text = "<a>\r\n <!-- kept --><b x='1'/>\r\n</a>\r\n";
    auto writeAsSecondUser = [&](const std::string& name, const std::string& bytes) {
        return errorInChild([&] { rkXMLFStream().writeTextToFile(name, bytes); }, secondUser);
    };
    EXPECT_EQ(writeAsSecondUser(target, earlierText), noException);
    EXPECT_EQ(writeAsSecondUser(target, text), noException);  // over its own file
    EXPECT_TRUE(sameBytes(bytesOf(target), text));
    fs::create_directory(path("readonly"));
    chmod(path("readonly").c_str(), 0555);
    const std::string refused = path("readonly/new.xml");
    expectRefused(refused, cannotOpen(refused), [&] { return writeAsSecondUser(refused, text); });
}

#endif
