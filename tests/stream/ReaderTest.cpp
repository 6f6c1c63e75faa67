#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#endif

#include <string>

#include "stream/DiagnosticLog.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using Reader = DocumentInScratch;
using FileReader = DocumentInScratch;
using DiagnosticLog = DocumentInScratch;
using rkxml_detail::logFileName;
using rkxml_detail::writeLog;

// Each row: a text, and the tree it reads into as describe() pictures it.
TEST_F(Reader, ReadsEachRule) {
    stream.addSymbol("&sp;", " ");
    stream.addOpenTag("Hr");
    const std::string longTag(70, 'L');  // beyond the lengths that the open-tag lookup keeps in a table
    stream.addOpenTag(longTag);
    const TableRow<std::string> rows[] = {
        {"a settings file",
         "<?xml version=\"1.0\"?>\n<!-- settings -->\n<config mode=\"fast\">\n<name>Demo &amp; test</name>\n<br>\n"
         "<empty/>\n</config>",
         "?root?(<?xml version=\"1.0\" ?>,<!-- settings -->,config[mode=fast](name'Demo & test',br,empty))"},
        {"an empty text adds nothing", "", "?root?"},
        {"text before the first tag is the hidden root's value", "lead<a/>", "?root?'lead'(a)"},
        {"text after the last tag is ignored", "<a/>tail", "?root?(a)"},
        {"text after a child replaces the value before it", "<a>x<b/>y</a>", "?root?(a'y'(b))"},
        {"a blank piece leaves the value", "<p>two<!--c--> \n\t </p>", "?root?(p'two'(<!--c-->))"},
        {"blanks, tabs and line feeds are trimmed", "<t> \t\n x  y \n\t</t>", "?root?(t'x  y')"},
        {"a carriage return is not trimmed", "<t>x\r\n</t>", "?root?(t'x\r')"},
        {"entities are decoded", "<e>&lt;b&gt; &#228;</e>", "?root?(e'<b> \xE4')"},
        {"entities are decoded once", "<e>&amp;lt;</e>", "?root?(e'&lt;')"},
        {"entities are decoded before trimming", "<e>&sp;x&sp;</e>", "?root?(e'x')"},
        {"attribute values stay as written", "<g x=\"&lt;\"/>", "?root?(g[x=&lt;])"},
        {"blanks around names and attributes are skipped", "< a\n b =\"1\"c=\"\"\td=\"x>y\" ></a>",
         "?root?(a[b=1,c=,d=x>y])"},
        {"an attribute given twice keeps its last value", "<a b=\"1\" b=\"2\"/>", "?root?(a[b=2])"},
        {"an attribute name runs on to the next =\"", "<a b><c d=\"1\"/>", "?root?(a[b><c d=1])"},
        {"end tags are trimmed", "<i><j></ j\n></\ti \t>", "?root?(i(j))"},
        {"a name ending in / closes at once", "<a/><b/ x=\"1\"><c>", "?root?(a,b[x=1],c)"},
        {"after a blank, < /z/ is a start tag", "< /z/ >", "?root?(/z)"},
        {"elements need not be closed", "<a><b>", "?root?(a(b))"},
        {"</?root?> closes nothing", "<a/></?root?><b/>", "?root?(a,b)"},
        {"the first declaration goes to the top level", "<a><?xml version=\"1.1\" encoding=\"utf-8\"?></a>",
         "?root?(a,<?xml version=\"1.1\" encoding=\"utf-8\" ?>)"},
        {"later declarations are skipped", "<?xml version=\"1.1\"?><?xml?>", "?root?(<?xml version=\"1.1\" ?>)"},
        {"a comment keeps its blanks", "<!-- a <b> -- c -->", "?root?(<!-- a <b> -- c -->)"},
        {"<![CDATA[ starts an element", "<![CDATA[x]]>", "?root?(![CDATA[x]])"},
        {"an open tag closes after its start tag", "<a><br>x</a>", "?root?(a'x'(br))"},
        {"open tags match in any ASCII case", "<a><BR><hR a=\"1\"></a>", "?root?(a(BR,hR[a=1]))"},
        {"an open tag closed by /> closes once", "<a><br/><br /></a>", "?root?(a(br,br))"},
        {"a long open tag", "<a><" + longTag + ">x</a>", "?root?(a'x'(" + longTag + "))"},
    };
    for (const auto& [name, text, tree] : rows) EXPECT_EQ(parsed(text), tree) << name;
    EXPECT_FALSE(fs::exists(target + ".log"));
    stream.clearSymbols();  // nothing is decoded, no open tags
    EXPECT_EQ(parsed("<br>&lt;</br>"), "?root?(br'&lt;')");
}

