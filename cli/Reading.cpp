#include "Reading.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <stdexcept>

#include <rkXMLHeader.h>

#include "Messages.h"

namespace rkxml_cli {
namespace {

using Diagnostic = rkXMLFStream::Diagnostic;
using rkXMLText::Charset;

// The line of the XML declaration, where messages about the character set point.
std::size_t declarationLine(const std::string& bytes) {
    const std::size_t at = bytes.find("<?xml");
    return at == std::string::npos ? 0 : lineAt(bytes, at);
}

// Reads the file in UTF-8 mode, as other XML programs read it, for the 8-bit mode's proof; every
// error, warning and save loss is a reason to refuse.
void readAsXml(Original& original, Refusals& refusals) {
    rkXMLFStream foreign = streamFor(Mode::Utf8);
    try {
        foreign.readDocumentFromString(original.asXml, original.bytes);
    } catch (const std::runtime_error&) {
        // Read by the library's 8-bit mode, but not as XML: the error says where.
    }
    for (const Diagnostic& diagnostic : foreign.getDiagnostics()) {
        refusals.add(diagnostic.line,
                     diagnostic.kind == Diagnostic::Error ? "not XML: " + diagnostic.text : diagnostic.text);
    }
    refusals.add(foreign.getSaveLosses());
}

std::string shownByte(char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned char>(byte));
    return text;
}

// The declared character set must be one that rkxml converts, and the bytes of UTF-8 must be UTF-8.
void checkCharset(Original& original, Refusals& refusals) {
    const rkXMLHeader* header = original.document.getHeader();
    const std::string declared = header == nullptr ? std::string() : header->getEncodingType();
    original.charset = rkXMLText::charsetNamed(declared);
    if (original.charset == Charset::Other) {
        refusals.add(declarationLine(original.bytes), notConverted(declared));
    } else if (original.charset == Charset::Ascii) {
        const auto high = std::find_if(original.bytes.begin(), original.bytes.end(),
                                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (high != original.bytes.end()) {
            const auto at = static_cast<std::size_t>(high - original.bytes.begin());
            refusals.add(lineAt(original.bytes, at), "byte " + shownByte(*high) + " is not US-ASCII, as declared");
        }
    } else if (original.charset == Charset::Utf8) {
        if (const std::optional<std::size_t> at = rkXMLText::firstNonUtf8(original.bytes)) {
            const std::string why = !declared.empty()
                                        ? ", as declared"
                                        : " (no encoding is declared); a file of the library's 8-bit mode needs --8bit";
            refusals.add(lineAt(original.bytes, *at),
                         "byte " + shownByte(original.bytes[*at]) + " is not part of a UTF-8 character" + why);
        }
    }
}

}  // namespace

ReadResult readFile(rkXMLFStream& stream, rkXMLDocument& document, std::string& text, bool missingAllowed) {
    const std::string& fileName = document.getFileName();
    try {
        stream.readTextFromFile(fileName, text);
        if (!text.empty()) stream.readDocumentFromString(document, text);  // an empty file adds nothing
        return ReadResult::Read;
    } catch (const std::runtime_error&) {
        printDiagnostics(stream, fileName);
        if (!stream.getDiagnostics().empty()) return ReadResult::Failed;
    } catch (const std::bad_alloc&) {
        // Too large for the memory, as the library's own read says.
    }
    // The file errors concern no line: their reason.
    switch (stream.getFileFound()) {
        case rkXMLFStream::FileFound::Missing:
            if (missingAllowed) return ReadResult::Missing;
            complain(shown(fileName) + ": No such file or directory");
            break;
        case rkXMLFStream::FileFound::Directory: complain(shown(fileName) + ": Is a directory"); break;
        case rkXMLFStream::FileFound::TooLarge:
            complain(shown(fileName) + ": refused: larger than the bound of " + std::to_string(stream.getReadLimit()) +
                     " bytes (--max-size raises it)");
            break;
        default:
            complain(shown(fileName) + ": cannot be read (no permission, a read error, or too large for the memory)");
    }
    return ReadResult::Failed;
}

void printDiagnostics(const rkXMLFStream& stream, const std::string& fileName) {
    for (const rkXMLFStream::Diagnostic& diagnostic : stream.getDiagnostics()) {
        std::cerr << diagnostic.format(fileName) << '\n';
    }
}

bool readForRewrite(Original& original, bool forSet) {
    // The positions of a splice stand in the bytes read, which the save checks the file still holds.
    original.stream.setPositionsRecorded(forSet);
    switch (readFile(original.stream, original.document, original.bytes, forSet)) {
        case ReadResult::Failed: return false;
        case ReadResult::Missing: return true;
        case ReadResult::Read: break;
    }
    if (original.stream.getFileFound() != rkXMLFStream::FileFound::RegularFile) {
        return complain(shown(original.fileName) + ": not a regular file; rkxml writes back regular files only");
    }
    original.exists = true;
    original.splices = forSet && original.document.getTopLevelElement() != nullptr;
    Refusals refusals(original.fileName);
    for (const Diagnostic& diagnostic : original.stream.getDiagnostics()) {
        if (!original.splices || !keptBySplice(diagnostic)) refusals.add(diagnostic.line, diagnostic.text);
    }
    // A splice keeps what a save would lose, but the positions of a read from UTF-16 are in its UTF-8 text, not in
    // the file: such a file is refused by its save loss.
    const bool fromUtf16 = original.stream.getTextForm() != rkXMLFStream::TextForm::Bytes;
    if (!original.splices || fromUtf16) refusals.add(original.stream.getSaveLosses());
    if (original.mode == Mode::Utf8) {
        if (!fromUtf16) checkCharset(original, refusals);
    } else if (!original.splices) {
        readAsXml(original, refusals);
    }
    return refusals.empty() || refusals.print();
}

}  // namespace rkxml_cli
