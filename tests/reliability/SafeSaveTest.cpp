// Saving must never destroy the earlier file: on every failure it stays byte
// for byte as it was and no temporary file is left beside it.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>

#include "ReliabilitySupport.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"

namespace {

using reliability::ScratchDirectory;

// Saving on Windows has its own cases in tests/platform/WindowsPlatformTest.cpp.
#ifndef _WIN32
using reliability::entriesOf;
using reliability::readFile;
using reliability::runInChild;
using reliability::writeFile;

const std::string earlierText = "<old>earlier text</old>";

std::string cannotOpen(const std::string& name) { return "Error: cannot open '" + name + "' for writing."; }
std::string writingFailed(const std::string& name) { return "Error: writing '" + name + "' failed."; }

// A document for `fileName` with `entries` elements under its top-level element.
rkXMLDocument documentFor(const std::string& fileName, int entries = 3) {
    rkXMLDocument document;
    document.setFileName(fileName);
    document.setStandardHeader();
    rkXMLNode* top = rkXMLFactory::setElement(document.getRoot(), "data", true, rkXMLElement::npos);
    for (int i = 0; i < entries; ++i) {
        auto* entry = static_cast<rkXMLElement*>(rkXMLFactory::setElement(top, "entry", true, rkXMLElement::npos));
        entry->setValue("value " + std::to_string(i) + " & more");
    }
    return document;
}

// Child status: 0 when saving fails with `message`, else how it went wrong.
int saveExpectingFailure(const rkXMLDocument& document, const std::string& message) {
    try {
        rkXMLFStream().writeDocument(document);
        return 1;
    } catch (const std::runtime_error& error) {
        return error.what() == message ? 0 : 2;
    } catch (...) {
        return 3;
    }
}

mode_t modeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

std::string linkText(const std::string& path) {
    char buffer[4096];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
    return length < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(length));
}

// The value of the first entry of the document stored in `fileName`.
std::string firstEntryValue(const std::string& fileName) {
    rkXMLDocument document;
    document.setFileName(fileName);
    rkXMLFStream().readDocument(document);
    auto* top = static_cast<rkXMLElement*>(document.getTopLevelElement());
    if (top == nullptr || top->getChild("entry") == nullptr) return {};
    return static_cast<rkXMLElement*>(top->getChild("entry"))->getValue();
}

#endif

class SafeSave : public ::testing::Test {
protected:
    ScratchDirectory directory;
};

TEST_F(SafeSave, WriteFailingPartWayKeepsTheEarlierFile) {
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX resource limits and fork";
#else
    // The size limit makes write() fail with EFBIG once part of the text is out:
    // inside the final piece for a small document, inside an early one for a big one.
    struct Case {
        rlim_t limit;
        int entries;
    };
    for (const Case& limited : {Case{10, 3}, Case{64 * 1024, 100000}}) {
        SCOPED_TRACE(limited.entries);
        const std::string target = directory / "data.xml";
        writeFile(target, earlierText);
        chmod(target.c_str(), 0640);
        const rkXMLDocument document = documentFor(target, limited.entries);
        const int status = runInChild(
            [&] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{limited.limit, limited.limit};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
                return saveExpectingFailure(document, writingFailed(target));
            },
            false);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(readFile(target), earlierText);
        EXPECT_EQ(modeOf(target), 0640u);
        EXPECT_EQ(entriesOf(directory.str()), (std::set<std::string>{"data.xml", "data.xml.log"}));
        // The log is cut by the same limit.
        EXPECT_EQ(readFile(target + ".log"), writingFailed(target).substr(0, limited.limit));
    }

    // Without an earlier file, a failed save creates none.
    const std::string fresh = directory / "fresh.xml";
    const int status = runInChild(
        [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{10, 10};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
            return saveExpectingFailure(documentFor(fresh), writingFailed(fresh));
        },
        false);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(entriesOf(directory.str()).count("fresh.xml"), 0u);
    EXPECT_EQ(entriesOf(directory.str()).size(), 3u);  // data.xml, its log, fresh.xml.log
#endif
}

