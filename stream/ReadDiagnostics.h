// The diagnostics of one read: the reader's messages in one place, kept as data in
// the stream's list and written as the text that the log and a thrown error show.
// Apart from the scan, which only says where and what: the scan's loop stays small
// enough for the compiler to keep its hot steps inline.
#ifndef RKXML_STREAM_READ_DIAGNOSTICS_H
#define RKXML_STREAM_READ_DIAGNOSTICS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"

namespace rkxml_detail {

class ReadDiagnostics {
public:
    using Diagnostic = rkXMLFStream::Diagnostic;

    // Collects into `list`, emptied here, the diagnostics of reading `text`, and into `losses`, emptied too,
    // what a save would not write back; `logs` says whether the diagnostics go to the log file of `document`.
    ReadDiagnostics(std::vector<Diagnostic>& list, std::vector<Diagnostic>& losses, std::string_view text,
                    rkXMLDocument& document, bool logs);

    // Warnings, each at the line of the position `at` in the text.
    void warnNoCurrentElement(std::size_t at);
    void warnTextOutside(std::size_t at);
    void warnTextReplaced(std::size_t at, std::string_view element);
    void warnTextAfterLastTag(std::size_t at);
    void warnOpenElements(std::size_t at, std::string_view innermost, std::size_t open);
    // What a save would not write back as it stands at `at`; neither logged nor thrown.
    void noteSaveLoss(std::size_t at, std::string text);

    // Adds the error, logs every diagnostic, empties the document and throws their text.
    [[noreturn]] void fail(std::size_t at, const char* message);
    // Logs the warnings, if there are any.
    void finish() const;

private:
    void warn(std::size_t at, std::string message);
    std::size_t lineOf(std::size_t at);
    std::string text() const;

    std::vector<Diagnostic>& list;
    std::vector<Diagnostic>& losses;
    const std::string_view input;
    rkXMLDocument& document;
    const bool logs;
    std::size_t linesCountedTo = 0;
    std::size_t linesBefore = 0;
};

}  // namespace rkxml_detail

#endif
