// Small byte-string helpers of the reader and the writer's hot paths, where
// the texts compared and copied are mostly a few bytes long and a library call
// costs more than the work.
#ifndef RKXML_STREAM_BYTES_H
#define RKXML_STREAM_BYTES_H

#include <cstddef>
#include <cstring>
#include <string_view>

namespace rkxml_detail {

// Whether `text` begins with `prefix`, compared byte by byte.
inline bool startsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (text[i] != prefix[i]) return false;
    }
    return true;
}

// The first `mark` at or after `from`, or npos: memchr finds the first byte, far
// cheaper than a general substring search for the two- and three-byte marks of XML.
inline std::size_t findMark(std::string_view text, std::string_view mark, std::size_t from) {
    while (from < text.size()) {
        const void* found = std::memchr(text.data() + from, mark.front(), text.size() - from);
        if (found == nullptr) return std::string_view::npos;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        if (startsWith(text.substr(at), mark)) return at;
        from = at + 1;
    }
    return std::string_view::npos;
}

// Copies `size` bytes; short copies without a library call (overlapping
// fixed-size copies are inlined).
inline void copyBytes(char* to, const char* from, std::size_t size) {
    if (size >= 16) {
        std::memcpy(to, from, size);
    } else if (size >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + size - 4, from + size - 4, 4);
    } else {
        for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
    }
}

}  // namespace rkxml_detail

#endif
