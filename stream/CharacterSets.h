// The character sets that an XML declaration may name, told apart as the reader
// decodes character references for them (see ForeignXml.h), Windows-1252's
// characters and the UTF-8 form of a character. Header-only: the rkxml program
// converts with the same names, table and encoder.
#ifndef RKXML_STREAM_CHARACTER_SETS_H
#define RKXML_STREAM_CHARACTER_SETS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace rkxml_detail::charsets {

// Unicode (read as UTF-8: also no name at all), the 8-bit sets the reader makes bytes of, and any other.
enum class DeclaredSet { Unicode, Latin1, Windows1252, Ascii, Other };

// An encoding name with its ASCII letters lower-cased, whatever the host's locale: names match in any casing.
inline std::string encodingNameLowered(std::string_view encoding) {
    std::string name(encoding);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// The set that the encoding name `encoding` stands for, in any casing.
inline DeclaredSet declaredSet(std::string_view encoding) {
    const std::string name = encodingNameLowered(encoding);
    const auto isOneOf = [&name](std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    // A file that calls itself UTF-16 but reaches the reader as bytes of ASCII is UTF-8 text in truth.
    if (name.empty() || name == "unicode" || name.rfind("utf", 0) == 0 || name.rfind("ucs", 0) == 0) {
        return DeclaredSet::Unicode;
    }
    if (isOneOf({"iso-8859-1", "iso_8859-1", "iso8859-1", "latin1", "latin-1", "l1", "iso-ir-100", "cp819", "ibm819",
                 "csisolatin1", "iso_8859-1:1987"})) {
        return DeclaredSet::Latin1;
    }
    if (isOneOf({"windows-1252", "cp1252", "x-cp1252", "cswindows1252"})) return DeclaredSet::Windows1252;
    if (isOneOf({"us-ascii", "ascii", "us", "ansi_x3.4-1968", "ansi_x3.4-1986", "iso646-us", "iso-ir-6", "cp367",
                 "ibm367", "csascii"})) {
        return DeclaredSet::Ascii;
    }
    return DeclaredSet::Other;
}

// Windows-1252's characters at the bytes 0x80 to 0x9F; 0 where the byte stands for none.
inline constexpr std::uint16_t windows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The length of the UTF-8 character at the start of `text`, and its code point; length 0 where none is
// (a stray continuation byte, a sequence cut short, an overlong form, a surrogate, beyond U+10FFFF).
struct Utf8Character {
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
};

inline Utf8Character utf8CharacterAt(std::string_view text) {
    if (text.empty()) return {};
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return {1, lead};
    std::size_t length;
    std::uint32_t least;  // the smallest code point of that length: anything below is an overlong form
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        least = 0x10000;
    } else {
        return {};
    }
    if (text.size() < length) return {};
    std::uint32_t codePoint = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return {};
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return {};
    return {length, codePoint};
}

// The characters that XML 1.0 allows in a document.
inline bool isXmlCharacter(std::uint32_t codePoint) {
    if (codePoint < 0x20) return codePoint == '\t' || codePoint == '\n' || codePoint == '\r';
    return codePoint <= 0xD7FF || (codePoint >= 0xE000 && codePoint <= 0xFFFD) ||
           (codePoint >= 0x10000 && codePoint <= 0x10FFFF);
}

// Writes the UTF-8 form of a code point below 0x110000 to `out`, which holds four bytes; returns its length.
inline std::size_t putUtf8(std::uint32_t codePoint, char* out) {
    auto byte = [](std::uint32_t bits) { return static_cast<char>(static_cast<unsigned char>(bits)); };
    if (codePoint < 0x80) {
        out[0] = byte(codePoint);
        return 1;
    }
    const std::size_t size = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    for (std::size_t i = size - 1; i > 0; --i, codePoint >>= 6) out[i] = byte(0x80 | (codePoint & 0x3F));
    const std::uint32_t leadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out[0] = byte(leadMarks[size] | codePoint);
    return size;
}

// The byte of `set` (Latin1, Windows1252 or Ascii) that stands for `codePoint`, or -1 where the set lacks it.
inline int byteIn(DeclaredSet set, std::uint32_t codePoint) {
    if (codePoint < 0x80) return static_cast<int>(codePoint);
    if (set == DeclaredSet::Latin1) return codePoint <= 0xFF ? static_cast<int>(codePoint) : -1;
    if (set == DeclaredSet::Windows1252) {
        if (codePoint >= 0xA0 && codePoint <= 0xFF) return static_cast<int>(codePoint);
        for (int i = 0; i < 32; ++i) {
            if (windows1252High[i] == codePoint) return 0x80 + i;
        }
    }
    return -1;
}

}  // namespace rkxml_detail::charsets

#endif
