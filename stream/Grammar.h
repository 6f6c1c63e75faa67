// What the reader accepts, in one place: the fixed texts of the format, the byte
// classes of its scan, trimming, the ASCII lower-casing of tag names, and the
// names the writer may write because the reader gives them back unchanged.
// Reader, writer and symbol codec share it, so the writer's promise that what it
// writes reads back cannot drift from the reader.
#ifndef RKXML_STREAM_GRAMMAR_H
#define RKXML_STREAM_GRAMMAR_H

#include <array>
#include <string>
#include <string_view>

#include "stream/Bytes.h"

namespace rkxml_detail::grammar {

// The fixed texts of the format.
constexpr std::string_view tagOpen = "<";
constexpr std::string_view tagClose = ">";
constexpr std::string_view emptyTagClose = "/>";
constexpr std::string_view endTagOpen = "</";
constexpr std::string_view commentOpen = "<!--";
constexpr std::string_view commentMark = "!--";  // what follows "<" in a comment
constexpr std::string_view commentClose = "-->";
constexpr std::string_view declarationOpen = "<?";
constexpr std::string_view declarationClose = "?>";
constexpr std::string_view attributeSeparator = " ";
constexpr std::string_view valueOpen = "=\"";
constexpr std::string_view valueClose = "\"";
constexpr std::string_view blanks = "                    ";  // 20 blanks, the source of indentation
constexpr std::string_view lineBreak = "\n";
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";  // UTF-8's

// Byte classes of the scan, looked up in one table: the reader asks them for nearly every byte of a tag.
enum ByteClass : unsigned char {
    skipByte = 1,       // skipped after "<" and between attributes
    trimByte = 2,       // trimmed from both ends of values and names (a carriage return is not)
    nameDelimiter = 4,  // ends a start tag's name
};

constexpr std::array<unsigned char, 256> byteClasses = [] {
    std::array<unsigned char, 256> classes{};
    classes[' '] = skipByte | trimByte | nameDelimiter;
    classes['\t'] = skipByte | trimByte | nameDelimiter;
    classes['\n'] = skipByte | trimByte | nameDelimiter;
    classes['\r'] = skipByte | nameDelimiter;
    classes['>'] = nameDelimiter;
    return classes;
}();

inline bool is(char c, ByteClass byteClass) { return (byteClasses[static_cast<unsigned char>(c)] & byteClass) != 0; }
inline bool isSkipByte(char c) { return is(c, skipByte); }
inline bool isTrimByte(char c) { return is(c, trimByte); }
inline bool isNameDelimiter(char c) { return is(c, nameDelimiter); }

inline bool holdsTrimByte(std::string_view text) {
    for (char c : text) {
        if (isTrimByte(c)) return true;
    }
    return false;
}

// The first position of `text` from `at` on that holds no white space (a byte of the skip set), or its size.
inline std::size_t skipWhiteSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && isSkipByte(text[at])) ++at;
    return at;
}

// Whether `text` is white space only: blanks, tabs, line feeds and carriage returns.
inline bool isBlank(std::string_view text) {
    for (const char c : text) {
        if (!isSkipByte(c)) return false;
    }
    return true;
}

// The first byte of `text` from `from` on that is neither white space nor the byte order mark that starts
// the text: where a warning about text that starts at `from` points.
inline std::size_t firstTextAt(std::string_view text, std::size_t from) {
    if (from == 0 && startsWith(text, byteOrderMark)) from = byteOrderMark.size();
    while (from < text.size() && isSkipByte(text[from])) ++from;
    return from;
}

// `text` without trim bytes at either end.
inline std::string_view trimmed(std::string_view text) {
    std::size_t first = 0;
    while (first < text.size() && isTrimByte(text[first])) ++first;
    std::size_t last = text.size();
    while (last > first && isTrimByte(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Lower-cases the ASCII letters A-Z up to the first zero byte, whatever the host's
// locale: open tags are compared after it.
inline void toLower(std::string& text) {
    for (char& c : text) {
        if (c == '\0') break;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

// An element name that the reader gives back as it is: not empty, no delimiter
// inside, not read as an end tag, a declaration or a comment, no closing slash.
inline bool readsBackAsElementName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '?' || name.back() == '/') return false;
    if (startsWith(name, commentMark)) return false;
    for (char c : name) {
        if (isNameDelimiter(c)) return false;
    }
    return true;
}

// An attribute name that the reader gives back as it is: nothing it skips or trims
// at its ends, not the end of the tag, no value opening inside.
inline bool readsBackAsAttributeName(std::string_view name) {
    if (name.empty()) return true;
    if (isSkipByte(name.front()) || name.front() == '>' || startsWith(name, emptyTagClose)) return false;
    if (isTrimByte(name.back())) return false;
    return name.find(valueOpen) == std::string_view::npos;
}

}  // namespace rkxml_detail::grammar

#endif
