// Names as the reader's and the writer's messages quote them.
#ifndef RKXML_STREAM_MESSAGE_TEXT_H
#define RKXML_STREAM_MESSAGE_TEXT_H

#include <cstdio>
#include <string>
#include <string_view>

namespace rkxml_detail {

// A name as a message shows it: bytes below 32 and 127 as \xHH, so that a name
// cannot forge lines in the log.
inline std::string shown(std::string_view name) {
    std::string text;
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
