#include "Library.h"

#include <fstream>

namespace bench {

std::unique_ptr<Library> makeRkxml();
std::unique_ptr<Library> makeFloor();
std::unique_ptr<Library> makeMemchr();
#ifdef BENCH_HAVE_PUGIXML
std::unique_ptr<Library> makePugixml();
#endif
#ifdef BENCH_HAVE_TINYXML2
std::unique_ptr<Library> makeTinyxml2();
#endif
#ifdef BENCH_HAVE_RAPIDXML
std::unique_ptr<Library> makeRapidxml();
#endif
#ifdef BENCH_HAVE_LIBXML2
std::unique_ptr<Library> makeLibxml2();
#endif
#ifdef BENCH_HAVE_EXPAT
std::unique_ptr<Library> makeExpat();
#endif

namespace {

#ifdef BENCH_HAVE_PUGIXML
constexpr LibraryFactory pugixmlFactory = makePugixml;
#else
constexpr LibraryFactory pugixmlFactory = nullptr;
#endif
#ifdef BENCH_HAVE_TINYXML2
constexpr LibraryFactory tinyxml2Factory = makeTinyxml2;
#else
constexpr LibraryFactory tinyxml2Factory = nullptr;
#endif
#ifdef BENCH_HAVE_RAPIDXML
constexpr LibraryFactory rapidxmlFactory = makeRapidxml;
#else
constexpr LibraryFactory rapidxmlFactory = nullptr;
#endif
#ifdef BENCH_HAVE_LIBXML2
constexpr LibraryFactory libxml2Factory = makeLibxml2;
#else
constexpr LibraryFactory libxml2Factory = nullptr;
#endif
#ifdef BENCH_HAVE_EXPAT
constexpr LibraryFactory expatFactory = makeExpat;
#else
constexpr LibraryFactory expatFactory = nullptr;
#endif

bool isEntityByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#';
}

bool isKeptByte(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

}  // namespace

const std::vector<LibraryEntry>& knownLibraries() {
    static const std::vector<LibraryEntry> entries{
        {"rkxml", makeRkxml, ""},
        {"pugixml", pugixmlFactory, "pugixml headers or library not found at build time (libpugixml-dev)"},
        {"tinyxml2", tinyxml2Factory, "tinyxml2 not found at build time (libtinyxml2-dev)"},
        {"rapidxml", rapidxmlFactory, "RapidXML headers not found at build time (librapidxml-dev)"},
        {"libxml2", libxml2Factory, "libxml2 not found at build time (libxml2-dev)"},
        {"expat", expatFactory, "Expat not found at build time (libexpat1-dev)"},
        {"memchr", makeMemchr, ""},
        {"floor", makeFloor, ""},
    };
    return entries;
}

std::uint64_t canonicalHash(std::uint64_t hash, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            // Skip an entity reference whole: a reader that decodes it and one that keeps it agree.
            std::size_t end = i + 1;
            while (end < text.size() && end - i <= 10 && isEntityByte(text[end])) ++end;
            if (end < text.size() && text[end] == ';' && end > i + 1) {
                i = end;
                continue;
            }
        }
        if (isKeptByte(c)) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

std::uint64_t SignatureBuilder::mix(std::uint64_t hash, std::uint64_t value) {
    hash ^= value + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2);
    return hash * 0xFF51AFD7ED558CCDull;
}

void SignatureBuilder::element(std::string_view name, std::uint64_t depth) {
    closeElement();
    ++result.elements;
    if (depth > result.maxDepth) result.maxDepth = depth;
    result.indentUnits += depth;
    std::uint64_t nameHash = fnvOffset;
    for (char c : name) {
        nameHash ^= static_cast<unsigned char>(c);
        nameHash *= 1099511628211ull;
    }
    result.nameHash = mix(mix(result.nameHash, nameHash), depth);
    elementAttributes = 0;
    elementText = fnvOffset;
    elementHasText = false;
    open = true;
}

void SignatureBuilder::attribute(std::string_view name, std::string_view value) {
    ++result.attributes;
    std::uint64_t nameHash = fnvOffset;
    for (char c : name) {
        nameHash ^= static_cast<unsigned char>(c);
        nameHash *= 1099511628211ull;
    }
    // A sum, so that the order in which a library keeps attributes does not matter.
    elementAttributes += mix(nameHash, canonicalHash(fnvOffset, value));
}

void SignatureBuilder::text(std::string_view piece) {
    const std::uint64_t before = elementText;
    elementText = canonicalHash(elementText, piece);
    if (elementText != before) elementHasText = true;
}

void SignatureBuilder::comment(std::uint64_t depth) {
    ++result.comments;
    result.indentUnits += depth;
}

void SignatureBuilder::closeElement() {
    if (!open) return;
    result.attributeHash = mix(result.attributeHash, elementAttributes);
    if (elementHasText) result.valueHash = mix(result.valueHash, elementText);
    open = false;
}

Signature SignatureBuilder::finish() {
    closeElement();
    return result;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot open " + path);
    const std::streamoff size = in.tellg();
    std::string text(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (size > 0 && !in.read(text.data(), size)) throw std::runtime_error("cannot read " + path);
    return text;
}

}  // namespace bench