TEST_F(SafeSave, ReadOnlyTargetIsRefusedAndKept) {
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX users and modes";
#else
    // The directory is writable, so only the check of the target itself stops
    // a rename from replacing a file that may not be written.
    const std::string target = directory / "locked.xml";
    writeFile(target, earlierText);
    if (reliability::isRoot()) {
        ASSERT_EQ(chown(target.c_str(), reliability::unprivilegedUser, reliability::unprivilegedGroup), 0);
    }
    chmod(target.c_str(), 0444);
    const rkXMLDocument document = documentFor(target);
    EXPECT_EQ(runInChild([&] { return saveExpectingFailure(document, cannotOpen(target)); }, true), 0);
    EXPECT_EQ(readFile(target), earlierText);
    EXPECT_EQ(modeOf(target), 0444u);
    EXPECT_EQ(entriesOf(directory.str()), (std::set<std::string>{"locked.xml", "locked.xml.log"}));
#endif
}

TEST_F(SafeSave, UnwritableOrMissingDirectoryIsRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX users and modes";
#else
    // A writable file in a read-only directory cannot be replaced safely, and
    // no new file can be made there.
    const std::string sub = directory / "readonly";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    const std::string target = sub + "/open.xml";
    writeFile(target, earlierText);
    chmod(target.c_str(), 0666);
    if (reliability::isRoot()) {
        ASSERT_EQ(chown(target.c_str(), reliability::unprivilegedUser, reliability::unprivilegedGroup), 0);
    }
    chmod(sub.c_str(), 0555);
    const rkXMLDocument existing = documentFor(target);
    const rkXMLDocument created = documentFor(sub + "/new.xml");
    EXPECT_EQ(runInChild([&] { return saveExpectingFailure(existing, cannotOpen(target)); }, true), 0);
    EXPECT_EQ(runInChild([&] { return saveExpectingFailure(created, cannotOpen(sub + "/new.xml")); }, true), 0);
    EXPECT_EQ(readFile(target), earlierText);
    EXPECT_EQ(entriesOf(sub), std::set<std::string>{"open.xml"});

    // A missing directory, and a name that is a directory.
    const std::string missing = directory / "missing/data.xml";
    EXPECT_EQ(saveExpectingFailure(documentFor(missing), cannotOpen(missing)), 0);
    EXPECT_EQ(saveExpectingFailure(documentFor(sub), cannotOpen(sub)), 0);
    EXPECT_EQ(entriesOf(sub), std::set<std::string>{"open.xml"});
#endif
}

TEST_F(SafeSave, SymbolicLinkStaysAndTheFileItNamesIsReplaced) {
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX symbolic links";
#else
    const std::string real = directory / "real.xml";
    writeFile(real, earlierText);
    chmod(real.c_str(), 0600);
    ASSERT_EQ(symlink("real.xml", (directory / "link.xml").c_str()), 0);
    ASSERT_EQ(symlink("link.xml", (directory / "chain.xml").c_str()), 0);
    ASSERT_EQ(symlink("created.xml", (directory / "dangling.xml").c_str()), 0);
    const std::string sub = directory / "sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0777), 0);
    writeFile(sub + "/inner.xml", earlierText);
    ASSERT_EQ(symlink((sub + "/inner.xml").c_str(), (directory / "outer.xml").c_str()), 0);

    rkXMLFStream stream;
    rkXMLDocument document = documentFor(directory / "link.xml");
    stream.writeDocument(document);
    EXPECT_EQ(firstEntryValue(real), "value 0 & more");
    EXPECT_EQ(modeOf(real), 0600u);
    EXPECT_EQ(linkText(directory / "link.xml"), "real.xml");

    document.setFileName(directory / "chain.xml");
    static_cast<rkXMLElement*>(rkXMLFactory::getElement(document.getTopLevelElement(), 0))->setValue("through two links");
    stream.writeDocument(document);
    EXPECT_EQ(firstEntryValue(real), "through two links");
    EXPECT_EQ(linkText(directory / "chain.xml"), "link.xml");
    EXPECT_EQ(linkText(directory / "link.xml"), "real.xml");

    document.setFileName(directory / "dangling.xml");
    stream.writeDocument(document);
    EXPECT_EQ(firstEntryValue(directory / "created.xml"), "through two links");
    EXPECT_EQ(linkText(directory / "dangling.xml"), "created.xml");

    // The temporary file goes beside the file named, in the other directory.
    document.setFileName(directory / "outer.xml");
    stream.writeDocument(document);
    EXPECT_EQ(firstEntryValue(sub + "/inner.xml"), "through two links");
    EXPECT_EQ(linkText(directory / "outer.xml"), sub + "/inner.xml");

    EXPECT_EQ(entriesOf(sub), std::set<std::string>{"inner.xml"});
    EXPECT_EQ(entriesOf(directory.str()), (std::set<std::string>{"real.xml", "link.xml", "chain.xml", "dangling.xml",
                                                                  "created.xml", "outer.xml", "sub"}));
#endif
}

