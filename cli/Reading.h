// Reading a file for a command: through the library's readDocument (which reads a
// regular file up to its size at opening, a FIFO without writer as empty, and turns
// running out of memory into a failed read), in the command's mode, without a log
// file beside the user's file.
#ifndef RKXML_CLI_READING_H
#define RKXML_CLI_READING_H

#include <cstdint>
#include <optional>
#include <string>

#include <rkXMLDocument.h>
#include <rkXMLFStream.h>

namespace rkxml_cli {

// UTF-8 files as other programs write them (the library's mode for such files), or files
// of the library's 8-bit mode (its default table, values as bytes).
enum class Mode { Utf8, EightBit };

// A stream that reads and writes in `mode` and writes no log file.
rkXMLFStream streamFor(Mode mode);

enum class ReadResult { Read, Missing, Failed };

// Reads the file that `document` names with `stream`. An error of the text is printed as
// "FILE:LINE: error: text", a file that cannot be read with its reason; warnings are left to the
// caller (getDiagnostics). With `missingAllowed`, a file that does not exist is Missing, silently.
ReadResult readFile(rkXMLFStream& stream, rkXMLDocument& document, bool missingAllowed = false);

// Prints the warnings and the error of the stream's last read as "FILE:LINE: warning: text" and
// "FILE:LINE: error: text".
void printDiagnostics(const rkXMLFStream& stream, const std::string& fileName);

// The bytes of the regular file `fileName`, up to the size it has when opened, read after the
// library's read to compare them with what would be written; nullopt, after saying why, for
// anything but a regular file, a file of more than `limit` bytes or a file that cannot be read.
std::optional<std::string> bytesOf(const std::string& fileName, std::uint64_t limit);

}  // namespace rkxml_cli

#endif
