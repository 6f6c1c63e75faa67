#include "Charset.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "stream/CharacterSets.h"
#include "stream/ShownName.h"

namespace rkxml_cli {
namespace {

// The set as the reader tells it apart.
rkxml_detail::charsets::DeclaredSet declared(Charset charset) {
    using rkxml_detail::charsets::DeclaredSet;
    return charset == Charset::Latin1        ? DeclaredSet::Latin1
           : charset == Charset::Windows1252 ? DeclaredSet::Windows1252
                                             : DeclaredSet::Ascii;
}

}  // namespace

Charset charsetNamed(std::string_view encoding) {
    using rkxml_detail::charsets::DeclaredSet;
    switch (rkxml_detail::charsets::declaredSet(encoding)) {
        case DeclaredSet::Latin1: return Charset::Latin1;
        case DeclaredSet::Windows1252: return Charset::Windows1252;
        case DeclaredSet::Ascii: return Charset::Ascii;
        case DeclaredSet::Unicode: break;
        case DeclaredSet::Other: return Charset::Other;
    }
    // Of the Unicode forms only UTF-8 is read as it is named: a file that says UTF-16 is not.
    std::string name(encoding);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name.empty() || name == "utf-8" || name == "utf8" ? Charset::Utf8 : Charset::Other;
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

std::string notConverted(std::string_view encoding) {
    return "encoding '" + rkxml_detail::shown(encoding) +
           "' is declared; rkxml converts only UTF-8, US-ASCII, ISO-8859-1 and Windows-1252";
}

std::optional<std::size_t> firstNonUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = rkxml_detail::charsets::utf8CharacterAt(text.substr(at)).length;
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
        // The five bytes that Windows-1252 leaves undefined stand for the C1 controls, as Windows converts them.
        const std::uint32_t character = high ? rkxml_detail::charsets::windows1252High[byte - 0x80] : 0;
        char bytes[4];
        out.append(bytes, rkxml_detail::charsets::putUtf8(character != 0 ? character : byte, bytes));
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
        const rkxml_detail::charsets::Utf8Character character =
            rkxml_detail::charsets::utf8CharacterAt(utf8.substr(at));
        const std::size_t length = std::max<std::size_t>(character.length, 1);
        const int byte =
            character.length == 0 ? -1 : rkxml_detail::charsets::byteIn(declared(charset), character.codePoint);
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
