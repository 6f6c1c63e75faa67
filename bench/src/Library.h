// What the benchmark asks of every library in the comparison.
//
// A library holds at most one tree at a time. The harness times each
// operation separately; anything a library needs that is not part of the
// operation being measured (recording events, for instance) goes in prepare().
#ifndef RKXML_BENCH_LIBRARY_H
#define RKXML_BENCH_LIBRARY_H

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// The operations of one round, in the order in which they are timed.
enum Operation : unsigned {
    ReadMemory = 1u << 0,  // text in memory -> tree
    Destroy = 1u << 1,     // tree -> nothing
    Write = 1u << 2,       // tree -> file
    ReadFile = 1u << 3,    // file -> tree
};
constexpr unsigned allOperations = ReadMemory | Destroy | Write | ReadFile;

// Thrown by a library that declines a document by design (a depth limit, for instance),
// as opposed to one that fails on it.
struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A summary of a tree that does not depend on how a library stores it, so that
// trees of different libraries can be compared. Values and attribute values are
// reduced to their ASCII letters and digits with entity references dropped, which
// makes decoded and undecoded, UTF-8 and 8-bit forms of the same text agree.
struct Signature {
    std::uint64_t elements = 0;
    std::uint64_t attributes = 0;
    std::uint64_t comments = 0;
    std::uint64_t maxDepth = 0;
    // The sum of the depths of all elements and comments: the blanks that an
    // indenting writer adds, which grows with the square of the depth.
    std::uint64_t indentUnits = 0;
    std::uint64_t nameHash = 0;
    std::uint64_t attributeHash = 0;
    std::uint64_t valueHash = 0;

    bool sameTree(const Signature& other) const {
        return elements == other.elements && attributes == other.attributes && comments == other.comments &&
               nameHash == other.nameHash && attributeHash == other.attributeHash &&
               valueHash == other.valueHash;
    }
};

// Builds a Signature from a pre-order walk. Depth 0 is the document element.
class SignatureBuilder {
public:
    void element(std::string_view name, std::uint64_t depth);
    // Attributes of the element last given to element(); any order.
    void attribute(std::string_view name, std::string_view value);
    // Text content of the element last given to element(); may come in pieces.
    void text(std::string_view piece);
    void comment(std::uint64_t depth);
    Signature finish();

private:
    void closeElement();
    static std::uint64_t mix(std::uint64_t hash, std::uint64_t value);

    Signature result;
    std::uint64_t elementAttributes = 0;
    std::uint64_t elementText = 0;
    bool elementHasText = false;
    bool open = false;
};

// Feeds the letters and digits of `text`, without entity references, into an FNV-1a hash.
std::uint64_t canonicalHash(std::uint64_t hash, std::string_view text);
constexpr std::uint64_t fnvOffset = 1469598103934665603ull;

class Library {
public:
    virtual ~Library() = default;

    virtual std::string name() const = 0;
    // A note on how the library is asked to read and write, for the report.
    virtual std::string settings() const = 0;
    // The operations this library has; the others are reported as not applicable.
    virtual unsigned operations() const { return allOperations; }

    // The library's version, as far as it tells.
    virtual std::string version() const { return {}; }

    // Untimed work before the first round, with the corpus that will be read.
    virtual void prepare(std::string& text) { (void)text; }

    // The text is never changed; it is not const because rkxml's reader takes it so.
    virtual void readMemory(std::string& text) = 0;
    virtual void destroy() {}
    virtual void write(const std::string& path) { (void)path; }
    virtual void readFile(const std::string& path) { (void)path; }

    // The signature of the tree held now (for a library without a tree: of the last text read).
    virtual Signature signature() = 0;
};

using LibraryFactory = std::unique_ptr<Library> (*)();

struct LibraryEntry {
    const char* name;
    LibraryFactory make;  // null when the library was not found at build time
    const char* missingNote;
};

// Every library the benchmark knows, in report order; those not built have a null factory.
const std::vector<LibraryEntry>& knownLibraries();

// Reads a whole file into a string; throws std::runtime_error on failure.
std::string readWholeFile(const std::string& path);

}  // namespace bench

#endif
