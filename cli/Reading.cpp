#include "Reading.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <rkXMLHeader.h>

#include "LongName.h"
#include "Messages.h"

namespace rkxml_cli {
namespace {

using Diagnostic = rkXMLFStream::Diagnostic;
using rkXMLText::Charset;

// Whether the file holds more than `limit` bytes; a pipe's size is not known.
bool isLargerThan(const std::filesystem::path& fileName, std::uint64_t limit) {
    std::error_code code;
    const std::uintmax_t size = std::filesystem::file_size(fileName, code);
    return !code && size > limit;
}

// The bytes of the regular file `fileName`, up to the size it has when opened, read after the
// library's read to compare them with what would be written; nullopt, after saying why, for
// anything but a regular file, a file of more than `limit` bytes or a file that cannot be read.
std::optional<std::string> bytesOf(const std::string& fileName, std::uint64_t limit) {
    std::error_code code;
    const Beside beside(fileName);
    // Checked before opening: opening a FIFO would wait for a writer.
    if (!std::filesystem::is_regular_file(beside.name(), code)) {
        complain(shown(fileName) + ": not a regular file; rkxml writes back regular files only");
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(beside.name(), code);
    std::ifstream file(beside.name(), std::ios::binary);
    std::string bytes;
    if (!code && file && size <= limit) {
        bytes.resize(static_cast<std::size_t>(size));
        file.read(bytes.data(), static_cast<std::streamsize>(size));
        bytes.resize(static_cast<std::size_t>(file.gcount()));  // a file that shrank meanwhile
    }
    if (size > limit) code = std::make_error_code(std::errc::file_too_large);  // grown since it was read
    if (code || !file.is_open() || file.bad()) {
        complain(shown(fileName) + ": cannot be read again to compare it");
        return std::nullopt;
    }
    return bytes;
}

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

ReadResult readFile(rkXMLFStream& stream, rkXMLDocument& document, bool missingAllowed) {
    const std::string& fileName = document.getFileName();
    try {
        stream.readDocument(document);
        return ReadResult::Read;
    } catch (const std::runtime_error&) {
        printDiagnostics(stream, fileName);
        if (!stream.getDiagnostics().empty()) return ReadResult::Failed;
        // The file errors concern no line: their reason, as the system tells it where it can.
        std::error_code code;
        const Beside beside(fileName);
        const std::filesystem::file_status status = std::filesystem::status(beside.name(), code);
        if (status.type() == std::filesystem::file_type::not_found) {
            if (missingAllowed) return ReadResult::Missing;
            complain(shown(fileName) + ": No such file or directory");
        } else if (status.type() == std::filesystem::file_type::directory) {
            complain(shown(fileName) + ": Is a directory");
        } else if (isLargerThan(beside.name(), stream.getReadLimit())) {
            complain(shown(fileName) + ": refused: larger than the bound of " + std::to_string(stream.getReadLimit()) +
                     " bytes (--max-size raises it)");
        } else {
            complain(shown(fileName) + ": cannot be read (no permission, a read error, or too large for the memory)");
        }
        return ReadResult::Failed;
    }
}

void printDiagnostics(const rkXMLFStream& stream, const std::string& fileName) {
    for (const rkXMLFStream::Diagnostic& diagnostic : stream.getDiagnostics()) {
        std::cerr << diagnostic.format(fileName) << '\n';
    }
}

bool readForRewrite(Original& original, bool forSet) {
    // One read serves both: the positions of a splice stand in the bytes read below, which a change to the file
    // in between would show in the splice's proof and in the save's check.
    original.stream.setPositionsRecorded(forSet);
    switch (readFile(original.stream, original.document, forSet)) {
        case ReadResult::Failed: return false;
        case ReadResult::Missing: return true;
        case ReadResult::Read: break;
    }
    original.exists = true;
    std::optional<std::string> bytes = bytesOf(original.fileName, original.stream.getReadLimit());
    if (!bytes) return false;
    original.bytes = std::move(*bytes);
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
