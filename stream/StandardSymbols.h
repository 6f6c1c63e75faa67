// The two standard symbol tables, as entity text -> character text: XML's own entities,
// and the Windows-1252 bytes that the default 8-bit table adds. Header-only, so that the
// rkxml program can tell how long the writer makes a text without reaching into a stream.
#ifndef RKXML_STREAM_STANDARD_SYMBOLS_H
#define RKXML_STREAM_STANDARD_SYMBOLS_H

#include <utility>

namespace rkxml_detail {

using SymbolPair = std::pair<const char*, const char*>;

// XML's own entities: all that UTF-8 mode needs, as every other byte is written as it is.
inline constexpr SymbolPair xmlEntityPairs[] = {
    {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"},
};

// The numeric entities carry the Unicode code point; the byte is the same
// character in the Windows-1252 code page.
inline constexpr SymbolPair windows1252Pairs[] = {
    {"&#246;", "\xF6"}, {"&#252;", "\xFC"}, {"&#228;", "\xE4"}, {"&#214;", "\xD6"},
    {"&#220;", "\xDC"}, {"&#196;", "\xC4"}, {"&#223;", "\xDF"}, {"&#8364;", "\x80"},
};

}  // namespace rkxml_detail

#endif
