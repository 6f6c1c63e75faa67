// A read's warnings and error as data, as the thrown message and in the log file beside the document; the switch
// that keeps reads and writes from the log; where an unnamed document logs.
#include <string>

#include "stream/DiagnosticLog.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using Diagnostic = DocumentInScratch;
using LogSwitch = DocumentInScratch;
using DiagnosticLog = DocumentInScratch;
using rkxml_detail::logFileName;
using rkxml_detail::writeLog;

namespace {
// Sets an environment variable, or removes it for nullopt; on Windows also for the system's own lookup.
inline void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

// The variable that names the system's temporary directory.
#ifdef _WIN32
constexpr const char* temporaryDirectoryVariable = "TEMP";
#else
constexpr const char* temporaryDirectoryVariable = "TMPDIR";
#endif

// Sets environment variables for a scope and restores them at its end.
class EnvGuard {
public:
    EnvGuard(std::initializer_list<const char*> names) {
        for (const char* name : names)
            saved.emplace_back(name, getenv(name) ? std::optional(getenv(name)) : std::nullopt);
    }
    ~EnvGuard() {
        for (const auto& [name, value] : saved) setEnvironment(name, value);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};
}  // namespace

// The thrown message and the log list every diagnostic, one line each, as the list holds them.
TEST_F(Diagnostic, MessageAndLogListEveryDiagnosticInOrder) {
    const std::string message = errorOf([&] { stream.readDocumentFromString(document, "<a>x<b/>y\n\n</c>"); });
    const std::string lines =
        "Warning at line 0: Text of element 'a' is replaced by a later text; only the last one is kept.\n"
        "Error at line 2: Closing tag differs from open tag.\n";
    EXPECT_EQ(message, lines);
    EXPECT_EQ(listed(stream), (Diagnostics{"W 0: Text of element 'a' is replaced by a later text; only the last "
                                           "one is kept.",
                                           "E 2: Closing tag differs from open tag."}));
    EXPECT_TRUE(stream.isLogEnabled());  // by default
    EXPECT_EQ(readFile(target + ".log"), lines);
    EXPECT_EQ(describe(document.getRoot()), "?root?");  // emptied, a fresh hidden root of the same document
    EXPECT_EQ(document.getRoot()->getParent(), document.getRoot());
    EXPECT_EQ(document.getFileName(), target);
    // A read that succeeds logs its warnings the same way.
    stream.readDocumentFromString(document, "<a>x<b/>y</a><open>");
    EXPECT_EQ(readFile(target + ".log"),
              "Warning at line 0: Text of element 'a' is replaced by a later text; only the last one is kept.\n"
              "Warning at line 0: Element 'open' is not closed at the end of the text.\n");
}

// The file errors concern no line of a text; writes leave the lists of the last read as they are.
TEST_F(Diagnostic, FileErrorsEmptyTheListsAndWritesLeaveThem) {
    writeFile(path("empty.xml"), "");
    stream.foreignXml();  // which also lists save losses
    for (const std::string& name : {std::string(), path("missing.xml"), path("empty.xml")}) {
        SCOPED_TRACE(name);
        stream.readDocumentFromString(document, "<!DOCTYPE a><open>");
        ASSERT_EQ(stream.getDiagnostics().size(), 1u);
        ASSERT_EQ(stream.getSaveLosses().size(), 1u);
        rkXMLDocument file;
        file.setFileName(name);
        errorOf([&] { stream.readDocument(file); });
        EXPECT_TRUE(stream.getDiagnostics().empty());
        EXPECT_TRUE(stream.getSaveLosses().empty());
    }
    stream.readDocumentFromString(document, "<open>");
    stream.writeDocument(document);
    addElement(document.getRoot(), "bad name");
    errorOf([&] { written(); });
    EXPECT_EQ(stream.getDiagnostics().size(), 1u);
}

// Whether a read dropped text: every warning and the error say so, a clean read and a file error do not.
TEST_F(Diagnostic, DroppedTextAfterEachRead) {
    stream.setLogEnabled(false);
    const struct {
        const char* text;
        bool dropped;
    } rows[] = {
        {"<a>x</a>", false},
        {"<a>x</a>tail", true},        // after the last tag
        {"lead<a/>", true},            // outside every element
        {"<a>x<b/>y</a>", true},       // replaced by a later text
        {"<a><b>cut off", true},       // elements open at the end
        {"<a></b>", true},             // an error: the document was emptied
        {"<a>&#228;</a>\n\n", false},  // white space after the last tag is no text
    };
    for (const auto& row : rows) {
        rkXMLDocument read;
        errorOf([&] { stream.readDocumentFromString(read, row.text); });
        EXPECT_EQ(stream.droppedText(), row.dropped) << row.text;
    }
    rkXMLDocument missing;
    missing.setFileName(path("missing.xml"));
    errorOf([&] { stream.readDocument(missing); });
    EXPECT_FALSE(stream.droppedText());  // a file error: nothing was read, the document is as it was
}

// Diagnostics as compilers print them: the editor's line, counted from 1, and a name that cannot forge lines.
TEST_F(Diagnostic, FormattedAsCompilersPrintThem) {
    stream.setLogEnabled(false);
    errorOf([&] { stream.readDocumentFromString(document, "<a>x<b/>y\n\n\n\n</c>"); });
    ASSERT_EQ(stream.getDiagnostics().size(), 2u);
    const rkXMLFStream::Diagnostic& warning = stream.getDiagnostics().front();
    const rkXMLFStream::Diagnostic& error = stream.getDiagnostics().back();
    EXPECT_EQ(warning.editorLine(), 1u);
    EXPECT_EQ(error.editorLine(), 5u);
    EXPECT_EQ(error.line, 4u);  // the 0-based line stays
    EXPECT_EQ(warning.format("settings.xml"),
              "settings.xml:1: warning: Text of element 'a' is replaced by a later text; only the last one is kept.");
    EXPECT_EQ(error.format("settings.xml"), "settings.xml:5: error: Closing tag differs from open tag.");
    EXPECT_EQ(error.format("a\nb.xml:9: error: x"),
              "a\\x0Ab.xml:9: error: x:5: error: Closing tag differs from open tag.");
}

// Run as the second user where the tests run as root: the switch must hold whoever reads and writes.
TEST_F(LogSwitch, OffWritesNoLogForReadsOrWrites) {
    EnvGuard guard{"Tmp"};
    setEnvironment("Tmp", scratch.str() + "/");  // where an unnamed document logs
    const auto quietRun = [&] {
        rkXMLFStream quiet;
        quiet.setLogEnabled(false);
        if (quiet.isLogEnabled()) return "still on";
        rkXMLDocument unnamed;
        for (rkXMLDocument* doc : {&document, &unnamed}) {
            quiet.readDocumentFromString(*doc, "<a>x<b/>y</a><open>");  // warnings
            if (quiet.getDiagnostics().size() != 2) return "no warnings kept";
            if (errorOf([&] { quiet.readDocumentFromString(*doc, "</b>"); }) == noException) return "no error";
            addElement(doc->getRoot(), "bad name");
            if (errorOf([&] { quiet.writeDocument(*doc); }) == noException) return "written";
            std::string text;
            if (errorOf([&] { quiet.writeDocumentToString(*doc, text); }) == noException) return "written";
        }
        return "";
    };
#ifdef _WIN32
    EXPECT_EQ(quietRun(), std::string());
#else
    EXPECT_EQ(answerInChild(quietRun, secondUser), "");
#endif
    EXPECT_EQ(scratch.entries(), std::set<std::string>());
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
