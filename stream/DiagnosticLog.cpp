#include "stream/DiagnosticLog.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "rkXMLFStream.h"

extern char** environ;

namespace rkxml_detail {
namespace {

const char* const defaultLogName = "rkXMLFactory.log";

bool equalsIgnoringCase(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The value of the variable named Tmp in any casing: Tmp first, then TMP, then the first other.
const char* tmpVariable() {
    for (const char* exact : {"Tmp", "TMP"}) {
        if (const char* value = std::getenv(exact)) return value;
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (equalsIgnoringCase(*entry, "tmp=", 4)) return *entry + 4;
    }
    return nullptr;
}

}  // namespace

std::string logFileName(const std::string& documentFileName) {
    if (!documentFileName.empty()) return documentFileName + ".log";
    if (const char* prefix = tmpVariable()) return std::string(prefix) + defaultLogName;
    std::error_code error;
    std::filesystem::path directory = std::filesystem::temp_directory_path(error);
    if (error) directory = "/tmp";
    return (directory / defaultLogName).string();
}

void toLower(std::string& text) {
    for (char& c : text) {
        if (c == '\0') break;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

}  // namespace rkxml_detail

void rkXMLFStream::writeLog(const std::string& fileName, const std::string& message) {
    if (message.empty()) return;
    // Binary mode: the message's bytes, all of them and nothing else.
    std::ofstream log(rkxml_detail::logFileName(fileName), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!log) return;
    log.write(message.data(), static_cast<std::streamsize>(message.size()));
}
