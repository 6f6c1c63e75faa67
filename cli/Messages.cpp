#include "Messages.h"

#include <algorithm>
#include <iostream>
#include <utility>

namespace rkxml_cli {

using Diagnostic = rkXMLFStream::Diagnostic;

bool complain(const std::string& message) {
    std::cerr << "rkxml: " << message << '\n';
    return false;
}

void printAtLine(const std::string& fileName, std::size_t line, const char* label, const std::string& text) {
    std::cerr << shown(fileName) << ':' << line + 1 << ": " << label << ": " << text << '\n';
}

std::size_t lineAt(const std::string& bytes, std::size_t offset) {
    const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes.size()));
    return static_cast<std::size_t>(std::count(bytes.begin(), end, '\n'));
}

const char* nameOf(rkXMLText::Charset charset) {
    using rkXMLText::Charset;
    switch (charset) {
        case Charset::Utf8: return "UTF-8";
        case Charset::Ascii: return "US-ASCII";
        case Charset::Latin1: return "ISO-8859-1";
        case Charset::Windows1252: return "Windows-1252";
        case Charset::Other: break;
    }
    return "another character set";
}

std::string notConverted(const std::string& encoding) {
    return "encoding '" + shown(encoding) +
           "' is declared; rkxml converts only UTF-8, US-ASCII, ISO-8859-1 and Windows-1252";
}

bool keptBySplice(const Diagnostic& diagnostic) {
    const std::string replaced = "is replaced by a later text; only the last one is kept.";
    const std::string& text = diagnostic.text;
    return text.size() >= replaced.size() &&
           text.compare(text.size() - replaced.size(), replaced.size(), replaced) == 0;
}

void Refusals::add(std::size_t line, std::string text) {
    reasons.push_back({Diagnostic::Warning, line, std::move(text)});
}

void Refusals::add(const std::vector<Diagnostic>& diagnostics) {
    reasons.insert(reasons.end(), diagnostics.begin(), diagnostics.end());
}

bool Refusals::print() {
    std::stable_sort(reasons.begin(), reasons.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    const std::size_t shownCount = std::min(reasons.size(), shownAtMost);
    for (std::size_t i = 0; i < shownCount; ++i) printAtLine(fileName, reasons[i].line, "refused", reasons[i].text);
    if (reasons.size() > shownCount) {
        complain(shown(fileName) + ": " + std::to_string(reasons.size() - shownCount) + " more reasons not shown");
    }
    return false;
}

}  // namespace rkxml_cli
