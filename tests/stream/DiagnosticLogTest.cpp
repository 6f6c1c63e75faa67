#include <string>

#include "stream/DiagnosticLog.h"
#include "tests/stream/StreamTestSupport.h"

using rkxml_detail::logFileName;
using DiagnosticLog = StreamTest;

TEST_F(DiagnosticLog, EachMessageReplacesTheWholeLog) {
    const std::string doc = path("data.xml");
    EXPECT_EQ(logFileName(doc), doc + ".log");
    EXPECT_EQ(logFileName("out"), "out.log");
    rkxml_detail::writeLog(doc, "");
    EXPECT_FALSE(fs::exists(doc + ".log"));
    rkxml_detail::writeLog(doc, "first message\nwith two lines");
    rkxml_detail::writeLog(doc, "");  // an empty message leaves the log alone
    EXPECT_EQ(readFile(doc + ".log"), "first message\nwith two lines");
    rkxml_detail::writeLog(doc, "second\r\n");
    EXPECT_EQ(readFile(doc + ".log"), "second\r\n");
}

TEST_F(DiagnosticLog, UnwritableLogIsSilent) {
    EXPECT_NO_THROW(rkxml_detail::writeLog(path("missing/doc.xml"), "message"));
    EXPECT_FALSE(fs::exists(path("missing")));
    fs::create_directory(path("taken.xml.log"));
    EXPECT_NO_THROW(rkxml_detail::writeLog(path("taken.xml"), "message"));
}

TEST_F(DiagnosticLog, UnnamedDocumentLogsUnderTmpInAnyCasing) {
    EnvGuard guard{"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP", temporaryDirectoryVariable};
    for (const char* casing : {"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP"}) setEnvironment(casing, std::nullopt);
    setEnvironment(temporaryDirectoryVariable, dir.string());
    EXPECT_EQ(logFileName(""), (dir / "rkXMLFactory.log").string());
    setEnvironment("tMp", path("a-"));
    EXPECT_EQ(logFileName(""), path("a-rkXMLFactory.log"));
    setEnvironment("TMP", path("b") + "/");
    EXPECT_EQ(logFileName(""), path("b/rkXMLFactory.log"));
    setEnvironment("Tmp", path("c"));  // no separator is added
    EXPECT_EQ(logFileName(""), path("crkXMLFactory.log"));
    rkxml_detail::writeLog("", "unnamed");
    EXPECT_EQ(readFile(path("crkXMLFactory.log")), "unnamed");
}
