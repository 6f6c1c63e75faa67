#ifndef RKXML_TEXT_H
#define RKXML_TEXT_H

#include <cstddef>
#include <optional>
#include <string>

#include "rkXMLExport.h"

/// The character sets and XML rules that a program meets around the library's texts:
/// which set an XML declaration names, converting the 8-bit sets the reader knows to
/// and from UTF-8, what XML allows in a name or a text, and how the library's messages
/// show a name. The same rules the reader and the writer follow.
///
/// Usage, putting a UTF-8 value into a file that declares its set:
///
///     const rkXMLText::Charset set = rkXMLText::charsetNamed(doc.getHeader()->getEncodingType());
///     std::string bytes, unheld;
///     if (!rkXMLText::fromUtf8(value, set, bytes, unheld)) std::cerr << "cannot hold " << unheld << "\n";
namespace rkXMLText {

/// A character set that a declaration names.
enum class Charset {
    Utf8,         ///< UTF-8, also named by no name at all
    Ascii,        ///< US-ASCII
    Latin1,       ///< ISO-8859-1, one of the two 8-bit sets whose characters the reader decodes references into
    Windows1252,  ///< Windows-1252, the other one
    Other         ///< any other set, UTF-16 named in a declaration included
};

/// The set that the encoding name of a declaration stands for, in any casing; Utf8 for the empty name,
/// Other for a name the library does not convert.
RKXML_API Charset charsetNamed(const std::string& encoding);

/// Where `text` first holds a byte that belongs to no UTF-8 character (a stray continuation byte, a
/// sequence cut short, an overlong form, a surrogate, beyond U+10FFFF); nullopt when all of it is UTF-8.
RKXML_API std::optional<std::size_t> firstNonUtf8(const std::string& text);

/// `text` of `charset` in UTF-8: Latin1 and Windows1252 converted (Windows-1252's five undefined bytes as
/// the C1 controls, as Windows converts them), every other set returned as it stands.
RKXML_API std::string toUtf8(const std::string& text, Charset charset);

/// `utf8` in `charset` into `out` (Ascii, Latin1, Windows1252; Utf8 and Other copied as they stand).
/// False where the set cannot hold a character, or a byte is no UTF-8: `unheld` then holds its bytes,
/// and `out` what was converted before it.
RKXML_API bool fromUtf8(const std::string& utf8, Charset charset, std::string& out, std::string& unheld);

/// Whether `name`, in UTF-8, is an XML Name, as UTF-8 mode's writer requires; false for the empty name.
RKXML_API bool isXmlName(const std::string& name);

/// Whether every character of `text`, in UTF-8, is one that XML allows (no control character but tab,
/// CR and LF, no U+FFFE or U+FFFF); false for a byte that is no UTF-8.
RKXML_API bool holdsOnlyXmlCharacters(const std::string& text);

/// `name` as the library's messages show it: its control characters as `\xHH`, each byte of them (bytes
/// below 32 and 127, the C1 controls in UTF-8, and bytes 0x80 to 0x9F that start no UTF-8 character), so
/// that a name cannot forge lines of output. Every other byte stands as it is.
RKXML_API std::string shown(const std::string& name);

}  // namespace rkXMLText

#endif
