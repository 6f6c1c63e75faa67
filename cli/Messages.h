// How rkxml speaks: messages on stderr after the program's name, and a file's
// diagnostics as editors and compilers show them, "file:LINE: label: text" with
// lines counted from 1.
#ifndef RKXML_CLI_MESSAGES_H
#define RKXML_CLI_MESSAGES_H

#include <cstddef>
#include <string>
#include <string_view>

#include "stream/ShownName.h"

namespace rkxml_cli {

// `name` with bytes below 32 and 127 as \xHH, so that a name cannot forge lines of output: as the
// library shows names in its messages.
using rkxml_detail::shown;

// Prints "rkxml: " and `message` on stderr; false, for callers to pass on.
bool complain(const std::string& message);

// Prints "FILE:LINE: label: text" on stderr, `line` counted from 0 as the library counts.
void printAtLine(const std::string& fileName, std::size_t line, const char* label, const std::string& text);

}  // namespace rkxml_cli

#endif
