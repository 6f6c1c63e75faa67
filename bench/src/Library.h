// What the benchmark asks of every library it compares, and the tree signature
// that tells whether two libraries built the same tree.
#ifndef RKXML_BENCH_LIBRARY_H
#define RKXML_BENCH_LIBRARY_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace bench {

// The timed operations of a round, in their order.
enum Operation : unsigned {
    ReadMemory = 1u << 0,   // text in memory -> tree
    WriteString = 1u << 1,  // change one value, then tree -> text in memory
    WriteFile = 1u << 2,    // change one value, then tree -> file through the library's own save
    Destroy = 1u << 3,      // tree -> nothing
    ReadFile = 1u << 4,     // file -> tree
};

// A summary of a tree that does not depend on how a library stores it, built by a walk in document
// order (depth 0 is the document element). Values count by their ASCII letters and digits, entity
// references left out, so that decoded and undecoded text agree.
struct Signature {
    std::uint64_t elements = 0, attributes = 0, comments = 0;
    std::uint64_t indentUnits = 0;  // the sum of all depths: the blanks an indenting writer adds
    std::uint64_t nameHash = 0, attributeHash = 0, valueHash = 0;

    void element(std::string_view name, std::uint64_t depth);
    // An attribute, or a piece of text, of the element last given to element().
    void attribute(std::string_view name, std::string_view value);
    void text(std::string_view piece);
    void comment(std::uint64_t depth);
};

// The signature of a tree whose nodes link to first child, next sibling and parent, walked in
// document order without recursion; visit(signature, node, depth) adds a node of any kind (a text
// node's text belongs to the element last added). `top` is the document node.
template <typename Node, typename Child, typename Next, typename Up, typename Visit>
Signature signatureOfLinkedTree(Node node, Node top, Child child, Next next, Up up, Visit visit) {
    Signature signature;
    std::uint64_t depth = 0;
    while (node) {
        visit(signature, node, depth);
        if (Node below = child(node)) {
            node = below;
            ++depth;
            continue;
        }
        while (node && !next(node)) {
            node = up(node);
            if (node == top) node = Node();
            --depth;
        }
        if (node) node = next(node);
    }
    return signature;
}

// Reads a whole file into a string; throws std::runtime_error on failure.
std::string readWholeFile(const std::string& path);

// One library under test. It holds at most one tree; the harness times each call.
class Library {
public:
    virtual ~Library() = default;
    virtual std::string version() const { return {}; }
    // The operations this library has; the others are reported as not applicable.
    virtual unsigned operations() const { return ReadMemory | WriteString | WriteFile | Destroy | ReadFile; }
    // Those of its operations that run in each round but are not timed nor reported.
    virtual unsigned untimed() const { return 0; }
    // Untimed work before the first read, with the corpus that will be read.
    virtual void prepare(const std::string& text) { (void)text; }
    virtual void readMemory(const std::string& text) = 0;
    virtual void destroy() {}
    // Sets one attribute of the top element, as an application changes one setting before saving.
    virtual void edit(const std::string& value) { (void)value; }
    virtual void writeString(std::string& text) { (void)text; }
    virtual void writeFile(const std::string& path) { (void)path; }
    // By default the file is read whole, then as text in memory.
    virtual void readFile(const std::string& path) { readMemory(readWholeFile(path)); }
    // The signature of the tree held now; none from a library whose tree is not compared.
    virtual std::optional<Signature> signature() { return std::nullopt; }
};

// Every library that was built, by name: each adapter adds its own with a static Registration.
using Factory = std::function<std::unique_ptr<Library>()>;
std::map<std::string, Factory>& registry();
struct Registration {
    Registration(const char* name, Factory make) { registry().emplace(name, std::move(make)); }
};

}  // namespace bench

#endif
