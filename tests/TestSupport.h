// Helpers of the test programs: tables, scratch directories, files, small trees and their pictures, error texts, users.
#ifndef RKXML_TESTS_TEST_SUPPORT_H
#define RKXML_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>
#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"
#include "rkXMLWalk.h"

namespace fs = std::filesystem;

namespace testing_support {

// A row of a table: what a failure names, what goes in, what must come out.
template <class Input, class Output = Input>
struct TableRow {
    const char* name;
    Input input;
    Output expected;
};

// Full size, or a tenth where the environment asks for it (the sanitizer and valgrind runs).
inline std::size_t scaled(std::size_t size) { return std::getenv("RKXML_TESTS_SMALL") != nullptr ? size / 10 : size; }

// The names in `directory`; none if it does not exist.
inline std::set<std::string> entriesOf(const fs::path& directory) {
    std::set<std::string> names;
    std::error_code missing;
    for (fs::directory_iterator it(directory, missing), end; !missing && it != end; it.increment(missing))
        names.insert(it->path().filename().string());
    return names;
}

// A directory of the test's own, removed with everything in it at the end; the second user may enter it.
class Scratch {
public:
    Scratch() {
        std::random_device random;
        do {
            root = (fs::temp_directory_path() / ("rkxml-test-" + std::to_string(random()))).string();
        } while (!fs::create_directory(root));
        fs::permissions(root, fs::perms::all);
    }
    ~Scratch() {
        std::error_code ignored;
        // Read-only directories would keep their entries, and on Windows read-only files stay.
        for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
             it.increment(ignored)) {
            if (!it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(root, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string path(const std::string& name) const { return root + "/" + name; }
    const std::string& str() const { return root; }
    std::set<std::string> entries() const { return entriesOf(root); }

private:
    std::string root;
};

// The bytes of a file as they are on disk.
inline std::string bytesOf(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
}

// The text of a file as the library reads it: each CR LF as LF on Windows, which writes text files so.
inline std::string readFile(const std::string& name) {
    std::string text = bytesOf(name);
#ifdef _WIN32
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') text[kept++] = text[i];
    }
    text.resize(kept);
#endif
    return text;
}

inline void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    while (times-- > 0) text += piece;
    return text;
}

// Whether two long texts are equal; a failure names the first byte where they differ, not the megabytes.
inline ::testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return ::testing::AssertionFailure() << actual.size() << " bytes, not " << expected.size() << "; from byte " << at
                                         << ": \"" << actual.substr(at, 40) << "\", not \"" << expected.substr(at, 40);
}

constexpr const char* noException = "(no exception)";

// The text of the exception that `action` throws, or "(no exception)".
template <class Action>
std::string errorOf(Action action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return noException;
}

inline rkXMLElement* element(rkXMLNode* node) { return rkXMLFactory::asElement(node); }

using Log = std::vector<std::string>;

// A node that logs its name when destroyed, with the count of its holder's children at that moment if given.
template <class Base>
struct Traced : Base {
    Traced(Log& log, const std::string& name, const rkXMLElement* holder = nullptr) : log(log), holder(holder) {
        this->setName(name);
    }
    ~Traced() override {
        log.push_back(this->getName() + (holder ? "@" + std::to_string(holder->getChildCount()) : ""));
    }
    Log& log;
    const rkXMLElement* holder;
};

// Appends a new element named `name` with `value` to `parent`, parent link included.
inline rkXMLElement* addElement(rkXMLNode* parent, const std::string& name, const std::string& value = "") {
    rkXMLElement* added = element(rkXMLFactory::createNode(parent, rkXMLNode::Element, name, rkXMLElement::npos));
    added->setValue(value);
    return added;
}

inline rkXMLNode* addComment(rkXMLNode* parent, const std::string& text) {
    return rkXMLFactory::createNode(parent, rkXMLNode::Comment, text, rkXMLElement::npos);
}

// The small document of the saving tests: the standard header and <data> with `entries` entries holding `value`.
inline rkXMLDocument smallDocument(const std::string& fileName, const std::string& value = "new & text",
                                   std::size_t entries = 1) {
    rkXMLDocument document;
    document.setFileName(fileName);
    document.setStandardHeader();
    rkXMLElement* data = addElement(document.getRoot(), "data");
    for (std::size_t i = 0; i < entries; ++i) addElement(data, "entry", value);
    return document;
}

// What `stream` (by default one with the default tables) writes for `document`.
inline std::string textOf(const rkXMLDocument& document, rkXMLFStream stream = rkXMLFStream()) {
    std::string text;
    stream.writeDocumentToString(document, text);
    return text;
}

// A node as a picture shows it, its children aside.
inline std::string fieldsOf(rkXMLNode* node) {
    if (node->getElementType() == rkXMLNode::Comment) return "<!--" + node->getName() + "-->";
    if (node->getElementType() == rkXMLNode::Header) return node->getName();
    rkXMLElement* e = element(node);
    if (e == nullptr) return "?";
    std::string attributes;
    for (const auto& [name, value] : e->getAttributes()) attributes += "," + name + "=" + value;
    const std::string value = e->getValue().empty() ? "" : "'" + e->getValue() + "'";
    return node->getName() + (attributes.empty() ? "" : "[" + attributes.substr(1) + "]") + value;
}

// A picture of a subtree: name[attribute=value,...]'value'(child,...); comments as <!--text-->, headers as
// their declaration, nodes of no kind as "?"; "^" marks a child whose parent link misses its holder.
inline std::string describe(rkXMLNode* node) {
    std::string picture = fieldsOf(node);
    if (element(node) == nullptr) return picture;
    std::vector<bool> listed{false};  // per element walked into: whether its list of children has begun
    for (rkXMLWalk walk(*element(node)); walk.next();) {
        if (walk.isLeaving()) {
            if (listed.back()) picture += ")";
            listed.pop_back();
            continue;
        }
        picture += listed.back() ? "," : "(";
        listed.back() = true;
        if (walk.node()->getParent() != walk.holder()) picture += "^";
        picture += fieldsOf(walk.node());
        if (walk.element() != nullptr) listed.push_back(false);
    }
    return picture + (listed.back() ? ")" : "");
}

// A stream in the mode for files from other programs, which writes no log.
inline rkXMLFStream foreignStream() {
    rkXMLFStream stream;
    stream.foreignXml();
    stream.setLogEnabled(false);
    return stream;
}

// The diagnostics of the stream's last read, each as "W line: text" or "E line: text".
using Diagnostics = std::vector<std::string>;
inline Diagnostics listed(const rkXMLFStream& stream) {
    Diagnostics lines;
    for (const auto& d : stream.getDiagnostics())
        lines.push_back((d.kind == rkXMLFStream::Diagnostic::Warning ? "W " : "E ") + std::to_string(d.line) + ": " +
                        d.text);
    return lines;
}

// The shared fixture: a scratch directory, a document whose file is `target` in it, and a stream.
class DocumentInScratch : public ::testing::Test {
protected:
    DocumentInScratch() { document.setFileName(target); }

