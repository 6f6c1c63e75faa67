#include "stream/DiagnosticLog.h"

#include "platform/Platform.h"

namespace rkxml_detail {

std::string logFileName(const std::string& documentFileName) {
    // The file name and the variable's spelling are kept on purpose: callers' setups set Tmp and look for this file.
    const char* const defaultLogName = "rkXMLFactory.log";
    if (!documentFileName.empty()) return documentFileName + ".log";
    if (auto prefix = platform::environmentVariable("Tmp")) return *prefix + defaultLogName;
    return platform::temporaryDirectory() + defaultLogName;
}

void writeLog(const std::string& documentFileName, const std::string& message) {
    if (message.empty()) return;
    platform::writeLogFile(logFileName(documentFileName), message);
}

}  // namespace rkxml_detail
