// What a read of a file from another program took in that a save would not write back (getSaveLosses):
// each construct with its line, none for what the writer reproduces, and none outside that mode.
#include <string>
#include <utility>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// The save losses of the stream's last read, one "LINE: text" each.
std::vector<std::string> lossesOf(const rkXMLFStream& stream) {
    std::vector<std::string> found;
    for (const rkXMLFStream::Diagnostic& loss : stream.getSaveLosses()) {
        EXPECT_EQ(loss.kind, rkXMLFStream::Diagnostic::Warning);
        found.push_back(std::to_string(loss.line) + ": " + loss.text);
    }
    return found;
}
}  // namespace

TEST(SaveLosses, EachConstructThatASaveDropsWithItsLine) {
    const TableRow<std::string, std::vector<std::string>> rows[] = {
        {"byte order mark", "\xEF\xBB\xBF<a/>", {"0: Byte order mark is not kept on saving."}},
        {"DOCTYPE",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE a [\n<!ENTITY e 'x'>\n]>\n<a/>",
         {"1: DOCTYPE declaration is not kept on saving."}},
        {"processing instructions, also before the declaration",
         "<?xml-stylesheet href='s'?>\n<?xml version=\"1.0\"?>\n<a>x\n<?pi?>y</a>",
         {"0: Processing instruction is not kept on saving.", "3: Processing instruction is not kept on saving."}},
        {"CDATA section", "<a>\n<![CDATA[<b>]]></a>", {"1: CDATA section is saved as text."}},
        {"second declaration",
         "<?xml version=\"1.0\"?><a>\n<?xml version=\"1.0\"?></a>",
         {"1: Second XML declaration is not kept on saving."}},
        {"standalone",
         "<?xml version=\"1.0\" standalone='yes'?><a/>",
         {"0: XML declaration is saved with its version and encoding only."}},
        {"declaration without version",
         "<?xml encoding=\"UTF-8\"?><a/>",
         {"0: XML declaration is saved with its version and encoding only."}},
        {"malformed declaration",
         "<?xml version=\"1.0\" encoding?><a/>",
         {"0: XML declaration is saved with its version and encoding only."}},
        {"attribute given twice",
         "<a\n b='1' b=\"2\"/>",
         {"1: Attribute 'b' of element 'a' is given twice; only the last value is kept."}},
        {"entities kept as written, in text and attributes",
         "<a t='&nbsp;' u='a?b=1&c=2'>\nAT&T &; &#X41;</a>",
         {"0: '&nbsp;' is kept as written and saved as '&amp;nbsp;'.",
          "1: '&#X41;' is kept as written and saved as '&amp;#X41;'."}},
        {"a reference the declared set lacks",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>&#233;&#8364;</a>",
         {"0: '&#8364;' is kept as written and saved as '&amp;#8364;'."}},
        {"references to white space",
         "<a t='x&#10;y'>&#xD;&#xA;<!--c-->&#32;<b/></a>",
         {"0: Reference '&#10;' to white space is saved as the character itself.",
          "0: Reference '&#xD;' to white space is saved as the character itself.",
          "0: Reference '&#xA;' to white space is saved as the character itself.",
          "0: Reference '&#32;' to white space is saved as the character itself."}},
        {"references split by a CDATA section",
         "<a>&#9;<![CDATA[&#9;]]>\n&bad;</a>",
         {"0: Reference '&#9;' to white space is saved as the character itself.", "0: CDATA section is saved as text.",
          "1: '&bad;' is kept as written and saved as '&amp;bad;'."}},
        {"text after a child element",
         "<p><b>bold</b>\n world<br/></p>",
         {"1: Text of element 'p' after a child element is saved before its children."}},
        {"text after a comment",
         "<t><!--c-->30</t>",
         {"0: Text of element 't' after a comment is saved before its children."}},
        {"text after a child element, in a run",
         "<p><b/>\n<![CDATA[x]]></p>",
         {"1: CDATA section is saved as text.",
          "1: Text of element 'p' after a child element is saved before its children."}},
        {"what the writer reproduces",
         "<?xml version='1.0' encoding='UTF-8'?>\n<!-- &nbsp; <![CDATA[ -->\n<a b = 'x&amp;&#233;\"'>&lt;&#x4E2D;"
         "<!--c-->\n<b>x</b>\n</a>",
         {}},
    };
    // One stream reads every row, so that each read must start its own list.
    rkXMLFStream stream = foreignStream();
    for (const auto& [name, text, losses] : rows) {
        rkXMLDocument document;
        stream.readDocumentFromString(document, text);
        EXPECT_EQ(lossesOf(stream), losses) << name;
    }
}

TEST(SaveLosses, Utf16IsToldWithItsByteOrder) {
    using Form = rkXMLFStream::TextForm;
    const TableRow<std::string, std::pair<Form, std::vector<std::string>>> rows[] = {
        {"little-endian",
         std::string("\xFF\xFE<\0a\0/\0>\0", 10),
         {Form::Utf16LittleEndian, {"0: UTF-16 text (little-endian, with a byte order mark) is saved as UTF-8."}}},
        {"big-endian, malformed",
         std::string("\xFE\xFF\xDC\0", 4),
         {Form::Utf16BigEndian, {"0: UTF-16 text (big-endian, with a byte order mark) is saved as UTF-8."}}},
        {"UTF-8", "<a/>", {Form::Bytes, {}}},
    };
    rkXMLFStream stream = foreignStream();
    for (const auto& row : rows) {
        rkXMLDocument document;
        errorOf([&] { stream.readDocumentFromString(document, row.input); });
        EXPECT_EQ(stream.getTextForm(), row.expected.first) << row.name;
        EXPECT_EQ(lossesOf(stream), row.expected.second) << row.name;
    }
    // Outside the mode the bytes are read as they stand.
    stream.utf8Symbols();
    rkXMLDocument document;
    errorOf([&] { stream.readDocumentFromString(document, rows[0].input); });
    EXPECT_EQ(stream.getTextForm(), Form::Bytes);
}

TEST(SaveLosses, LinesStayRightWhenAWarningFollowsTheNotesOfItsText) {
    // The warning about replaced text, and the note that it follows a child, point before the references
    // noted inside that text.
    rkXMLFStream stream = foreignStream();
    rkXMLDocument document;
    stream.readDocumentFromString(document, "<a>x<b/>\ny\n&#9;<![CDATA[z]]>\n&bad;</a>\n<c>\n&#9;</c>");
    ASSERT_EQ(stream.getDiagnostics().size(), 1u);
    EXPECT_EQ(stream.getDiagnostics()[0].line, 1u);
    std::vector<std::size_t> lines;
    for (const rkXMLFStream::Diagnostic& loss : stream.getSaveLosses()) lines.push_back(loss.line);
    EXPECT_EQ(lines, (std::vector<std::size_t>{2, 2, 3, 1, 5}));
}
