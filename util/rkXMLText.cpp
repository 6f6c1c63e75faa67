#include "rkXMLText.h"

#include <algorithm>

#include "stream/CharacterSets.h"
#include "stream/ShownName.h"
#include "stream/XmlText.h"

namespace charsets = rkxml_detail::charsets;
using charsets::DeclaredSet;

namespace rkXMLText {

Charset charsetNamed(const std::string& encoding) {
    switch (charsets::declaredSet(encoding)) {
        case DeclaredSet::Latin1: return Charset::Latin1;
        case DeclaredSet::Windows1252: return Charset::Windows1252;
        case DeclaredSet::Ascii: return Charset::Ascii;
        case DeclaredSet::Unicode: break;
        case DeclaredSet::Other: return Charset::Other;
    }
    // Of the Unicode forms only UTF-8 is bytes as they stand: a text that names UTF-16 is not.
    const std::string name = charsets::encodingNameLowered(encoding);
    return name.empty() || name == "utf-8" || name == "utf8" ? Charset::Utf8 : Charset::Other;
}

std::optional<std::size_t> firstNonUtf8(const std::string& text) {
    const std::string_view bytes = text;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = charsets::utf8CharacterAt(bytes.substr(at)).length;
        if (length == 0) return at;
        at += length;
    }
    return std::nullopt;
}

std::string toUtf8(const std::string& text, Charset charset) {
    if (charset != Charset::Latin1 && charset != Charset::Windows1252) return text;
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool high = charset == Charset::Windows1252 && byte >= 0x80 && byte < 0xA0;
        const std::uint32_t character = high ? charsets::windows1252High[byte - 0x80] : 0;
        char bytes[4];
        out.append(bytes, charsets::putUtf8(character != 0 ? character : byte, bytes));
    }
    return out;
}

bool fromUtf8(const std::string& utf8, Charset charset, std::string& out, std::string& unheld) {
    if (charset == Charset::Utf8 || charset == Charset::Other) {
        out = utf8;
        return true;
    }
    const DeclaredSet set = charset == Charset::Latin1        ? DeclaredSet::Latin1
                            : charset == Charset::Windows1252 ? DeclaredSet::Windows1252
                                                              : DeclaredSet::Ascii;
    const std::string_view text = utf8;
    out.clear();
    for (std::size_t at = 0; at < text.size();) {
        const charsets::Utf8Character character = charsets::utf8CharacterAt(text.substr(at));
        const int byte = character.length == 0 ? -1 : charsets::byteIn(set, character.codePoint);
        if (byte < 0) {
            unheld = text.substr(at, std::max<std::size_t>(character.length, 1));
            return false;
        }
        out += static_cast<char>(static_cast<unsigned char>(byte));
        at += character.length;
    }
    return true;
}

bool isXmlName(const std::string& name) { return rkxml_detail::xmltext::isXmlName(name, DeclaredSet::Unicode); }

bool holdsOnlyXmlCharacters(const std::string& text) {
    return rkxml_detail::xmltext::holdsOnlyXmlCharacters(text, DeclaredSet::Unicode);
}

std::string shown(const std::string& name) { return rkxml_detail::shown(name); }

}  // namespace rkXMLText
