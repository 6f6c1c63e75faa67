// What XML 1.0 allows in the text that UTF-8 mode writes: its characters, read in the
// character set that the document's header declares, and its names. Other XML programs
// refuse a file that breaks either, so the writer refuses the tree before it writes.
#ifndef RKXML_STREAM_XML_TEXT_H
#define RKXML_STREAM_XML_TEXT_H

#include <cstdint>
#include <string_view>

#include "stream/CharacterSets.h"

namespace rkxml_detail::xmltext {

using charsets::DeclaredSet;

// Stands for a byte sequence that is no character of the set.
constexpr std::uint32_t noCharacter = 0xFFFFFFFF;

// Calls `visit` with the code point of each character of `text` in `set` until it answers false; a byte that
// starts no character of the set is passed as noCharacter. In a set the library does not know (Other) only
// ASCII is told; every other byte passes as U+00C0, a letter of every Latin set.
template <class Visit>
void forEachCharacter(std::string_view text, DeclaredSet set, Visit visit) {
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        std::uint32_t codePoint = byte;
        std::size_t length = 1;
        if (byte >= 0x80) {
            switch (set) {
                case DeclaredSet::Unicode: {
                    const charsets::Utf8Character character = charsets::utf8CharacterAt(text.substr(at));
                    codePoint = character.length == 0 ? noCharacter : character.codePoint;
                    length = character.length == 0 ? 1 : character.length;
                    break;
                }
                case DeclaredSet::Latin1: break;
                case DeclaredSet::Windows1252:
                    if (byte < 0xA0) {
                        codePoint = charsets::windows1252High[byte - 0x80];
                        if (codePoint == 0) codePoint = noCharacter;  // undefined in the set
                    }
                    break;
                case DeclaredSet::Ascii: codePoint = noCharacter; break;
                case DeclaredSet::Other: codePoint = 0xC0; break;
            }
        }
        if (!visit(codePoint)) return;
        at += length;
    }
}

// Whether every character of `text` is one that XML allows.
inline bool holdsOnlyXmlCharacters(std::string_view text, DeclaredSet set) {
    bool allowed = true;
    forEachCharacter(text, set, [&allowed](std::uint32_t codePoint) {
        allowed = codePoint != noCharacter && charsets::isXmlCharacter(codePoint);
        return allowed;
    });
    return allowed;
}

// XML's NameStartChar.
inline bool isNameStartCharacter(std::uint32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

// XML's NameChar.
inline bool isNameCharacter(std::uint32_t c) {
    return isNameStartCharacter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Whether `name` is an XML Name: not empty, a name start character, then name characters.
inline bool isXmlName(std::string_view name, DeclaredSet set) {
    bool first = true;
    bool valid = !name.empty();
    forEachCharacter(name, set, [&](std::uint32_t codePoint) {
        valid = codePoint != noCharacter && (first ? isNameStartCharacter(codePoint) : isNameCharacter(codePoint));
        first = false;
        return valid;
    });
    return valid;
}

}  // namespace rkxml_detail::xmltext

#endif