TEST_F(SafeSave, NameNearTheLengthLimitIsSaved) {
#ifdef _WIN32
    GTEST_SKIP() << "paths are limited to 260 bytes (MAX_PATH) on Windows";
#else
    // The temporary name is longer than the target's; it must still fit.
    const std::string target = directory / std::string(250, 'n');
    rkXMLFStream().writeDocument(documentFor(target));
    EXPECT_EQ(firstEntryValue(target), "value 0 & more");
    EXPECT_EQ(entriesOf(directory.str()), std::set<std::string>{std::string(250, 'n')});
#endif
}

TEST_F(SafeSave, LoopOfLinksIsRefusedAndKept) {
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX symbolic links";
#else
    ASSERT_EQ(symlink("second.xml", (directory / "first.xml").c_str()), 0);
    ASSERT_EQ(symlink("first.xml", (directory / "second.xml").c_str()), 0);
    EXPECT_EQ(saveExpectingFailure(documentFor(directory / "first.xml"), cannotOpen(directory / "first.xml")), 0);
    EXPECT_EQ(linkText(directory / "first.xml"), "second.xml");
    EXPECT_EQ(linkText(directory / "second.xml"), "first.xml");
#endif
}

TEST_F(SafeSave, PermissionBitsAndOwnerAreKept) {
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX users and modes";
#else
    rkXMLFStream stream;
    for (const mode_t mode : {0600u, 0604u, 0751u}) {
        const std::string target = directory / ("mode" + std::to_string(mode) + ".xml");
        writeFile(target, earlierText);
        chmod(target.c_str(), mode);
        stream.writeDocument(documentFor(target));
        EXPECT_EQ(modeOf(target), mode);
        EXPECT_EQ(firstEntryValue(target), "value 0 & more");
    }
    if (reliability::isRoot()) {
        const std::string target = directory / "owned.xml";
        writeFile(target, earlierText);
        ASSERT_EQ(chown(target.c_str(), reliability::unprivilegedUser, reliability::unprivilegedGroup), 0);
        stream.writeDocument(documentFor(target));
        struct stat status {};
        ASSERT_EQ(stat(target.c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, reliability::unprivilegedUser);
        EXPECT_EQ(status.st_gid, reliability::unprivilegedGroup);
    }
    // A new file gets the usual mode, as the process's mask allows.
    const mode_t previousMask = umask(027);
    stream.writeDocument(documentFor(directory / "new.xml"));
    umask(previousMask);
    EXPECT_EQ(modeOf(directory / "new.xml"), 0640u);
#endif
}

TEST_F(SafeSave, PipeIsWrittenInPlace) {
#ifdef _WIN32
    GTEST_SKIP() << "needs FIFOs";
#else
    // A pipe cannot be replaced by renaming; it receives the text directly.
    const std::string plain = directory / "plain.xml";
    const std::string pipe = directory / "pipe.xml";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Opened for reading first: a pipe that nobody reads is refused rather than waited for.
    const int readEnd = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    rkXMLFStream stream;
    stream.writeDocument(documentFor(pipe));
    std::string received(4096, '\0');
    received.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(readEnd, received.data(), received.size()))));
    close(readEnd);
    stream.writeDocument(documentFor(plain));
    EXPECT_EQ(received, readFile(plain));
    struct stat status {};
    ASSERT_EQ(lstat(pipe.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    EXPECT_EQ(entriesOf(directory.str()), (std::set<std::string>{"plain.xml", "pipe.xml"}));
#endif
}

}  // namespace
