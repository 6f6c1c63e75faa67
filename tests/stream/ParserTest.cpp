#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/stream/StreamTestSupport.h"

static void parse(rkXMLFStream& stream, rkXMLDocument& doc, std::string text) { stream.readDocumentFromString(doc, text); }

using Parser = StreamTest;

TEST_F(Parser, ReadsEveryConstruct) {
    rkXMLDocument doc;
    doc.setFileName(path("doc.xml"));
    parse(*std::make_unique<rkXMLFStream>(), doc,
          "<?xml version=\"1.0\"?>\n<!-- settings -->\n<config mode=\"fast\">\n"
          "<name>Demo &amp; test</name>\n<br>\n<empty/>\n</config>");
    EXPECT_EQ(describe(doc.getRoot()),
              "?root?(<?xml version=\"1.0\" ?>,<!-- settings -->,config[mode=fast](name'Demo & test',br,empty))");
    EXPECT_FALSE(fs::exists(path("doc.xml.log")));
}

TEST_F(Parser, TextValues) {
    rkXMLFStream stream;
    stream.addSymbol("&sp;", " ");
    rkXMLDocument doc;
    parse(stream, doc,
          "lead<a><b>x</b>y</a><p>one<b/>two<!--c--> \n\t </p><t> \t x  y\r\n</t>"
          "<e>&amp;lt;&sp;</e><f>&sp;&lt;b&gt;&sp;</f><g x=\"&lt;\"/>tail");
    // The last non-blank segment wins, a carriage return is not trimmed, entities are decoded
    // once and before trimming, attribute values stay as written, trailing text is ignored.
    EXPECT_EQ(describe(doc.getRoot()),
              "?root?'lead'(a'y'(b'x'),p'two'(b,<!--c-->),t'x  y\r',e'&lt;',f'<b>',g[x=&lt;])");
}

TEST_F(Parser, TagsAttributesAndDeclarations) {
    rkXMLFStream stream;
    rkXMLDocument doc;
    parse(stream, doc,
          "< a\n b =\"1\"c=\"\"\td=\"x>y\" ><!-- n --><?xml version=\"1.1\" encoding=\"utf-8\"?>< /z/ >"
          "<a b=\"1\" b=\"2\"/><?xml version=\"2.0\"?><![CDATA[x]]>");
    // "a" is never closed; the first declaration goes to the top level, the second is skipped.
    EXPECT_EQ(describe(doc.getRoot()),
              "?root?(a[b=1,c=,d=x>y](<!-- n -->,/z,a[b=2],![CDATA[x]]),<?xml version=\"1.1\" encoding=\"utf-8\" ?>)");
}

TEST_F(Parser, OpenTagsCloseAtOnce) {
    rkXMLFStream stream;
    stream.addOpenTag("Hr");
    rkXMLDocument doc;
    parse(stream, doc, "<a><BR>one<br/><br /><BR/><hr a=\"1\">two</a></?root?>");
    stream.clearSymbols();  // no open tags any more
    parse(stream, doc, "<br>x</br>");
    EXPECT_EQ(describe(doc.getRoot()), "?root?(a'two'(BR,br,br,BR,hr[a=1]),br'x')");
}

TEST_F(Parser, ErrorsEmptyTheDocumentAndReportTheirLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<a>\n<", "Error at line 1: Tag started buf EOF found.\n"},
        {"x\n<!-- a\n", "Error at line 1: Comment tag unclosed.\n"},
        {"\n\n<?xml ", "Error at line 2: Tag <? unclosed.\n"},
        {"<a>\n</a", "Error at line 1: Tag unclosed.\n"},
        {"<a>\n</b>", "Error at line 1: Closing tag differs from open tag.\n"},
        {"\n</a>", "Error at line 1: Closing tag differs from open tag.\n"},
        {"<br></br>", "Error at line 0: Closing tag differs from open tag.\n"},
        {"<a>< \n", "Error at line 1: Unspected EOF.\n"},
        {"\n<abc", "Error at line 1: Unspected EOF.\n"},
        {"<a x=\"1\"\n\n", "Error at line 2: Unspected EOF.\n"},
        {"<a\nb= \"1\">", "Error at line 1: Unspected value form.\n"},
        {"<a\n b=\"", "Error at line 1: Unspected EOF.\n"},
        {"<a\nb=\"\nx", "Error at line 1: Unspected value form.\n"},
        {"<>", "Error at line 0: Empty tag name.\n"},
        {"\n< >", "Error at line 1: Empty tag name.\n"},
        {"<\n>", "Error at line 1: Empty tag name.\n"},
    };
    rkXMLFStream stream;
    for (const auto& [input, message] : cases) {
        const std::string& text = input;  // a lambda cannot capture a structured binding in C++17
        SCOPED_TRACE(text);
        rkXMLDocument doc;
        doc.setFileName(path("doc.xml"));
        parse(stream, doc, "<keep/>");
        EXPECT_EQ(errorOf([&] { parse(stream, doc, text); }), message);
        EXPECT_EQ(readFile(path("doc.xml.log")), message);
        EXPECT_EQ(asElement(doc.getRoot())->getChildCount(), 0u);
        EXPECT_EQ(doc.getFileName(), path("doc.xml"));
    }
}

// A root without parent link leaves no current element once it is closed.
TEST_F(Parser, NothingToHoldTheInput) {
    rkXMLFStream stream;
    rkXMLDocument doc;
    doc.setFileName(path("doc.xml"));
    const std::string ignored = ": No tag active but text found, must be at the start, ignoring.\n";
    doc.getRoot()->setParent(nullptr);
    parse(stream, doc, "</?root?>\ntail<!--c-->");
    EXPECT_EQ(readFile(path("doc.xml.log")), "Warning at line 1" + ignored + "Warning at line 1" + ignored);
    EXPECT_EQ(asElement(doc.getRoot())->getChildCount(), 0u);

    const std::string error = errorOf([&] { parse(stream, doc, "</?root?>\nx\n<a>"); });
    EXPECT_EQ(error, "Warning at line 2" + ignored + "Error at line 2: No tag active for start tag.\n");
    EXPECT_EQ(readFile(path("doc.xml.log")), error);
    EXPECT_EQ(doc.getRoot()->getParent(), doc.getRoot());  // emptied: a fresh root

    doc.getRoot()->setParent(nullptr);
    EXPECT_EQ(errorOf([&] { parse(stream, doc, "</?root?></a>"); }), "Error at line 0: Closing tag when no tag???\n");
}
