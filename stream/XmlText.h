// What XML 1.0 allows in the text that UTF-8 mode writes: its characters, read in the
// character set that the document's header declares, and its names. Other XML programs
// refuse a file that breaks either, so the writer refuses the tree before it writes.
#ifndef RKXML_STREAM_XML_TEXT_H
#define RKXML_STREAM_XML_TEXT_H

#include <array>
#include <cstdint>
#include <string_view>

#include "stream/ByteSetScan.h"
#include "stream/CharacterSets.h"

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define RKXML_XML_TEXT_SSE2 1
#endif

namespace rkxml_detail::xmltext {

using charsets::DeclaredSet;

// Stands for a byte sequence that is no character of the set.
constexpr std::uint32_t noCharacter = 0xFFFFFFFF;

// The position of the first byte of `text` at or after `from` that is no printable ASCII character (below 0x20,
// or 0x80 and up), or its size: values are mostly such characters, so they are passed over sixteen at a time
// where the compiler offers SSE2.
inline std::size_t skipPrintableAscii(std::string_view text, std::size_t from) {
#ifdef RKXML_XML_TEXT_SSE2
    // Compared as signed bytes, those from 0x80 up are negative, so one comparison finds both kinds.
    const __m128i firstPrintable = _mm_set1_epi8(0x20);
    for (; from + 16 <= text.size(); from += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(block, firstPrintable)));
        if (mask != 0) return from + ByteSetScan::lowestSetBit(mask);
    }
#endif
    while (from < text.size()) {
        const auto byte = static_cast<unsigned char>(text[from]);
        if (byte < 0x20 || byte >= 0x80) break;
        ++from;
    }
    return from;
}

// A character of a text: its code point and its length in bytes.
struct Character {
    std::uint32_t codePoint;
    std::size_t length;
};

// The character that starts at `at` in `text` in `set`: noCharacter, one byte long, where the bytes start no
// character of the set. In a set the library does not know (Other) only ASCII is told; every other byte passes
// as U+00C0, a letter of every Latin set.
inline Character characterAt(std::string_view text, std::size_t at, DeclaredSet set) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) return {byte, 1};
    switch (set) {
        case DeclaredSet::Unicode: {
            const charsets::Utf8Character character = charsets::utf8CharacterAt(text.substr(at));
            if (character.length == 0) return {noCharacter, 1};
            return {character.codePoint, character.length};
        }
        case DeclaredSet::Latin1: return {byte, 1};
        case DeclaredSet::Windows1252: {
            if (byte >= 0xA0) return {byte, 1};
            const std::uint32_t codePoint = charsets::windows1252High[byte - 0x80];
            return {codePoint == 0 ? noCharacter : codePoint, 1};  // five bytes the set leaves undefined
        }
        case DeclaredSet::Ascii: return {noCharacter, 1};
        case DeclaredSet::Other: break;
    }
    return {0xC0, 1};
}

// Whether every character of `text` is one that XML allows; printable ASCII is passed over at once.
inline bool holdsOnlyXmlCharacters(std::string_view text, DeclaredSet set) {
    for (std::size_t at = skipPrintableAscii(text, 0); at < text.size(); at = skipPrintableAscii(text, at)) {
        const Character character = characterAt(text, at, set);
        if (character.codePoint == noCharacter || !charsets::isXmlCharacter(character.codePoint)) return false;
        at += character.length;
    }
    return true;
}

// XML's NameStartChar.
constexpr bool isNameStartCharacter(std::uint32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

// XML's NameChar.
constexpr bool isNameCharacter(std::uint32_t c) {
    return isNameStartCharacter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// What the ASCII characters are in names, looked up in one table: most names are ASCII and short, and the
// writer asks for each one it writes.
enum NameClass : unsigned char { notInNames = 0, inNames = 1, startsNames = 2 };

constexpr std::array<unsigned char, 128> asciiNameClasses = [] {
    std::array<unsigned char, 128> classes{};
    for (unsigned c = 0; c < 128; ++c) {
        if (isNameStartCharacter(c)) classes[c] = inNames | startsNames;
        if (isNameCharacter(c) && !isNameStartCharacter(c)) classes[c] = inNames;
    }
    return classes;
}();

// Whether `name` is an XML Name: not empty, a name start character, then name characters.
inline bool isXmlName(std::string_view name, DeclaredSet set) {
    if (name.empty()) return false;
    for (std::size_t at = 0; at < name.size();) {
        const auto byte = static_cast<unsigned char>(name[at]);
        const NameClass wanted = at == 0 ? startsNames : inNames;
        if (byte < 0x80) {
            if ((asciiNameClasses[byte] & wanted) == 0) return false;
            ++at;
            continue;
        }
        const Character character = characterAt(name, at, set);
        if (character.codePoint == noCharacter) return false;
        if (!(at == 0 ? isNameStartCharacter(character.codePoint) : isNameCharacter(character.codePoint))) {
            return false;
        }
        at += character.length;
    }
    return true;
}

}  // namespace rkxml_detail::xmltext

#endif
