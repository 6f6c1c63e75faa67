// Names as messages show them: file names in the reader's and the writer's errors,
// element and attribute names in the writer's.
#ifndef RKXML_STREAM_SHOWN_NAME_H
#define RKXML_STREAM_SHOWN_NAME_H

#include <cstdio>
#include <string>
#include <string_view>

#include "stream/CharacterSets.h"

namespace rkxml_detail {

// `name` with its control characters as \xHH, each byte of them, so that a name cannot forge lines
// in the log or in the caller's own output of the message: bytes below 32 and 127, the C1 controls
// U+0080 to U+009F in UTF-8, and the bytes 0x80 to 0x9F that start no UTF-8 character, as terminals
// take them for C1 controls too.
inline std::string shown(std::string_view name) {
    std::string text;
    text.reserve(name.size());
    const auto escape = [&text](std::string_view bytes) {
        for (const char c : bytes) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            text += escaped;
        }
    };
    for (std::size_t at = 0; at < name.size();) {
        const auto byte = static_cast<unsigned char>(name[at]);
        const charsets::Utf8Character character =
            byte >= 0x80 ? charsets::utf8CharacterAt(name.substr(at)) : charsets::Utf8Character{1, byte};
        const std::size_t length = character.length == 0 ? 1 : character.length;
        const bool isControl = character.length == 0 ? byte <= 0x9F
                                                     : character.codePoint < 32 ||
                                                           (character.codePoint >= 127 && character.codePoint <= 0x9F);
        if (isControl) {
            escape(name.substr(at, length));
        } else {
            text.append(name.substr(at, length));
        }
        at += length;
    }
    return text;
}

}  // namespace rkxml_detail

#endif
