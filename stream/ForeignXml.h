// What the reader takes only from XML files of other programs (foreignXml), apart
// from its usual scan: the byte order mark and UTF-16, the XML declaration told
// from other processing instructions, the document type declaration, CDATA
// sections, and how the declared character set decodes character references.
#ifndef RKXML_STREAM_FOREIGN_XML_H
#define RKXML_STREAM_FOREIGN_XML_H

#include <string>
#include <string_view>

#include "rkXMLFStream.h"
#include "stream/SymbolCodec.h"

namespace rkxml_detail::foreign {

constexpr std::string_view doctypeMark = "!DOCTYPE";  // what follows "<" in a document type declaration
constexpr std::string_view cdataMark = "![CDATA[";    // what follows "<" in a CDATA section
constexpr std::string_view cdataClose = "]]>";

// Whether `text` is UTF-16: it starts with a UTF-16 byte order mark, or with "<" and "?" in UTF-16.
bool isUtf16(std::string_view text);

// The byte order that UTF-16's byte order mark at the start of `text` gives; Bytes where no such mark stands.
rkXMLFStream::TextForm utf16Form(std::string_view text);

// UTF-16 text of the byte order `form` (after its byte order mark) in UTF-8. A lone surrogate or a byte left
// over at the end stops the conversion there: `error` then says why, and `utf8` holds what came before.
struct Utf8FromUtf16 {
    std::string utf8;
    const char* error = nullptr;
};
Utf8FromUtf16 utf8FromUtf16(std::string_view units, rkXMLFStream::TextForm form);

// Whether `raw` holds what XML's white-space rules change: a carriage return in text, or also a tab or a
// line feed in an attribute value.
bool needsNormalising(std::string_view raw, bool attributeValue);

// Appends `raw` with XML's line ends to `out`: each CR LF, and each CR alone, becomes a line feed; in an
// attribute value each of them, a line feed and a tab become a blank. References are decoded afterwards, so
// that "&#13;" and the like keep their characters.
void appendNormalised(std::string_view raw, bool attributeValue, std::string& out);

// Whether a "<?" followed by `rest` opens the XML declaration ("xml", then white space or "?>"), not
// another processing instruction.
bool isXmlDeclaration(std::string_view rest);

// The version and the encoding that a declaration's text after "<?xml" names, in either quotes and with
// white space around "=" as XML allows; empty where missing. `holdsMore`: it also names something else
// (standalone) or holds text that is no such value.
struct Declaration {
    std::string version;
    std::string encoding;
    bool holdsMore = false;
};
Declaration readDeclaration(std::string_view inner);

// One attribute of a start tag by XML's grammar, from its name at `at`: white space may stand around the
// "=", and the value may be in single quotes. Where it is malformed, `error` is the reader's message for it
// and `errorAt` the position whose line the message gives.
struct Attribute {
    std::string_view name;
    std::string_view value;  // as written between the quotes
    std::size_t end = 0;     // just after the closing quote
    const char* error = nullptr;
    std::size_t errorAt = 0;
};
Attribute readAttribute(std::string_view text, std::size_t at);

// The position just after the ">" that ends a document type declaration, scanned from `from` (just after
// its "<!DOCTYPE") by its grammar: quoted literals, and an internal subset in brackets whose declarations,
// comments and processing instructions may hold "]" and ">"; npos if the text ends first.
std::size_t doctypeEnd(std::string_view text, std::size_t from);

// How character references decode in a file that declares `encoding`: to UTF-8 for none or a Unicode form,
// to the byte of ISO-8859-1, Windows-1252 or US-ASCII, and for any other set only where ASCII holds them.
SymbolCodec::References referencesFor(std::string_view encoding);

}  // namespace rkxml_detail::foreign

#endif
