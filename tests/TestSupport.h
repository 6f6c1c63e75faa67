// Helpers of the test programs: a fresh directory per test, whole files, small
// trees and their pictures, caught error texts, and a second user's processes.
#ifndef RKXML_TESTS_TEST_SUPPORT_H
#define RKXML_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>
#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"

namespace fs = std::filesystem;

namespace testing_support {

// A directory of the test's own, removed with everything in it at the end. Its mode
// lets the second user of a child process in.
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

    // The names in the directory or in its subdirectory `sub`.
    std::set<std::string> entries(const std::string& sub = "") const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(sub.empty() ? root : path(sub)))
            names.insert(entry.path().filename().string());
        return names;
    }

private:
    std::string root;
};

class ScratchTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return scratch.path(name); }
    Scratch scratch;
};

// The text of a file as the library reads it: on Windows, which writes text files
// with CR LF line ends, each CR LF as LF.
inline std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
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
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    while (times-- > 0) text += piece;
    return text;
}

// The text of the std::runtime_error that `action` throws, or "(no exception)".
template <class Action>
std::string errorOf(Action action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no exception)";
}

inline rkXMLElement* element(rkXMLNode* node) { return rkXMLFactory::asElement(node); }

using Log = std::vector<std::string>;

// A node that records its name in `log` when destroyed and, given its holder, how many
// entries the holder still lists at that moment.
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

// A picture of a subtree: name[attribute=value,...]'value'(child,...); comments as <!--text-->, headers as
// their declaration, nodes of no kind as "?"; "^" marks a child whose parent link misses its holder.
inline std::string describe(rkXMLNode* node) {
    if (node->getElementType() == rkXMLNode::Comment) return "<!--" + node->getName() + "-->";
    if (node->getElementType() == rkXMLNode::Header) return node->getName();
    rkXMLElement* e = element(node);
    if (e == nullptr) return "?";
    // Each list starts with a comma, which its opening bracket replaces.
    std::string attributes, children;
    for (const auto& [name, value] : e->getAttributes()) attributes += "," + name + "=" + value;
    for (rkXMLNode* child : *e) children += (child->getParent() == node ? "," : ",^") + describe(child);
    const std::string value = e->getValue().empty() ? "" : "'" + e->getValue() + "'";
    return node->getName() + (attributes.empty() ? "" : "[" + attributes.substr(1) + "]") + value +
           (children.empty() ? "" : "(" + children.substr(1) + ")");
}

// Sets an environment variable, or removes it for nullopt; on Windows also for the
// system's own lookup.
inline void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

// The variable that names the system's temporary directory.
#ifdef _WIN32
constexpr const char* temporaryDirectoryVariable = "TEMP";
#else
constexpr const char* temporaryDirectoryVariable = "TMPDIR";
#endif

// Sets environment variables for a scope and restores them at its end.
class EnvGuard {
public:
    EnvGuard(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const char* value = getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~EnvGuard() {
        for (const auto& [name, value] : saved) setEnvironment(name, value);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

#ifndef _WIN32
inline bool isRoot() { return geteuid() == 0; }

// The second user that child processes play.
constexpr uid_t otherUser = 65534;
constexpr gid_t otherGroup = 65534;

// Runs `body` in a child process, as the other user when asked and we are root, and
// returns its exit status, or -1 if it did not exit (a signal, a hang past `seconds`).
// gtest assertions do not work in the child: `body` answers through its status.
inline int runInChild(const std::function<int()>& body, bool asOtherUser = false, unsigned seconds = 20) {
    std::fflush(nullptr);  // or the child may print the parent's pending output again
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        if (asOtherUser && isRoot()) {
            if (setgroups(0, nullptr) != 0 || setgid(otherGroup) != 0 || setuid(otherUser) != 0) _exit(100);
        }
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The message of the error that saving `document` throws, or "(no exception)".
inline std::string saveError(const rkXMLDocument& document) {
    return errorOf([&] { rkXMLFStream().writeDocument(document); });
}

inline std::string cannotOpen(const std::string& name) { return "Error: cannot open '" + name + "' for writing."; }
inline std::string writingFailed(const std::string& name) { return "Error: writing '" + name + "' failed."; }

}  // namespace testing_support

#endif
