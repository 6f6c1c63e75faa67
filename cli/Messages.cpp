#include "Messages.h"

#include <iostream>

namespace rkxml_cli {

bool complain(const std::string& message) {
    std::cerr << "rkxml: " << message << '\n';
    return false;
}

void printAtLine(const std::string& fileName, std::size_t line, const char* label, const std::string& text) {
    std::cerr << shown(fileName) << ':' << line + 1 << ": " << label << ": " << text << '\n';
}

}  // namespace rkxml_cli
