// A read's warnings and error as data, and the switch that keeps reads and writes from the log file.
#include <string>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;
using Diagnostic = rkXMLFStream::Diagnostic;

namespace {

struct Diagnostics : ScratchTest {
    Diagnostics() { document.setFileName(path("doc.xml")); }
    rkXMLFStream stream;
    rkXMLDocument document;
};
using LogSwitch = Diagnostics;

const char* kindOf(const Diagnostic& diagnostic) { return diagnostic.kind == Diagnostic::Warning ? "W" : "E"; }

}  // namespace

TEST_F(Diagnostics, WarningsAndTheErrorInTheOrderFound) {
    const std::string text = "<a>one<b/>two\n<c>three<d/>four</c>\n</x>";
    const std::string message = errorOf([&] { stream.readDocumentFromString(document, text); });
    const std::vector<Diagnostic>& found = stream.getDiagnostics();
    ASSERT_EQ(found.size(), 3u);
    const struct {
        const char* kind;
        std::size_t line;
        const char* text;
    } expected[] = {
        {"W", 0, "Text of element 'a' is replaced by a later text; only the last one is kept."},
        {"W", 1, "Text of element 'c' is replaced by a later text; only the last one is kept."},
        {"E", 2, "Closing tag differs from open tag."},
    };
    for (std::size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(kindOf(found[i]), expected[i].kind);
        EXPECT_EQ(found[i].line, expected[i].line);
        EXPECT_EQ(found[i].text, expected[i].text);
    }
    // The thrown message and the log say the same, one line each.
    const std::string lines = "Warning at line 0: " + found[0].text + "\nWarning at line 1: " + found[1].text +
                              "\nError at line 2: " + found[2].text + "\n";
    EXPECT_EQ(message, lines);
    EXPECT_EQ(readFile(path("doc.xml.log")), lines);
}

TEST_F(Diagnostics, EachReadStartsAnEmptyList) {
    stream.setLogEnabled(false);  // an unnamed document would log to the temporary directory
    stream.readDocumentFromString(document, "<a>x<b/>y</a>");
    EXPECT_EQ(stream.getDiagnostics().size(), 1u);
    stream.readDocumentFromString(document, "<a>x</a>");
    EXPECT_TRUE(stream.getDiagnostics().empty());

    // A warning of a successful read, then a file read that never reaches the text.
    stream.readDocumentFromString(document, "<open>");
    ASSERT_EQ(stream.getDiagnostics().size(), 1u);
    EXPECT_EQ(stream.getDiagnostics()[0].text, "Element 'open' is not closed at the end of the text.");
    for (const std::string& name : {std::string(), path("missing.xml"), path("empty.xml")}) {
        SCOPED_TRACE(name);
        stream.readDocumentFromString(document, "<open>");
        if (name == path("empty.xml")) writeFile(name, "");
        document.setFileName(name);
        errorOf([&] { stream.readDocument(document); });
        EXPECT_TRUE(stream.getDiagnostics().empty());
    }
}

TEST_F(Diagnostics, WritesLeaveTheListAlone) {
    stream.readDocumentFromString(document, "<a>x<b/>y</a>");
    stream.writeDocument(document);
    rkXMLDocument unwritable;
    addElement(unwritable.getRoot(), "bad name");
    std::string text;
    errorOf([&] { stream.writeDocumentToString(unwritable, text); });
    EXPECT_EQ(stream.getDiagnostics().size(), 1u);
}

TEST_F(Diagnostics, LineOfAnEditor) {
    // What README shows: the line an editor numbers from 1.
    errorOf([&] { stream.readDocumentFromString(document, "<a>\n\n</b>"); });
    const Diagnostic& error = stream.getDiagnostics().back();
    EXPECT_EQ("doc.xml:" + std::to_string(error.line + 1) + ": " + error.text,
              "doc.xml:3: Closing tag differs from open tag.");
}

TEST_F(LogSwitch, OnByDefaultForReadsAndWrites) {
    EXPECT_TRUE(stream.isLogEnabled());
    stream.readDocumentFromString(document, "<a>x<b/>y</a>");
    EXPECT_EQ(readFile(path("doc.xml.log")),
              "Warning at line 0: Text of element 'a' is replaced by a later text; only the last one is kept.\n");
    addElement(document.getRoot(), "bad name");
    errorOf([&] { stream.writeDocument(document); });
    EXPECT_EQ(readFile(path("doc.xml.log")), "Error: element name 'bad name' cannot be written.");
}

// Run as the second user where the tests run as root: the switch must hold whoever reads and writes.
TEST_F(LogSwitch, OffWritesNoLogForReadsOrWrites) {
    const auto body = [this] {
        rkXMLFStream quiet;
        quiet.setLogEnabled(false);
        if (quiet.isLogEnabled()) return 1;
        rkXMLDocument doc;
        doc.setFileName(path("doc.xml"));
        quiet.readDocumentFromString(doc, "<a>x<b/>y</a><open>");                           // warnings
        if (quiet.getDiagnostics().size() != 2) return 2;                                   // still kept as data
        if (errorOf([&] { quiet.readDocumentFromString(doc, "</b>"); }).empty()) return 3;  // an error
        addElement(doc.getRoot(), "bad name");
        if (errorOf([&] { quiet.writeDocument(doc); }).empty()) return 4;
        std::string text;
        if (errorOf([&] { quiet.writeDocumentToString(doc, text); }).empty()) return 5;
        rkXMLDocument unnamed;  // would log to the default log file under Tmp
        if (errorOf([&] { quiet.readDocumentFromString(unnamed, "</b>"); }).empty()) return 6;
        return 0;
    };
    EnvGuard guard{"Tmp"};
    setEnvironment("Tmp", scratch.str() + "/");
#ifdef _WIN32
    EXPECT_EQ(body(), 0);
#else
    EXPECT_EQ(runInChild(body, true), 0);
#endif
    EXPECT_EQ(scratch.entries(), std::set<std::string>());
}
