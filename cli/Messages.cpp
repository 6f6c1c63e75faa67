#include "Messages.h"

#include <cstdio>
#include <iostream>

namespace rkxml_cli {

std::string shown(std::string_view name) {
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

bool complain(const std::string& message) {
    std::cerr << "rkxml: " << message << '\n';
    return false;
}

void printAtLine(const std::string& fileName, std::size_t line, const char* label, const std::string& text) {
    std::cerr << shown(fileName) << ':' << line + 1 << ": " << label << ": " << text << '\n';
}

}  // namespace rkxml_cli
