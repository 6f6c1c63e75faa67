#include <string>

#include "stream/DiagnosticLog.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using rkxml_detail::logFileName;
using rkxml_detail::writeLog;
using DiagnosticLog = ScratchTest;

TEST_F(DiagnosticLog, EachMessageReplacesTheWholeLog) {
    const std::string document = path("data.xml");
    EXPECT_EQ(logFileName(document), document + ".log");
    writeLog(document, "");
    EXPECT_FALSE(fs::exists(document + ".log"));
    writeLog(document, "first message\nwith two lines");
    writeLog(document, "");  // an empty message leaves the log alone
    EXPECT_EQ(readFile(document + ".log"), "first message\nwith two lines");
    writeLog(document, "second\r\n");
    EXPECT_EQ(readFile(document + ".log"), "second\r\n");
    // A new log is private to the user: diagnostics quote the document's content.
    EXPECT_EQ(fs::status(document + ".log").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(DiagnosticLog, UnwritableLogIsSilent) {
    EXPECT_NO_THROW(writeLog(path("missing/doc.xml"), "message"));
    EXPECT_FALSE(fs::exists(path("missing")));
    fs::create_directory(path("taken.xml.log"));
    EXPECT_NO_THROW(writeLog(path("taken.xml"), "message"));
}

TEST_F(DiagnosticLog, UnnamedDocumentLogsUnderTmpInAnyCasing) {
    EnvGuard guard{"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP", "TMPDIR"};
    for (const char* casing : {"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP"}) unsetenv(casing);
    setenv("TMPDIR", scratch.str().c_str(), 1);
    EXPECT_EQ(logFileName(""), path("rkXMLFactory.log"));
    setenv("tMp", path("a-").c_str(), 1);
    EXPECT_EQ(logFileName(""), path("a-rkXMLFactory.log"));
    setenv("TMP", path("b/").c_str(), 1);
    EXPECT_EQ(logFileName(""), path("b/rkXMLFactory.log"));
    setenv("Tmp", path("c").c_str(), 1);  // no separator is added
    EXPECT_EQ(logFileName(""), path("crkXMLFactory.log"));
    writeLog("", "unnamed");
    EXPECT_EQ(readFile(path("crkXMLFactory.log")), "unnamed");
}
