#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#endif

#include <string>
#include <thread>
#include <utility>

#include "stream/DiagnosticLog.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using DiagnosticLog = ScratchTest;
using rkxml_detail::logFileName;
using rkxml_detail::writeLog;

struct Parser : ScratchTest {
    Parser() { document.setFileName(path("doc.xml")); }
    std::string parsed(const std::string& text) {
        rkXMLDocument fresh;
        stream.readDocumentFromString(fresh, text);
        return describe(fresh.getRoot());
    }
    rkXMLFStream stream;
    rkXMLDocument document;
};
using FileReader = Parser;

TEST_F(Parser, ReadsEveryConstruct) {
    const std::string text =
        "<?xml version=\"1.0\"?>\n<!-- settings -->\n<config mode=\"fast\">\n<name>Demo &amp; test</name>\n<br>\n"
        "<empty/>\n</config>";
    stream.readDocumentFromString(document, text);  // a constant text reads as well
    EXPECT_EQ(describe(document.getRoot()),
              "?root?(<?xml version=\"1.0\" ?>,<!-- settings -->,config[mode=fast](name'Demo & test',br,empty))");
    EXPECT_FALSE(fs::exists(path("doc.xml.log")));
}

TEST_F(Parser, TextValues) {
    stream.addSymbol("&sp;", " ");
    // The last non-blank segment wins, a carriage return is not trimmed, entities are decoded once and
    // before trimming, attribute values stay as written, trailing text is ignored.
    EXPECT_EQ(parsed("lead<a><b>x</b>y</a><p>one<b/>two<!--c--> \n\t </p><t> \t x  y\r\n</t>"
                     "<e>&amp;lt;&sp;</e><f>&sp;&lt;b&gt;&sp;</f><g x=\"&lt;\"/>tail"),
              "?root?'lead'(a'y'(b'x'),p'two'(b,<!--c-->),t'x  y\r',e'&lt;',f'<b>',g[x=&lt;])");
}

TEST_F(Parser, TagsAttributesAndDeclarations) {
    // The first declaration goes to the top level, the second is skipped; end tags are trimmed of
    // blanks, tabs and line feeds; "<![CDATA[" starts an element that is never closed.
    EXPECT_EQ(
        parsed("< a\n b =\"1\"c=\"\"\td=\"x>y\" ><!-- n --><?xml version=\"1.1\" encoding=\"utf-8\"?>"
               "< /z/ ><a b=\"1\" b=\"2\"/><i><j></ j\n></\ti \t></ a\n><?xml version=\"2.0\"?><![CDATA[x]]>"),
        "?root?(a[b=1,c=,d=x>y](<!-- n -->,/z,a[b=2],i(j)),<?xml version=\"1.1\" encoding=\"utf-8\" ?>,![CDATA[x]])");
    // Without a blank before "=\"", an attribute's name runs on to the next "=\"", across the end of its tag.
    EXPECT_EQ(parsed("<a b><c d=\"1\"/>"), "?root?(a[b><c d=1])");
}

TEST_F(Parser, OpenTagsCloseAtOnce) {
    stream.addOpenTag("Hr");
    const std::string longTag(70, 'L');  // longer than the lookup's table of lengths
    stream.addOpenTag(longTag);
    EXPECT_EQ(parsed("<a><BR>one<br/><br /><BR/><hr a=\"1\"><" + longTag + ">two</a></?root?>"),
              "?root?(a'two'(BR,br,br,BR,hr[a=1]," + longTag + "))");
    stream.clearSymbols();  // no open tags any more
    EXPECT_EQ(parsed("<br>x</br>"), "?root?(br'x')");
}

