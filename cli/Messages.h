// How rkxml speaks: messages on stderr after the program's name, a file's
// diagnostics as editors and compilers show them, "file:LINE: label: text" with
// lines counted from 1, and the reasons to leave a file as it is.
#ifndef RKXML_CLI_MESSAGES_H
#define RKXML_CLI_MESSAGES_H

#include <cstddef>
#include <string>
#include <vector>

#include <rkXMLFStream.h>
#include <rkXMLText.h>

namespace rkxml_cli {

// `name` with its control characters as \xHH, so that a name cannot forge lines of output: as the
// library shows names in its messages.
using rkXMLText::shown;

// Prints "rkxml: " and `message` on stderr; false, for callers to pass on.
bool complain(const std::string& message);

// Prints "FILE:LINE: label: text" on stderr, `line` counted from 0 as the library counts.
void printAtLine(const std::string& fileName, std::size_t line, const char* label, const std::string& text);

// The line (from 0) of the byte at `offset` of `bytes`.
std::size_t lineAt(const std::string& bytes, std::size_t offset);

// The set's usual name, for messages.
const char* nameOf(rkXMLText::Charset charset);

// Why a file that declares `encoding`, a set of Charset::Other, is not read or written.
std::string notConverted(const std::string& encoding);

// Whether a splice keeps what the reader warned about: text that an element's later text replaced stays in the
// file as written (the element that set writes is checked for it by the splice itself).
bool keptBySplice(const rkXMLFStream::Diagnostic& diagnostic);

// Why a file is left as it is, each reason at its line, printed together in line order.
class Refusals {
public:
    explicit Refusals(const std::string& fileName) : fileName(fileName) {}

    void add(std::size_t line, std::string text);
    void add(const std::vector<rkXMLFStream::Diagnostic>& diagnostics);
    bool empty() const { return reasons.empty(); }

    // Prints the first reasons as "FILE:LINE: refused: text"; false, for callers to pass on.
    bool print();

private:
    static constexpr std::size_t shownAtMost = 10;
    const std::string& fileName;
    std::vector<rkXMLFStream::Diagnostic> reasons;
};

}  // namespace rkxml_cli

#endif
