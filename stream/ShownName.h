// Names as messages show them: file names in the reader's and the writer's errors,
// element and attribute names in the writer's.
#ifndef RKXML_STREAM_SHOWN_NAME_H
#define RKXML_STREAM_SHOWN_NAME_H

#include <cstdio>
#include <string>
#include <string_view>

namespace rkxml_detail {

// `name` with bytes below 32 and 127 as \xHH, so that a name cannot forge lines in
// the log or in the caller's own output of the message.
inline std::string shown(std::string_view name) {
    std::string text;
    text.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace rkxml_detail

#endif