    std::string path(const std::string& name) const { return scratch.path(name); }
    // What `stream` writes for `document`.
    std::string written() { return textOf(document, stream); }

    Scratch scratch;
    const std::string target = scratch.path("doc.xml");
    rkXMLFStream stream;
    rkXMLDocument document;
};

// Checks that `attempt` answered `message` and left the target's bytes and its directory's entries (a log aside).
inline void expectRefused(const std::string& target, const std::string& message,
                          const std::function<std::string()>& attempt) {
    auto entriesBeside = [&] {
        std::set<std::string> names = entriesOf(fs::path(target).parent_path());
        names.erase(fs::path(target + ".log").filename().string());
        return names;
    };
    auto regularFileContent = [](const std::string& name) {
        std::error_code error;
        return fs::is_regular_file(name, error) ? std::optional(readFile(name)) : std::nullopt;
    };
    const std::optional<std::string> before = regularFileContent(target);
    const std::set<std::string> entriesBefore = entriesBeside();
    EXPECT_EQ(attempt(), message);
    EXPECT_EQ(regularFileContent(target), before) << "the target's bytes changed";
    EXPECT_EQ(entriesBeside(), entriesBefore) << "the entries beside the target changed";
}

// The message of the error that saving `document` throws, or "(no exception)".
inline std::string saveError(const rkXMLDocument& document) {
    return errorOf([&] { rkXMLFStream().writeDocument(document); });
}

inline std::string cannotOpen(const std::string& name) { return "Error: cannot open '" + name + "' for writing."; }
inline std::string writingFailed(const std::string& name) { return "Error: writing '" + name + "' failed."; }

#ifndef _WIN32
inline bool isRoot() { return geteuid() == 0; }

// A user that a child process plays: the second user (nobody) by default, with its own group alone.
struct User {
    uid_t uid = 65534;
    gid_t gid = 65534;
    std::vector<gid_t> groups;  // supplementary groups
};
const User secondUser;

// The exit status of `body` run in a child process (as `user` if given and we are root); -1 on a signal or
// a hang past `seconds`. gtest assertions do not work in the child.
inline int runInChild(const std::function<int()>& body, const std::optional<User>& user = std::nullopt,
                      unsigned seconds = 20) {
    std::fflush(nullptr);  // or the child may print the parent's pending output again
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        if (user && isRoot()) {
            if (setgroups(user->groups.size(), user->groups.data()) != 0 || setgid(user->gid) != 0 ||
                setuid(user->uid) != 0) {
                _exit(100);
            }
        }
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The text that `report` answers in a child process that runInChild runs, or why the child gave none.
inline std::string answerInChild(const std::function<std::string()>& report,
                                 const std::optional<User>& user = std::nullopt, unsigned seconds = 20) {
    int channel[2];
    if (pipe(channel) != 0) return "(no pipe)";
    const int status = runInChild(
        [&] {
            // No exception may escape into the copy of the test program; a pipe holds 64 KiB unread.
            try {
                const std::string answer = report().substr(0, 4096);
                return write(channel[1], answer.data(), answer.size()) == ssize_t(answer.size()) ? 0 : 1;
            } catch (...) {
                return 2;
            }
        },
        user, seconds);
    close(channel[1]);
    std::string answer(4096, '\0');
    answer.resize(std::size_t(std::max<ssize_t>(0, read(channel[0], answer.data(), answer.size()))));
    close(channel[0]);
    return status == 0 ? answer : "(the child ended with status " + std::to_string(status) + ")";
}

// The error text that `action` throws in a child process, or why the child failed.
inline std::string errorInChild(const std::function<void()>& action, const std::optional<User>& user = std::nullopt,
                                unsigned seconds = 20) {
    return answerInChild([&] { return errorOf(action); }, user, seconds);
}

inline std::string saveErrorInChild(const rkXMLDocument& document, const std::optional<User>& user = std::nullopt,
                                    unsigned seconds = 20) {
    return errorInChild([&] { rkXMLFStream().writeDocument(document); }, user, seconds);
}

// A FIFO at `name` whose reader collects all written into it; its own write end keeps it waiting for writers.
class FifoReader {
public:
    explicit FifoReader(const std::string& name) {
        if (mkfifo(name.c_str(), 0600) != 0) return;
        readEnd = open(name.c_str(), O_RDONLY | O_NONBLOCK);
        ownWriteEnd = open(name.c_str(), O_WRONLY);
        fcntl(readEnd, F_SETFL, fcntl(readEnd, F_GETFL) & ~O_NONBLOCK);
        reader = std::thread([this] {
            char buffer[65536];
            for (ssize_t count; (count = read(readEnd, buffer, sizeof buffer)) > 0;) collected.append(buffer, count);
        });
    }
    ~FifoReader() { received(); }

    bool isOpen() const { return readEnd >= 0 && ownWriteEnd >= 0; }
    // Everything written, once every other writer closed its end.
    const std::string& received() {
        if (ownWriteEnd >= 0) close(std::exchange(ownWriteEnd, -1));
        if (reader.joinable()) reader.join();
        if (readEnd >= 0) close(std::exchange(readEnd, -1));
        return collected;
    }

private:
    int readEnd = -1;
    int ownWriteEnd = -1;
    std::thread reader;
    std::string collected;
};
#endif

}  // namespace testing_support

#endif
