// The diagnostic log and the lower-casing of tag names.
#ifndef RKXML_STREAM_DIAGNOSTIC_LOG_H
#define RKXML_STREAM_DIAGNOSTIC_LOG_H

#include <string>

namespace rkxml_detail {

// The log file for a document: its file name with ".log" appended, or for an unnamed
// document the value of the variable Tmp (any casing) followed by "rkXMLFactory.log",
// or else rkXMLFactory.log in the system's temporary directory.
std::string logFileName(const std::string& documentFileName);

// Lower-cases the ASCII letters A-Z up to the first zero byte, whatever the host's locale.
void toLower(std::string& text);

}  // namespace rkxml_detail

#endif
