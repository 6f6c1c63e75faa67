// The reader warns where it drops content, and leaves the tree as it was.
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

// Each diagnostic as "W line: text" or "E line: text".
std::vector<std::string> listed(const rkXMLFStream& stream) {
    std::vector<std::string> lines;
    for (const auto& diagnostic : stream.getDiagnostics()) {
        lines.push_back(std::string(diagnostic.kind == rkXMLFStream::Diagnostic::Warning ? "W " : "E ") +
                        std::to_string(diagnostic.line) + ": " + diagnostic.text);
    }
    return lines;
}

// The tree that `text` gives, read into a fresh document.
std::string readTree(rkXMLFStream& stream, const std::string& text) {
    rkXMLDocument document;
    stream.readDocumentFromString(document, text);
    return describe(document.getRoot());
}

std::size_t scaled(std::size_t size) { return std::getenv("RKXML_TESTS_SMALL") != nullptr ? size / 10 : size; }

const std::string replacedP = "Text of element 'p' is replaced by a later text; only the last one is kept.";
const std::string outside = "Text outside every element is ignored.";

struct Case {
    const char* name;
    std::string text;
    std::string tree;
    std::vector<std::string> warnings;
};

}  // namespace

TEST(ReaderWarnings, WhereTextIsDropped) {
    const Case cases[] = {
        {"mixed content", "<p>Hello <b>bold</b> world</p>", "?root?(p'world'(b'bold'))", {"W 0: " + replacedP}},
        {"each replacement",
         "<p>a<b/>\nb<b/>\n\n c</p>",
         "?root?(p'c'(b,b))",
         {"W 1: " + replacedP, "W 3: " + replacedP}},
        {"split by a comment", "<p>one<!-- c -->two</p>", "?root?(p'two'(<!-- c -->))", {"W 0: " + replacedP}},
        {"after an open tag", "<p>line one<br>\nline two</p>", "?root?(p'line two'(br))", {"W 1: " + replacedP}},
        // A line end's carriage return is kept as a value, so it can replace text too.
        {"replaced by a line end", "<p>x<b/>\r\n</p>", "?root?(p'\r'(b))", {"W 1: " + replacedP}},
        {"blank text replaced", "<p>\r\n <b/>x</p>", "?root?(p'x'(b))", {}},
        {"name shown escaped",
         "<a\x01>x<b/>y</a\x01>",
         "?root?(a\x01'y'(b))",
         {"W 0: Text of element 'a\\x01' is replaced by a later text; only the last one is kept."}},
        {"text before the first tag", "junk\n<a/>", "?root?'junk'(a)", {"W 0: " + outside}},
        {"text between top-level nodes", "<a/>\n x \n<b/>", "?root?'x'(a,b)", {"W 1: " + outside}},
        {"text after the last tag", "<a/>\n\ntail\n", "?root?(a)", {"W 2: " + outside}},
        {"no tag at all", "notes.txt full of prose\nsecond line", "?root?", {"W 0: " + outside}},
        {"text after the last tag, inside an element",
         "<a>\n  tail",
         "?root?(a)",
         {"W 1: Text after the last tag is ignored.", "W 1: Element 'a' is not closed at the end of the text."}},
        {"elements left open",
         "<a><b>\n<c/>",
         "?root?(a(b(c)))",
         {"W 1: Element 'b' is not closed at the end of the text (2 elements are open)."}},
        {"a settings file cut off",
         "<settings>\n <launches>7</launches>\n <recent>\n  <file>/a.svg</file>\n  <file>/b.s",
         "?root?(settings(launches'7',recent(file'/a.svg',file)))",
         {"W 4: Text after the last tag is ignored.",
          "W 4: Element 'file' is not closed at the end of the text (3 elements are open)."}},
        {"white space and a byte order mark", "\xEF\xBB\xBF<a/>\r\n \t\r\n", "?root?'\xEF\xBB\xBF'(a)", {}},
        {"text after a byte order mark", "\xEF\xBB\xBF\nx<a/>", "?root?'\xEF\xBB\xBF\nx'(a)", {"W 1: " + outside}},
        {"a closed document",
         "<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n<a>\r\n <b>x</b>\r\n</a>\r\n",
         "?root?'\r'(<?xml version=\"1.0\" ?>,<!-- c -->,a'\r'(b'x'))",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rkXMLFStream stream;
        stream.setLogEnabled(false);
        EXPECT_EQ(readTree(stream, c.text), c.tree);
        EXPECT_EQ(listed(stream), c.warnings);
    }
}

TEST(ReaderWarnings, TheHiddenRootsEarlierValueIsNotTakenForText) {
    rkXMLFStream stream;
    stream.setLogEnabled(false);
    rkXMLDocument document;
    element(document.getRoot())->setValue("set by the program");
    stream.readDocumentFromString(document, "<a/>");
    EXPECT_TRUE(stream.getDiagnostics().empty());
    stream.readDocumentFromString(document, "\n<b/>x\n");
    EXPECT_EQ(listed(stream), std::vector<std::string>{"W 1: " + outside});
}

TEST(ReaderWarnings, DecodedTextCounts) {
    rkXMLFStream stream;
    stream.setLogEnabled(false);
    stream.utf8Symbols();
    // A reference to a blank decodes to white space, which carries nothing.
    EXPECT_EQ(readTree(stream, "<p>x<b/>&#32;</p>&#10;"), "?root?(p'x'(b))");
    EXPECT_TRUE(stream.getDiagnostics().empty());
    EXPECT_EQ(readTree(stream, "<p>&#65;<b/>&#66;</p>"), "?root?(p'B'(b))");
    EXPECT_EQ(listed(stream), std::vector<std::string>{"W 0: " + replacedP});
}

TEST(ReaderWarnings, NeverForWhatTheLibraryWrites) {
    rkXMLDocument document;
    document.setStandardHeader();
    addComment(document.getRoot(), " settings ");
    rkXMLElement* top = addElement(document.getRoot(), "settings", "top value");
    addElement(top, "one", "blanks  inside");
    addElement(addElement(top, "list", "a list\nover lines"), "item", "x\r");
    addComment(top, "between");
    addElement(top, "br");
    addElement(top, "empty");
    addElement(top, "crlf", "\r\n\r");
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8 ? "UTF-8 mode" : "default mode");
        rkXMLFStream stream;
        if (utf8) stream.utf8Symbols();
        std::string written;
        stream.writeDocumentToString(document, written);
        rkXMLDocument back;
        stream.readDocumentFromString(back, written);
        EXPECT_EQ(listed(stream), std::vector<std::string>());
        EXPECT_EQ(describe(back.getRoot()), describe(document.getRoot()));
    }
}

// Linear: one warning for a million open elements, and the lines of many warnings counted on in one pass.
TEST(ReaderWarnings, HostileSizes) {
    rkXMLFStream stream;
    stream.setLogEnabled(false);
    const std::size_t depth = scaled(1000000);
    rkXMLDocument deep;
    stream.readDocumentFromString(deep, repeated("<a>\n", depth));
    EXPECT_EQ(listed(stream), std::vector<std::string>{"W " + std::to_string(depth) +
                                                       ": Element 'a' is not closed at the end of the text (" +
                                                       std::to_string(depth) + " elements are open)."});
    const std::size_t pieces = scaled(200000);
    rkXMLDocument mixed;
    stream.readDocumentFromString(mixed, "<p>" + repeated("x<b/>\n", pieces) + "</p>");
    ASSERT_EQ(stream.getDiagnostics().size(), pieces - 1);
    EXPECT_EQ(stream.getDiagnostics().back().line, pieces - 1);
}