TEST_F(Parser, ErrorsEmptyTheDocumentAndReportTheirLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"<a>\n<", "Error at line 1: Tag started buf EOF found.\n"},
        {"x\n<!-- a\n",
         "Warning at line 0: Text outside every element is ignored.\nError at line 1: Comment tag unclosed.\n"},
        {"\n\n<?xml ", "Error at line 2: Tag <? unclosed.\n"},
        {"<a>\n</a", "Error at line 1: Tag unclosed.\n"},
        {"<a>\n</b>", "Error at line 1: Closing tag differs from open tag.\n"},
        {"<a>< \n", "Error at line 1: Unspected EOF.\n"},
        {"\n<abc", "Error at line 1: Unspected EOF.\n"},
        {"<a x=\"1\"\n\n", "Error at line 2: Unspected EOF.\n"},
        {"<a\nb= \"1\">", "Error at line 1: Unspected value form.\n"},
        {"<a\n b=\"", "Error at line 1: Unspected EOF.\n"},
        {"<a\nb=\"\nx", "Error at line 1: Unspected value form.\n"},
        {"\n< >", "Error at line 1: Empty tag name.\n"}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.first);
        stream.readDocumentFromString(document, "<keep/>");
        EXPECT_EQ(errorOf([&] { stream.readDocumentFromString(document, item.first); }), item.second);
        EXPECT_EQ(readFile(path("doc.xml.log")), item.second);
        EXPECT_EQ(describe(document.getRoot()), "?root?");
        EXPECT_EQ(document.getFileName(), path("doc.xml"));
    }
}

// A root without parent link leaves no current element once it is closed.
TEST_F(Parser, WarningsWhenNothingHoldsTheInput) {
    const std::string ignored = ": No tag active but text found, must be at the start, ignoring.\n";
    document.getRoot()->setParent(nullptr);
    stream.readDocumentFromString(document, "</?root?>\ntail<!--c-->\n\nx<!--d\n-->");
    // Lines are counted on from one diagnostic to the next.
    EXPECT_EQ(readFile(path("doc.xml.log")), "Warning at line 1" + ignored + "Warning at line 1" + ignored +
                                                 "Warning at line 3" + ignored + "Warning at line 3" + ignored);
    EXPECT_EQ(element(document.getRoot())->getChildCount(), 0u);
    EXPECT_EQ(errorOf([&] { stream.readDocumentFromString(document, "</?root?>\nx\n<a>"); }),
              "Warning at line 2" + ignored + "Error at line 2: No tag active for start tag.\n");
    EXPECT_EQ(document.getRoot()->getParent(), document.getRoot());  // emptied: a fresh root
    document.getRoot()->setParent(nullptr);
    EXPECT_EQ(errorOf([&] { stream.readDocumentFromString(document, "</?root?></a>"); }),
              "Error at line 0: Closing tag when no tag???\n");
}

TEST_F(FileReader, FailuresAndEmptyFilesLeaveTheDocumentAlone) {
    addElement(document.getRoot(), "keep");
    for (const char* content : {"", " \r\n\t\n "}) {
        writeFile(path("doc.xml"), content);
        EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "(no exception)");
    }
    fs::create_directory(path("folder.xml"));
    for (const std::string& name : {path("missing.xml"), path("folder.xml"), std::string()}) {
        document.setFileName(name);
        EXPECT_EQ(errorOf([&] { stream.readDocument(document); }),
                  name.empty() ? "Invalid/empty filename." : "Opening file: " + name + "failed.");
    }
    EXPECT_EQ(describe(document.getRoot()), "?root?(keep)");
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"folder.xml", "doc.xml"}));  // no log
}

TEST_F(FileReader, BytesReachTheReaderAsTheyAre) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows reads files in text mode (WindowsLineEndTest.cpp)";
#endif
    writeFile(path("doc.xml"), std::string("<?xml version=\"1.0\"?>\r\n<a>x\r\n</a>\r\n\0<b/>", 40));
    stream.readDocument(document);
    stream.readDocument(document);  // appends a second time
    const std::string once = "<?xml version=\"1.0\" ?>,a'x\r',b";
    EXPECT_EQ(describe(document.getRoot()), std::string("?root?'\r\n\0'(", 12) + once + "," + once + ")");
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
    // No separator is added to a variable's value.
    for (const auto& [casing, prefix] : {std::pair{"tMp", "a-"}, std::pair{"TMP", "b/"}, std::pair{"Tmp", "c"}}) {
        setEnvironment(casing, path(prefix));
        EXPECT_EQ(logFileName(""), path(prefix) + "rkXMLFactory.log");
    }
    writeLog("", "unnamed");
    EXPECT_EQ(readFile(path("crkXMLFactory.log")), "unnamed");
}
