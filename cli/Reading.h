// Reading a file for a command: as the library reads a document's file (a regular file
// up to its size at opening, a FIFO without writer as empty, names of any length), in the
// command's mode, without a log file beside the user's file. For format and set, the first step: the file read,
// with every reason to leave it as it is.
#ifndef RKXML_CLI_READING_H
#define RKXML_CLI_READING_H

#include <cstdint>
#include <string>

#include <rkXMLDocument.h>
#include <rkXMLFStream.h>
#include <rkXMLText.h>

namespace rkxml_cli {

// UTF-8 files as other programs write them (the library's mode for such files), or files
// of the library's 8-bit mode (its default table, values as bytes).
enum class Mode { Utf8, EightBit };

// A stream that reads and writes in `mode` and writes no log file.
inline rkXMLFStream streamFor(Mode mode) {
    return rkXMLFStream(mode == Mode::Utf8 ? rkXMLFStream::Text::ForeignXml : rkXMLFStream::Text::EightBit,
                        rkXMLFStream::Log::None);
}

enum class ReadResult { Read, Missing, Failed };

// Reads the file that `document` names with `stream`, its bytes into `text`. An error of the text is printed
// as "FILE:LINE: error: text", a file that cannot be read with its reason; warnings are left to the caller
// (getDiagnostics). With `missingAllowed`, a file that does not exist is Missing, silently.
ReadResult readFile(rkXMLFStream& stream, rkXMLDocument& document, std::string& text, bool missingAllowed = false);

// Prints the warnings and the error of the stream's last read as "FILE:LINE: warning: text" and
// "FILE:LINE: error: text".
void printDiagnostics(const rkXMLFStream& stream, const std::string& fileName);

// A file as read before it is written back, and where it came from.
struct Original {
    std::string fileName;
    Mode mode;
    rkXMLFStream stream;     // the command's mode, which also writes
    rkXMLDocument document;  // as the command's mode reads it; edited by set
    bool exists = false;     // false: set makes a new file
    std::string bytes;       // the file's bytes
    rkXMLDocument asXml;     // 8-bit mode: as other XML programs read the file
    rkXMLText::Charset charset = rkXMLText::Charset::Utf8;
    bool splices = false;  // set on a file with a top-level element: only the value's bytes change

    Original(const std::string& fileName, Mode mode) : fileName(fileName), mode(mode), stream(streamFor(mode)) {
        document.setFileName(fileName);
    }
};

// Reads the file for format (`forSet` false) or set, and every reason to leave it alone: what the reader
// dropped, what a save would not write back (for set on a file that holds a top-level element, which is
// spliced, only what a splice would not keep), a character set rkxml does not convert or bytes not of it,
// and in the 8-bit mode what other XML programs read otherwise; false after printing them.
bool readForRewrite(Original& original, bool forSet);

}  // namespace rkxml_cli

#endif