TEST_F(Reader, Utf8ModeDecodesReferencesAndAttributeValues) {
    stream.addOpenTag("Hr");
    stream.utf8Symbols();
    const TableRow<std::string> rows[] = {
        {"references", "<a>&#233;&#xE9;&lt;</a>", "?root?(a'\xC3\xA9\xC3\xA9<')"},
        {"attribute values", "<a v=\"&#233; &amp;\"/>", "?root?(a[v=\xC3\xA9 &])"},
        {"trimmed after decoding", "<a>&#32;x&#9;&#32;</a>", "?root?(a'x')"},
        {"the open tags stay", "<a><HR>x</a>", "?root?(a'x'(HR))"},
    };
    for (const auto& [name, text, tree] : rows) EXPECT_EQ(parsed(text), tree) << name;
}

TEST_F(Reader, AppendsToWhatTheDocumentHolds) {
    stream.readDocumentFromString(document, "<a/>");
    stream.readDocumentFromString(document, std::string("<b/>"));
    EXPECT_EQ(describe(document.getRoot()), "?root?(a,b)");
}

TEST_F(Reader, ErrorsEmptyTheDocumentAndReportTheirLine) {
    const std::pair<std::string, std::string> rows[] = {
        {"<a>\n<", "Error at line 1: Tag started buf EOF found.\n"},
        {"x\n<!-- a\n",
         "Warning at line 0: Text outside every element is ignored.\nError at line 1: Comment tag unclosed.\n"},
        {"\n\n<?xml ", "Error at line 2: Tag <? unclosed.\n"},
        {"<a>\n</a", "Error at line 1: Tag unclosed.\n"},
        {"<a>\n</b>", "Error at line 1: Closing tag differs from open tag.\n"},
        {"\r\n</a>", "Error at line 1: Closing tag differs from open tag.\n"},
        {"<a><br>x</br>", "Error at line 0: Closing tag differs from open tag.\n"},
        {"<a>< \n", "Error at line 1: Unspected EOF.\n"},
        {"\n<abc", "Error at line 1: Unspected EOF.\n"},
        {"<a x=\"1\"\n\n", "Error at line 2: Unspected EOF.\n"},
        {"<a\nb= \"1\">", "Error at line 1: Unspected value form.\n"},
        {"<a\n b=\"", "Error at line 1: Unspected EOF.\n"},
        {"<a\nb=\"\nx", "Error at line 1: Unspected value form.\n"},
        {"\n< >", "Error at line 1: Empty tag name.\n"},
        {"<>", "Error at line 0: Empty tag name.\n"}};
    for (const auto& [text, message] : rows) {
        SCOPED_TRACE(text);
        stream.readDocumentFromString(document, "<keep/>");
        EXPECT_EQ(errorOf([&] { stream.readDocumentFromString(document, text); }), message);
        EXPECT_EQ(readFile(target + ".log"), message);
        EXPECT_EQ(describe(document.getRoot()), "?root?");
        EXPECT_EQ(document.getRoot()->getParent(), document.getRoot());  // a fresh hidden root
        EXPECT_EQ(document.getFileName(), target);
    }
}

