#include "stream/ReadDiagnostics.h"

#include <algorithm>
#include <stdexcept>

#include "stream/DiagnosticLog.h"
#include "stream/ShownName.h"

namespace rkxml_detail {

ReadDiagnostics::ReadDiagnostics(std::vector<Diagnostic>& list, std::vector<Diagnostic>& losses, std::string_view text,
                                 rkXMLDocument& document, bool logs)
    : list(list), losses(losses), input(text), document(document), logs(logs) {
    list.clear();
    losses.clear();
}

void ReadDiagnostics::warnNoCurrentElement(std::size_t at) {
    warn(at, "No tag active but text found, must be at the start, ignoring.");
}

void ReadDiagnostics::warnTextOutside(std::size_t at) { warn(at, "Text outside every element is ignored."); }

void ReadDiagnostics::warnTextReplaced(std::size_t at, std::string_view element) {
    warn(at, "Text of element '" + shown(element) + "' is replaced by a later text; only the last one is kept.");
}

void ReadDiagnostics::warnTextAfterLastTag(std::size_t at) { warn(at, "Text after the last tag is ignored."); }

void ReadDiagnostics::warnOpenElements(std::size_t at, std::string_view innermost, std::size_t open) {
    std::string message = "Element '" + shown(innermost) + "' is not closed at the end of the text";
    if (open > 1) message += " (" + std::to_string(open) + " elements are open)";
    warn(at, message + ".");
}

void ReadDiagnostics::noteSaveLoss(std::size_t at, std::string text) {
    losses.push_back(Diagnostic{Diagnostic::Warning, lineOf(at), std::move(text)});
}

void ReadDiagnostics::fail(std::size_t at, const char* message) {
    list.push_back(Diagnostic{Diagnostic::Error, lineOf(at), message});
    const std::string all = text();
    if (logs) writeLog(document.getFileName(), all);
    document.makeEmpty();
    throw std::runtime_error(all);
}

void ReadDiagnostics::finish() const {
    if (logs && !list.empty()) writeLog(document.getFileName(), text());
}

void ReadDiagnostics::warn(std::size_t at, std::string message) {
    list.push_back(Diagnostic{Diagnostic::Warning, lineOf(at), std::move(message)});
}

// The number of line feeds before `at`, counted on (or back) from the last diagnostic's
// position, so that many warnings cost one pass over the text, not one each.
std::size_t ReadDiagnostics::lineOf(std::size_t at) {
    const std::size_t end = std::min(at, input.size());
    const auto lineFeeds = [this](std::size_t from, std::size_t to) {
        return static_cast<std::size_t>(std::count(input.begin() + static_cast<std::ptrdiff_t>(from),
                                                   input.begin() + static_cast<std::ptrdiff_t>(to), '\n'));
    };
    if (end < linesCountedTo) {
        linesBefore -= lineFeeds(end, linesCountedTo);  // a text run's warning follows the notes inside it
    } else {
        linesBefore += lineFeeds(linesCountedTo, end);
    }
    linesCountedTo = end;
    return linesBefore;
}

// Every diagnostic as the log and the error's message show it, one line each.
std::string ReadDiagnostics::text() const {
    std::string all;
    for (const Diagnostic& diagnostic : list) {
        all += diagnostic.kind == Diagnostic::Warning ? "Warning at line " : "Error at line ";
        all += std::to_string(diagnostic.line);
        all += ": ";
        all += diagnostic.text;
        all += '\n';
    }
    return all;
}

}  // namespace rkxml_detail
