// The diagnostic log: the reader's and the writer's messages, kept beside the
// document's file.
#ifndef RKXML_STREAM_DIAGNOSTIC_LOG_H
#define RKXML_STREAM_DIAGNOSTIC_LOG_H

#include <string>

namespace rkxml_detail {

// The log file for a document: its file name with ".log" appended, or for an unnamed
// document the value of the variable Tmp (any casing) followed by "rkXMLFactory.log",
// or else rkXMLFactory.log in the system's temporary directory.
std::string logFileName(const std::string& documentFileName);

// Replaces the log file for `documentFileName` by `message`; an empty message changes
// nothing. Silent on every failure: the caller throws its own error after it.
void writeLog(const std::string& documentFileName, const std::string& message);

}  // namespace rkxml_detail

#endif
