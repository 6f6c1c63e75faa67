// Shared helpers of the stream tests: a fresh directory per test, whole-file
// reads and writes, small trees, and caught error texts.
#ifndef RKXML_TESTS_STREAM_TEST_SUPPORT_H
#define RKXML_TESTS_STREAM_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "tree/NodeAccess.h"

namespace fs = std::filesystem;

// A new directory in the system's temporary directory, its name starting with `prefix`.
inline fs::path makeScratchDirectory(const std::string& prefix) {
    std::random_device random;
    fs::path candidate;
    do {
        candidate = fs::temp_directory_path() / (prefix + std::to_string(random()));
    } while (!fs::create_directory(candidate));
    return candidate;
}

// The variable that names the system's temporary directory when Tmp is not set.
#ifdef _WIN32
constexpr const char* temporaryDirectoryVariable = "TEMP";
#else
constexpr const char* temporaryDirectoryVariable = "TMPDIR";
#endif

// Sets an environment variable, or removes it for nullopt; on Windows also for the
// system's own lookup.
inline void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override { dir = makeScratchDirectory("rkxml-stream-"); }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
};

inline std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
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

inline rkXMLElement* asElement(rkXMLNode* node) { return dynamic_cast<rkXMLElement*>(node); }

// Appends a new node (an element with `value`) to `parent` and links it back.
template <class Node = rkXMLElement>
Node* addNode(rkXMLNode* parent, const std::string& name, const std::string& value = "") {
    auto* node = new Node;
    node->setName(name);
    if constexpr (std::is_same_v<Node, rkXMLElement>) node->setValue(value);
    asElement(parent)->addChild(node, rkXMLElement::npos);
    node->setParent(parent);
    return node;
}

// A compact picture of a subtree: name[attribute=value,...]'value'(child,...); comments as
// <!--text-->, headers as their declaration, nodes of no kind as "?"; "^" marks a child
// whose parent link does not name the element that holds it.
inline std::string describe(rkXMLNode* node) {
    if (node->getElementType() == rkXMLNode::Comment) return "<!--" + node->getName() + "-->";
    if (node->getElementType() != rkXMLNode::Element) return node->getElementType() == rkXMLNode::Header ? node->getName() : "?";
    rkXMLElement* element = asElement(node);
    std::string text = node->getName();
    const char* separator = "[";
    for (const auto& [name, value] : element->getAttributes()) {
        text += separator + name + "=" + value;
        separator = ",";
    }
    if (!element->getAttributes().empty()) text += "]";
    if (!element->getValue().empty()) text += "'" + element->getValue() + "'";
    separator = "(";
    for (rkXMLNode* child : *element) {
        text += separator + (child->getParent() == node ? "" : std::string("^")) + describe(child);
        separator = ",";
    }
    return element->empty() ? text : text + ")";
}

// Restores the listed environment variables when the scope ends.
class EnvGuard {
public:
    EnvGuard(std::initializer_list<const char*> names) {
        for (const char* name : names) saved.emplace_back(name, getenv(name) ? std::optional<std::string>(getenv(name)) : std::nullopt);
    }
    ~EnvGuard() {
        for (const auto& [name, value] : saved) setEnvironment(name, value);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

#endif
