#include "stream/ForeignXml.h"

#include <cstdint>
#include <initializer_list>

#include "stream/Bytes.h"
#include "stream/CharacterSets.h"
#include "stream/Grammar.h"

namespace rkxml_detail::foreign {
namespace {

constexpr std::size_t notFound = std::string_view::npos;

// The position after `close`, searched from `from`; npos if it is missing.
std::size_t after(std::string_view text, std::string_view close, std::size_t from) {
    const std::size_t at = findMark(text, close, from);
    return at == notFound ? notFound : at + close.size();
}

// The position after the quoted literal that opens at `at`.
std::size_t literalEnd(std::string_view text, std::size_t at) { return after(text, text.substr(at, 1), at + 1); }

// The position after the ">" of a markup declaration (<!ELEMENT, <!ATTLIST, <!ENTITY, <!NOTATION) whose
// text goes on at `at`; its quoted literals may hold ">".
std::size_t markupDeclarationEnd(std::string_view text, std::size_t at) {
    while (at < text.size() && text[at] != '>') {
        at = text[at] == '"' || text[at] == '\'' ? literalEnd(text, at) : at + 1;
    }
    return at < text.size() ? at + 1 : notFound;
}

// The position after the "]" that ends an internal subset whose text starts at `at`.
std::size_t subsetEnd(std::string_view text, std::size_t at) {
    while (at < text.size() && text[at] != ']') {
        if (text[at] != '<') {
            ++at;  // white space and parameter-entity references between declarations
        } else if (startsWith(text.substr(at), grammar::commentOpen)) {
            at = after(text, grammar::commentClose, at + grammar::commentOpen.size());
        } else if (startsWith(text.substr(at), "<?")) {
            at = after(text, grammar::declarationClose, at + 2);
        } else {
            at = markupDeclarationEnd(text, at + 1);
        }
    }
    return at < text.size() ? at + 1 : notFound;
}

}  // namespace

bool isUtf16(std::string_view text) {
    for (const std::string_view start : {std::string_view("\xFF\xFE"), std::string_view("\xFE\xFF"),
                                         std::string_view("<\0?\0", 4), std::string_view("\0<\0?", 4)}) {
        if (startsWith(text, start)) return true;
    }
    return false;
}

rkXMLFStream::TextForm utf16Form(std::string_view text) {
    using TextForm = rkXMLFStream::TextForm;
    if (startsWith(text, "\xFF\xFE")) return TextForm::Utf16LittleEndian;
    if (startsWith(text, "\xFE\xFF")) return TextForm::Utf16BigEndian;
    return TextForm::Bytes;
}

Utf8FromUtf16 utf8FromUtf16(std::string_view units, rkXMLFStream::TextForm form) {
    const bool bigEndian = form == rkXMLFStream::TextForm::Utf16BigEndian;
    auto unitAt = [&](std::size_t at) {
        const auto first = static_cast<unsigned char>(units[at]);
        const auto second = static_cast<unsigned char>(units[at + 1]);
        return static_cast<std::uint32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    auto isHigh = [](std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    auto isLow = [](std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    Utf8FromUtf16 converted;
    converted.utf8.reserve(units.size() / 2);
    std::size_t at = 0;
    for (; at + 1 < units.size(); at += 2) {
        std::uint32_t codePoint = unitAt(at);
        if (isHigh(codePoint) && at + 3 < units.size() && isLow(unitAt(at + 2))) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (unitAt(at + 2) - 0xDC00);
            at += 2;
        } else if (isHigh(codePoint) || isLow(codePoint)) {
            converted.error = "Text in UTF-16 holds a lone surrogate.";
            return converted;
        }
        char bytes[4];
        converted.utf8.append(bytes, charsets::putUtf8(codePoint, bytes));
    }
    if (at < units.size()) converted.error = "Text in UTF-16 ends in the middle of a character.";
    return converted;
}

bool needsNormalising(std::string_view raw, bool attributeValue) {
    if (!attributeValue) return raw.find('\r') != notFound;
    constexpr unsigned whiteSpaceBits = (1u << '\t') | (1u << '\n') | (1u << '\r');
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= '\r' && ((whiteSpaceBits >> byte) & 1u) != 0) return true;
    }
    return false;
}

void appendNormalised(std::string_view raw, bool attributeValue, std::string& out) {
    const char lineEnd = attributeValue ? ' ' : '\n';
    for (std::size_t at = 0; at < raw.size(); ++at) {
        const char c = raw[at];
        if (c == '\r') {
            if (at + 1 < raw.size() && raw[at + 1] == '\n') ++at;  // CR LF is one line end
            out += lineEnd;
        } else if (attributeValue && (c == '\n' || c == '\t')) {
            out += ' ';
        } else {
            out += c;
        }
    }
}

bool isXmlDeclaration(std::string_view rest) {
    if (!startsWith(rest, "xml") || rest.size() == 3) return false;
    return grammar::isSkipByte(rest[3]) || startsWith(rest.substr(3), grammar::declarationClose);
}

Declaration readDeclaration(std::string_view inner) {
    // Pseudo-attributes: name, "=", a quoted value; the reading stops at the first that is malformed.
    Declaration declaration;
    std::size_t at = grammar::skipWhiteSpace(inner, 0);
    while (at < inner.size()) {
        const std::size_t nameStart = at;
        while (at < inner.size() && inner[at] != '=' && !grammar::isSkipByte(inner[at])) ++at;
        const std::string_view name = inner.substr(nameStart, at - nameStart);
        at = grammar::skipWhiteSpace(inner, at);
        const bool equals = at < inner.size() && inner[at] == '=';
        if (equals) at = grammar::skipWhiteSpace(inner, at + 1);
        const bool quoted = equals && at < inner.size() && (inner[at] == '"' || inner[at] == '\'');
        const std::size_t close = quoted ? inner.find(inner[at], at + 1) : notFound;
        if (close == notFound) {
            declaration.holdsMore = true;  // malformed: what follows is not read
            break;
        }
        const std::string_view value = inner.substr(at + 1, close - at - 1);
        if (name == "version") {
            declaration.version = value;
        } else if (name == "encoding") {
            declaration.encoding = value;
        } else {
            declaration.holdsMore = true;
        }
        at = grammar::skipWhiteSpace(inner, close + 1);
    }
    return declaration;
}

Attribute readAttribute(std::string_view text, std::size_t at) {
    Attribute attribute;
    auto failed = [&attribute](const char* error, std::size_t errorAt) {
        attribute.error = error;
        attribute.errorAt = errorAt;
        return attribute;
    };
    const std::size_t nameStart = at;
    // A name ends where "=", white space or the end of the tag may stand.
    while (at < text.size() && !grammar::isSkipByte(text[at]) && text[at] != '=' && text[at] != '>' &&
           text[at] != '/') {
        ++at;
    }
    attribute.name = text.substr(nameStart, at - nameStart);
    at = grammar::skipWhiteSpace(text, at);
    // "Unspected" kept as the default reader spells it, on purpose: callers and stored logs match the text.
    if (at >= text.size()) return failed("Unspected EOF.", text.size());
    if (text[at] != '=') return failed("Unspected value form.", nameStart);
    at = grammar::skipWhiteSpace(text, at + 1);
    if (at >= text.size()) return failed("Unspected EOF.", text.size());
    if (text[at] != '"' && text[at] != '\'') return failed("Unspected value form.", nameStart);
    const std::size_t valueStart = at + 1;
    if (valueStart >= text.size()) return failed("Unspected EOF.", valueStart);
    const std::size_t valueEnd = text.find(text[at], valueStart);
    if (valueEnd == notFound) return failed("Unspected value form.", valueStart);
    attribute.value = text.substr(valueStart, valueEnd - valueStart);
    attribute.end = valueEnd + 1;
    return attribute;
}

std::size_t doctypeEnd(std::string_view text, std::size_t from) {
    std::size_t at = from;
    while (at < text.size() && text[at] != '>') {
        if (text[at] == '"' || text[at] == '\'') {
            at = literalEnd(text, at);  // a system or public identifier
        } else if (text[at] == '[') {
            at = subsetEnd(text, at + 1);
        } else {
            ++at;
        }
    }
    return at < text.size() ? at + 1 : notFound;
}

SymbolCodec::References referencesFor(std::string_view encoding) {
    using charsets::DeclaredSet;
    using References = SymbolCodec::References;
    switch (charsets::declaredSet(encoding)) {
        case DeclaredSet::Unicode: return References::Utf8;
        case DeclaredSet::Latin1: return References::Latin1;
        case DeclaredSet::Windows1252: return References::Windows1252;
        case DeclaredSet::Ascii: break;
        case DeclaredSet::Other:
            break;  // only references to ASCII characters, which nearly every set holds as
                    // ASCII's bytes, are turned into bytes; the others stay as written
    }
    return References::Ascii;
}

}  // namespace rkxml_detail::foreign
