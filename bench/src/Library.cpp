#include "Library.h"

#include <fstream>

namespace bench {
namespace {

constexpr std::uint64_t fnvOffset = 1469598103934665603ull;

bool isAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::uint64_t fnv(std::uint64_t hash, char c) { return (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull; }

std::uint64_t nameHash(std::string_view name) {
    std::uint64_t hash = fnvOffset;
    for (char c : name) hash = fnv(hash, c);
    return hash;
}

// Feeds the letters and digits of `text`, without entity references, into the hash.
std::uint64_t canonicalHash(std::uint64_t hash, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            // Skip a reference whole: a reader that decodes it and one that keeps it agree.
            std::size_t end = i + 1;
            while (end < text.size() && end - i <= 10 && (isAsciiAlnum(text[end]) || text[end] == '#')) ++end;
            if (end < text.size() && text[end] == ';' && end > i + 1) {
                i = end;
                continue;
            }
        }
        if (isAsciiAlnum(text[i])) hash = fnv(hash, text[i]);
    }
    return hash;
}

std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
    hash ^= value + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2);
    return hash * 0xFF51AFD7ED558CCDull;
}

}  // namespace

void Signature::element(std::string_view name, std::uint64_t depth) {
    ++elements;
    indentUnits += depth;
    nameHash = mix(mix(nameHash, bench::nameHash(name)), depth);
    valueHash = mix(valueHash, elements);  // text after this mark is this element's
}

void Signature::attribute(std::string_view name, std::string_view value) {
    ++attributes;
    // A sum, so that the order in which a library keeps attributes does not matter.
    attributeHash += mix(elements, mix(bench::nameHash(name), canonicalHash(fnvOffset, value)));
}

void Signature::text(std::string_view piece) { valueHash = canonicalHash(valueHash, piece); }

void Signature::comment(std::uint64_t depth) {
    ++comments;
    indentUnits += depth;
}

std::map<std::string, Factory>& registry() {
    static std::map<std::string, Factory> libraries;
    return libraries;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::string text(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        throw std::runtime_error("cannot read " + path);
    }
    return text;
}

}  // namespace bench
