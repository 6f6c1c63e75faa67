// The character sets of the files that rkxml reads and writes in UTF-8 mode: a
// file's declared set, and its text converted to and from UTF-8, which the
// command line and what `get` prints are in.
#ifndef RKXML_CLI_CHARSET_H
#define RKXML_CLI_CHARSET_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rkxml_cli {

// UTF-8 (also a file that declares no encoding), US-ASCII, the two 8-bit sets that
// the reader decodes references into, and any other set, which rkxml does not convert.
enum class Charset { Utf8, Ascii, Latin1, Windows1252, Other };

// The set that a declared encoding name stands for, in any casing; empty stands for UTF-8.
Charset charsetNamed(std::string_view encoding);

// The set's usual name, for messages.
const char* nameOf(Charset charset);

// Why a file that declares `encoding`, a set of Charset::Other, is not read or written.
std::string notConverted(std::string_view encoding);

// Where `text` first holds a byte that does not belong to a UTF-8 character (a stray
// continuation byte, a sequence cut short, an overlong form, a surrogate, beyond U+10FFFF).
std::optional<std::size_t> firstNonUtf8(std::string_view text);

// `text` of `charset` (Latin1, Windows1252; the others are taken as they are) in UTF-8.
std::string toUtf8(std::string_view text, Charset charset);

// `utf8` in `charset` (Ascii, Latin1, Windows1252; UTF-8 stays as it is), or the first
// character, as UTF-8, that the set cannot hold.
struct Converted {
    std::string text;
    std::string unheld;  // empty when all was converted
};
Converted fromUtf8(std::string_view utf8, Charset charset);

}  // namespace rkxml_cli

#endif
