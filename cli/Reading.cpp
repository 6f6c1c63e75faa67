#include "Reading.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <system_error>

#include "LongName.h"
#include "Messages.h"

namespace rkxml_cli {
namespace {

// Whether the file holds more than `limit` bytes; a pipe's size is not known.
bool isLargerThan(const std::filesystem::path& fileName, std::uint64_t limit) {
    std::error_code code;
    const std::uintmax_t size = std::filesystem::file_size(fileName, code);
    return !code && size > limit;
}

}  // namespace

rkXMLFStream streamFor(Mode mode) {
    rkXMLFStream stream;
    if (mode == Mode::Utf8) stream.foreignXml();
    stream.setLogEnabled(false);
    return stream;
}

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

}  // namespace rkxml_cli
