#include <string>

#include "stream/DiagnosticLog.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using rkxml_detail::logFileName;
using rkxml_detail::writeLog;
using DiagnosticLog = ScratchTest;

TEST_F(DiagnosticLog, EachMessageReplacesTheWholeLog) {
    const std::string document = path("data.xml");
    writeLog(document, "");
    EXPECT_FALSE(fs::exists(document + ".log"));
    writeLog(document, "first message\nwith two lines");
    writeLog(document, "");  // an empty message leaves the log alone
    EXPECT_EQ(readFile(document + ".log"), "first message\nwith two lines");
    writeLog(document, "second\r\n");
    EXPECT_EQ(readFile(document + ".log"), "second\r\n");
#ifndef _WIN32  // private, as diagnostics quote the document (Windows: its access list, in the platform tests)
    EXPECT_EQ(fs::status(document + ".log").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
#endif
}

TEST_F(DiagnosticLog, UnnamedDocumentLogsUnderTmpInAnyCasing) {
    EnvGuard guard{"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP", temporaryDirectoryVariable};
    for (const char* casing : {"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP"}) setEnvironment(casing, {});
    setEnvironment(temporaryDirectoryVariable, scratch.str());
    // The system's temporary directory ends in the system's own separator.
    EXPECT_EQ(logFileName(""), scratch.str() + static_cast<char>(fs::path::preferred_separator) + "rkXMLFactory.log");
    setEnvironment("tMp", path("a-"));
    EXPECT_EQ(logFileName(""), path("a-rkXMLFactory.log"));
    setEnvironment("TMP", path("b/"));
    EXPECT_EQ(logFileName(""), path("b/rkXMLFactory.log"));
    setEnvironment("Tmp", path("c"));  // no separator is added
    EXPECT_EQ(logFileName(""), path("crkXMLFactory.log"));
    writeLog("", "unnamed");
    EXPECT_EQ(readFile(path("crkXMLFactory.log")), "unnamed");
}