TEST_F(FileReader, EmptyFilesAddNothingAndFailuresAreNotLogged) {
    addElement(document.getRoot(), "keep");
    writeFile(target, "");
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "(no exception)");
    fs::create_directory(path("folder.xml"));
    for (const std::string& name : {path("missing.xml"), path("folder.xml")}) {
        document.setFileName(name);
        EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Opening file: " + name + "failed.");
    }
    document.setFileName("");
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Invalid/empty filename.");
    EXPECT_EQ(describe(document.getRoot()), "?root?(keep)");
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"doc.xml", "folder.xml"}));  // no log
}

TEST_F(FileReader, BytesReachTheReaderAsTheyAre) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows reads files in text mode (WindowsLineEndTest.cpp)";
#endif
    writeFile(target, std::string("<?xml version=\"1.0\"?>\r\n<a>x\r\n</a>\r\n\0<b/>", 40));
    stream.readDocument(document);
    EXPECT_EQ(describe(document.getRoot()), std::string("?root?'\r\n\0'", 11) + "(<?xml version=\"1.0\" ?>,a'x\r',b)");
}

TEST_F(FileReader, PipesAreReadToTheirEndDevicesUpToTheirSize) {
#ifdef _WIN32
    GTEST_SKIP() << "needs FIFOs and /dev/zero (Windows reads NUL in tests/platform/WindowsPlatformTest.cpp)";
#else
    // A device without end has no size: nothing is read, rather than everything until memory runs out.
    const int status = runInChild([&] {
        const rlimit limit{1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &limit);
        document.setFileName("/dev/zero");
        stream.readDocument(document);
        return document.getTopLevelElement() == nullptr ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    const std::string pipe = path("pipe.xml");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // A FIFO without a writer reads as empty: this one's writer is there before the read, and goes once it was read.
    const int writeEnd = ::open(pipe.c_str(), O_RDWR);
    ASSERT_EQ(write(writeEnd, "<from-a-pipe/>", 14), 14);
    std::thread writer([&] {
        for (int queued = 1; ioctl(writeEnd, FIONREAD, &queued) == 0 && queued > 0;) usleep(1000);
        close(writeEnd);
    });
    document.setFileName(pipe);
    stream.readDocument(document);
    writer.join();
    EXPECT_EQ(describe(document.getRoot()), "?root?(from-a-pipe)");
#endif
}

TEST_F(DiagnosticLog, EachMessageReplacesTheWholeLog) {
    writeLog(target, "");
    EXPECT_FALSE(fs::exists(target + ".log"));
    writeLog(target, "first message\nwith two lines");
    writeLog(target, "");  // an empty message leaves the log alone
    EXPECT_EQ(readFile(target + ".log"), "first message\nwith two lines");
    writeLog(target, "second\r\n");
    EXPECT_EQ(readFile(target + ".log"), "second\r\n");
#ifndef _WIN32  // private, as diagnostics quote the document (Windows: its access list, in the platform tests)
    EXPECT_EQ(fs::status(target + ".log").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
#endif
}

TEST_F(DiagnosticLog, UnnamedDocumentLogsUnderTmpInAnyCasing) {
    const char* const casings[] = {"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP"};
    EnvGuard guard{"tmp", "tmP", "tMp", "tMP", "Tmp", "TmP", "TMp", "TMP", temporaryDirectoryVariable};
    for (const char* casing : casings) setEnvironment(casing, {});
    setEnvironment(temporaryDirectoryVariable, scratch.str());
    // The system's temporary directory ends in the system's own separator.
    EXPECT_EQ(logFileName(""), scratch.str() + static_cast<char>(fs::path::preferred_separator) + "rkXMLFactory.log");
    // No separator is added to a variable's value.
    for (const auto& [casing, prefix] : {std::pair{"tMp", "a-"}, std::pair{"TMP", "b/"}, std::pair{"Tmp", "c"}}) {
        SCOPED_TRACE(casing);
        setEnvironment(casing, path(prefix));
        EXPECT_EQ(logFileName(""), path(prefix) + "rkXMLFactory.log");
    }
    writeLog("", "unnamed");
    EXPECT_EQ(readFile(path("crkXMLFactory.log")), "unnamed");
}
