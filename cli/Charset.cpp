#include "Charset.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace rkxml_cli {
namespace {

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined stand for the C1 controls of
// the same number, as Windows itself converts them.
constexpr std::uint16_t windows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string lowerCased(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

bool isOneOf(const std::string& name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

void putUtf8(std::uint32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | codePoint >> 6);
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | codePoint >> 12);
        out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | codePoint >> 18);
        out += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The length of the UTF-8 character at the start of `text`, and its code point; length 0 where none is.
struct Character {
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
};

Character characterAt(std::string_view text) {
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

// The byte that stands for `codePoint` in `charset`, or -1.
int byteFor(std::uint32_t codePoint, Charset charset) {
    if (codePoint < 0x80) return static_cast<int>(codePoint);
    if (charset == Charset::Latin1 && codePoint <= 0xFF) return static_cast<int>(codePoint);
    if (charset == Charset::Windows1252) {
        if (codePoint >= 0xA0 && codePoint <= 0xFF) return static_cast<int>(codePoint);
        for (int i = 0; i < 32; ++i) {
            if (windows1252High[i] == codePoint) return 0x80 + i;
        }
    }
    return -1;
}

}  // namespace

Charset charsetNamed(std::string_view encoding) {
    const std::string name = lowerCased(encoding);
    if (name.empty() || name == "utf-8" || name == "utf8") return Charset::Utf8;
    if (isOneOf(name, {"us-ascii", "ascii", "us", "ansi_x3.4-1968", "ansi_x3.4-1986", "iso646-us", "iso-ir-6", "cp367",
                       "ibm367", "csascii"})) {
        return Charset::Ascii;
    }
    if (isOneOf(name, {"iso-8859-1", "iso_8859-1", "iso8859-1", "latin1", "latin-1", "l1", "iso-ir-100", "cp819",
                       "ibm819", "csisolatin1", "iso_8859-1:1987"})) {
        return Charset::Latin1;
    }
    if (isOneOf(name, {"windows-1252", "cp1252", "x-cp1252", "cswindows1252"})) return Charset::Windows1252;
    return Charset::Other;
}

const char* nameOf(Charset charset) {
    switch (charset) {
        case Charset::Utf8: return "UTF-8";
        case Charset::Ascii: return "US-ASCII";
        case Charset::Latin1: return "ISO-8859-1";
        case Charset::Windows1252: return "Windows-1252";
        case Charset::Other: break;
    }
    return "another character set";
}

std::optional<std::size_t> firstNonUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = characterAt(text.substr(at)).length;
        if (length == 0) return at;
        at += length;
    }
    return std::nullopt;
}

std::string toUtf8(std::string_view text, Charset charset) {
    if (charset != Charset::Latin1 && charset != Charset::Windows1252) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool high = charset == Charset::Windows1252 && byte >= 0x80 && byte < 0xA0;
        putUtf8(high ? windows1252High[byte - 0x80] : byte, out);
    }
    return out;
}

Converted fromUtf8(std::string_view utf8, Charset charset) {
    Converted converted;
    if (charset == Charset::Utf8 || charset == Charset::Other) {
        converted.text = utf8;
        return converted;
    }
    for (std::size_t at = 0; at < utf8.size();) {
        const Character character = characterAt(utf8.substr(at));
        const std::size_t length = std::max<std::size_t>(character.length, 1);
        const int byte = character.length == 0 ? -1 : byteFor(character.codePoint, charset);
        if (byte < 0) {
            converted.unheld = utf8.substr(at, length);
            return converted;
        }
        converted.text += static_cast<char>(static_cast<unsigned char>(byte));
        at += length;
    }
    return converted;
}

}  // namespace rkxml_cli
