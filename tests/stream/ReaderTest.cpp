// What the reader makes of a text: each row a text, the tree it reads into and the warnings and error it lists,
// in the default mode, in UTF-8 mode and in the mode for files from other programs.
#include <string>
#include <string_view>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

struct ReadRow {
    const char* name;
    std::string text;
    std::string tree;  // describe() of the hidden root after the read
    Diagnostics diagnostics;
};

// Reads each row's text into a fresh document with the one `stream`, so that each read must start its own list.
void expectReads(rkXMLFStream& stream, const std::vector<ReadRow>& rows) {
    stream.setLogEnabled(false);  // the documents have no name: their log would go to the temporary directory
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.name);
        rkXMLDocument document;
        errorOf([&] { stream.readDocumentFromString(document, row.text); });
        EXPECT_EQ(describe(document.getRoot()), row.tree);
        EXPECT_EQ(listed(stream), row.diagnostics);
    }
}

std::string replaced(const std::string& element) {
    return "Text of element '" + element + "' is replaced by a later text; only the last one is kept.";
}
std::string notClosed(const std::string& element, const std::string& count = "") {
    return "Element '" + element + "' is not closed at the end of the text" + count + ".";
}
const std::string outside = "Text outside every element is ignored.";

// `text` in UTF-16 of either byte order, after its byte order mark.
std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}
const std::string afterLastTag = "Text after the last tag is ignored.";

}  // namespace

TEST(Reader, ReadsEachRule) {
    rkXMLFStream stream;
    stream.addSymbol("&sp;", " ");
    stream.addOpenTag("Hr");
    const std::string longTag(70, 'L');  // beyond the lengths that the open-tag lookup keeps in a table
    stream.addOpenTag(longTag);
    expectReads(
        stream,
        {
            {"a settings file",
             "<?xml version=\"1.0\"?>\n<!-- settings -->\n<config mode=\"fast\">\n<name>Demo &amp; test</name>\n"
             "<br>\n<empty/>\n</config>",
             "?root?(<?xml version=\"1.0\" ?>,<!-- settings -->,config[mode=fast](name'Demo & test',br,empty))",
             {}},
            {"an empty text adds nothing", "", "?root?", {}},
            {"text before the first tag is the hidden root's value",
             "lead<a/>",
             "?root?'lead'(a)",
             {"W 0: " + outside}},
            {"a blank piece leaves the value", "<p>two<!--c--> \n\t </p>", "?root?(p'two'(<!--c-->))", {}},
            {"blanks, tabs and line feeds are trimmed", "<t> \t\n x  y \n\t</t>", "?root?(t'x  y')", {}},
            {"a carriage return is not trimmed", "<t>x\r\n</t>", "?root?(t'x\r')", {}},
            {"entities are decoded", "<e>&lt;b&gt; &#228;</e>", "?root?(e'<b> \xE4')", {}},
            {"entities are decoded once", "<e>&amp;lt;</e>", "?root?(e'&lt;')", {}},
            {"entities are decoded before trimming", "<e>&sp;x&sp;</e>", "?root?(e'x')", {}},
            {"attribute values stay as written", "<g x=\"&lt;\"/>", "?root?(g[x=&lt;])", {}},
            {"blanks around names and attributes are skipped",
             "< a\n b =\"1\"c=\"\"\td=\"x>y\" ></a>",
             "?root?(a[b=1,c=,d=x>y])",
             {}},
            {"an attribute given twice keeps its last value", "<a b=\"1\" b=\"2\"/>", "?root?(a[b=2])", {}},
            {"an attribute name runs on to the next =\"", "<a b><c d=\"1\"/>", "?root?(a[b><c d=1])", {}},
            {"end tags are trimmed", "<i><j></ j\n></\ti \t>", "?root?(i(j))", {}},
            {"a name ending in / closes at once", "<a/><b/ x=\"1\"><c/>", "?root?(a,b[x=1],c)", {}},
            {"after a blank, < /z/ is a start tag", "< /z/ >", "?root?(/z)", {}},
            {"</?root?> closes nothing", "<a/></?root?><b/>", "?root?(a,b)", {}},
            {"the first declaration goes to the top level",
             "<a><?xml version=\"1.1\" encoding=\"utf-8\"?></a>",
             "?root?(a,<?xml version=\"1.1\" encoding=\"utf-8\" ?>)",
             {}},
            {"later declarations are skipped",
             "<?xml version=\"1.1\"?><?xml?>",
             "?root?(<?xml version=\"1.1\" ?>)",
             {}},
            {"a comment keeps its blanks", "<!-- a <b> -- c -->", "?root?(<!-- a <b> -- c -->)", {}},
            {"<![CDATA[ starts an element",
             "<![CDATA[x]]>",
             "?root?(![CDATA[x]])",
             {"W 0: " + notClosed("![CDATA[x]]")}},
            {"an open tag closes after its start tag", "<a><br>x</a>", "?root?(a'x'(br))", {}},
            {"open tags match in any ASCII case", "<a><BR><hR a=\"1\"></a>", "?root?(a(BR,hR[a=1]))", {}},
            {"an open tag closed by /> closes once", "<a><br/><br /></a>", "?root?(a(br,br))", {}},
            {"a long open tag", "<a><" + longTag + ">x</a>", "?root?(a'x'(" + longTag + "))", {}},
        });
    stream.clearSymbols();  // nothing is decoded, no open tags
    expectReads(stream, {{"without tables", "<br>&lt;</br>", "?root?(br'&lt;')", {}}});
}

// The reader goes on where it drops text or finds elements open at the end, and says so with the line.
TEST(Reader, WarnsWhereItDropsText) {
    rkXMLFStream stream;
    expectReads(
        stream,
        {
            {"mixed content", "<p>Hello <b>bold</b> world</p>", "?root?(p'world'(b'bold'))", {"W 0: " + replaced("p")}},
            {"each replacement",
             "<p>a<b/>\nb<b/>\n\n c</p>",
             "?root?(p'c'(b,b))",
             {"W 1: " + replaced("p"), "W 3: " + replaced("p")}},
            {"split by a comment", "<p>one<!-- c -->two</p>", "?root?(p'two'(<!-- c -->))", {"W 0: " + replaced("p")}},
            {"after an open tag",
             "<p>line one<br>\nline two</p>",
             "?root?(p'line two'(br))",
             {"W 1: " + replaced("p")}},
            // A line end's carriage return is kept as a value, so it can replace text too.
            {"replaced by a line end", "<p>x<b/>\r\n</p>", "?root?(p'\r'(b))", {"W 1: " + replaced("p")}},
            {"blank text replaced", "<p>\r\n <b/>x</p>", "?root?(p'x'(b))", {}},
            {"the name shown escaped", "<a\x01>x<b/>y</a\x01>", "?root?(a\x01'y'(b))", {"W 0: " + replaced("a\\x01")}},
            {"text between top-level nodes", "<a/>\n x \n<b/>", "?root?'x'(a,b)", {"W 1: " + outside}},
            {"text after the last tag", "<a/>\n\ntail\n", "?root?(a)", {"W 2: " + outside}},
            {"no tag at all", "notes.txt full of prose\nsecond line", "?root?", {"W 0: " + outside}},
            {"text after the last tag, inside an element",
             "<a>\n  tail",
             "?root?(a)",
             {"W 1: " + afterLastTag, "W 1: " + notClosed("a")}},
            {"elements left open",
             "<a><b>\n<c/>",
             "?root?(a(b(c)))",
             {"W 1: " + notClosed("b", " (2 elements are open)")}},
            {"a settings file cut off",
             "<settings>\n <launches>7</launches>\n <recent>\n  <file>/a.svg</file>\n  <file>/b.s",
             "?root?(settings(launches'7',recent(file'/a.svg',file)))",
             {"W 4: " + afterLastTag, "W 4: " + notClosed("file", " (3 elements are open)")}},
            {"white space and a byte order mark", "\xEF\xBB\xBF<a/>\r\n \t\r\n", "?root?'\xEF\xBB\xBF'(a)", {}},
            {"text after a byte order mark", "\xEF\xBB\xBF\nx<a/>", "?root?'\xEF\xBB\xBF\nx'(a)", {"W 1: " + outside}},
            {"a byte order mark after a blank", " \xEF\xBB\xBF<a/>", "?root?'\xEF\xBB\xBF'(a)", {"W 0: " + outside}},
            {"a closed document with CR LF line ends",
             "<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n<a>\r\n <b>x</b>\r\n</a>\r\n",
             "?root?'\r'(<?xml version=\"1.0\" ?>,<!-- c -->,a'\r'(b'x'))",
             {}},
        });
}

TEST(Reader, MalformedTextEmptiesTheDocumentAndReportsItsLine) {
    rkXMLFStream stream;
    expectReads(
        stream,
        {
            {"a < at the end", "<a>\n<", "?root?", {"E 1: Tag started buf EOF found."}},
            {"a comment unclosed", "x\n<!-- a\n", "?root?", {"W 0: " + outside, "E 1: Comment tag unclosed."}},
            {"a declaration unclosed", "\n\n<?xml ", "?root?", {"E 2: Tag <? unclosed."}},
            {"an end tag unclosed", "<a>\n</a", "?root?", {"E 1: Tag unclosed."}},
            {"another end tag", "<a>\n</b>", "?root?", {"E 1: Closing tag differs from open tag."}},
            {"an end tag first", "\r\n</a>", "?root?", {"E 1: Closing tag differs from open tag."}},
            {"an end tag of an open tag", "<a><br>x</br>", "?root?", {"E 0: Closing tag differs from open tag."}},
            {"the end after <", "<a>< \n", "?root?", {"E 1: Unspected EOF."}},
            {"the end in a name", "\n<abc", "?root?", {"E 1: Unspected EOF."}},
            {"the end among attributes", "<a x=\"1\"\n\n", "?root?", {"E 2: Unspected EOF."}},
            {"an attribute without =\"", "<a\nb= \"1\">", "?root?", {"E 1: Unspected value form."}},
            {"the end after =\"", "<a\n b=\"", "?root?", {"E 1: Unspected EOF."}},
            {"a value unclosed", "<a\nb=\"\nx", "?root?", {"E 1: Unspected value form."}},
            {"an empty tag name", "\n< >", "?root?", {"E 1: Empty tag name."}},
            {"an empty tag name at once", "<>", "?root?", {"E 0: Empty tag name."}},
        });
}

TEST(Reader, ForeignModeSkipsWhatTheTreeCannotHold) {
    rkXMLFStream stream = foreignStream();
    expectReads(
        stream,
        {
            {"a byte order mark", "\xEF\xBB\xBF<a/>", "?root?(a)", {}},
            {"a DOCTYPE with an internal subset",
             "<!DOCTYPE a [\n <!ENTITY e \">]>\">\n <!ENTITY f '>]'>\n <!ATTLIST a b CDATA ']>'>\n"
             " <!-- ]> -->\n <?pi ]>?>\n %pe;\n] >\n<a/>",
             "?root?(a)",
             {}},
            {"a declaration needs a blank or ?> after xml",
             "<?xmlfoo?><?xml?><a/>",
             "?root?(<?xml version=\"1.0\" ?>,a)",
             {}},
            {"only the first declaration",
             "<?xml version='1.1' encoding='ISO-8859-1' standalone='yes'?><?xml version=\"1.0\"?><a/>",
             "?root?(<?xml version=\"1.1\" encoding=\"ISO-8859-1\" ?>,a)",
             {}},
            {"a declaration with blanks around =",
             "<?xml version = \"1.0\"\n encoding= 'utf-8' ?><a/>",
             "?root?(<?xml version=\"1.0\" encoding=\"utf-8\" ?>,a)",
             {}},
            {"attribute values decoded", "<a t='&lt;&#x41;&#233;&nbsp;'/>", "?root?(a[t=<A\xC3\xA9&nbsp;])", {}},
            {"entities of the UTF-8 table",
             "<a>&amp;&#233;&unknown;&#0;&#x1F600;</a>",
             "?root?(a'&\xC3\xA9&unknown;&#0;\xF0\x9F\x98\x80')",
             {}},
            {"a later run replaces a run",
             "<a>x<![CDATA[y]]>\n<b/>z</a>",
             "?root?(a'z'(b))",
             {"W 1: " + replaced("a")}},
            {"a run after the last tag",
             "<a>\n<![CDATA[x]]>\n",
             "?root?(a)",
             {"W 1: " + afterLastTag, "W 2: " + notClosed("a")}},
            {"UTF-16 little-endian as its UTF-8 text",
             utf16(u"<?xml version='1.0' encoding='ISO-8859-1'?>\n<a b='\u00E9'>&#233;\U0001F600</a>", false),
             "?root?(<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>,a[b=\xC3\xA9]'\xC3\xA9\xF0\x9F\x98\x80')",
             {}},
            {"UTF-16 big-endian",
             utf16(u"<a>\n</b>\u4E2D", true),
             "?root?",
             {"E 1: Closing tag differs from open tag."}},
        });
}

TEST(Reader, ForeignModeReportsMalformedTextWithItsLine) {
    rkXMLFStream stream = foreignStream();
    const std::string unread = "E 0: Text in UTF-16 is not read; convert it to UTF-8.";
    expectReads(
        stream,
        {
            {"a DOCTYPE unclosed", "<a/>\n<!DOCTYPE a [ <!ENTITY x \"]>", "?root?", {"E 1: Tag <!DOCTYPE unclosed."}},
            {"a DOCTYPE literal unclosed", "<!DOCTYPE a SYSTEM 'x>\n", "?root?", {"E 0: Tag <!DOCTYPE unclosed."}},
            {"CDATA unclosed", "<a>\n<![CDATA[x]>", "?root?", {"E 1: Tag <![CDATA[ unclosed."}},
            {"a processing instruction unclosed", "<a>x\n<?pi", "?root?", {"E 1: Tag <? unclosed."}},
            {"an attribute without =", "<a\n b>", "?root?", {"E 1: Unspected value form."}},
            {"a value without quotes", "<a b=1>", "?root?", {"E 0: Unspected value form."}},
            {"a value unclosed", "<a b='1>\n", "?root?", {"E 0: Unspected value form."}},
            {"the end after =", "<a b =\n", "?root?", {"E 1: Unspected EOF."}},
            {"the end after the name", "<a b\n", "?root?", {"E 1: Unspected EOF."}},
            {"UTF-16 with a lone surrogate",
             utf16(u"<a>\nx", false) + std::string("\0\xD8x\0", 4),
             "?root?",
             {"E 1: Text in UTF-16 holds a lone surrogate."}},
            {"UTF-16 of an odd length",
             utf16(u"<a>\n\U0001F600", true) + "x",
             "?root?",
             {"E 1: Text in UTF-16 ends in the middle of a character."}},
            {"UTF-16 without a byte order mark", std::string("<\0?\0x\0m\0l\0", 10), "?root?", {unread}},
            {"UTF-16 big-endian without a byte order mark", std::string("\0<\0?\0x\0m\0l", 10), "?root?", {unread}},
        });
}

// Character references decode to the character set that the file declares, so that no other set's bytes go in.
TEST(Reader, ForeignModeDecodesReferencesToTheDeclaredCharacterSet) {
    rkXMLFStream stream = foreignStream();
    const std::string body = "><a t=\"&#233;&#x4E2D;\">&#65;&#233;&#8364;&#x81;&#x2014;&lt;</a>";
    const std::string kept = "&#x4E2D;]'A&#233;&#8364;&#x81;&#x2014;<')";
    auto declared = [](const std::string& encoding) { return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?"; };
    auto header = [](const std::string& encoding) {
        return "?root?(<?xml version=\"1.0\" encoding=\"" + encoding + "\" ?>,";
    };
    expectReads(
        stream,
        {
            {"none: UTF-8",
             body.substr(1),
             "?root?(a[t=\xC3\xA9\xE4\xB8\xAD]'A\xC3\xA9\xE2\x82\xAC\xC2\x81\xE2\x80\x94<')",
             {}},
            {"ISO-8859-1",
             declared("ISO-8859-1") + body,
             header("ISO-8859-1") + "a[t=\xE9&#x4E2D;]'A\xE9&#8364;\x81&#x2014;<')",
             {}},
            {"Windows-1252 in lower case",
             declared("windows-1252") + body,
             header("windows-1252") + "a[t=\xE9&#x4E2D;]'A\xE9\x80&#x81;\x97<')",
             {}},
            {"US-ASCII", declared("US-ASCII") + body, header("US-ASCII") + "a[t=&#233;" + kept, {}},
            {"a set not known", declared("EUC-JP") + body, header("EUC-JP") + "a[t=&#233;" + kept, {}},
            {"UTF-16 in name only", declared("UTF-16") + "><a>&#233;</a>", header("UTF-16") + "a'\xC3\xA9')", {}},
        });
}

// Linear: one warning for a million open elements, and the lines of many warnings counted on in one pass.
TEST(Reader, WarningsAtHostileSizes) {
    rkXMLFStream stream;
    stream.setLogEnabled(false);
    const std::size_t depth = scaled(1000000);
    rkXMLDocument deep;
    stream.readDocumentFromString(deep, repeated("<a>\n", depth));
    EXPECT_EQ(listed(stream), Diagnostics{"W " + std::to_string(depth) + ": " +
                                          notClosed("a", " (" + std::to_string(depth) + " elements are open)")});
    const std::size_t pieces = scaled(200000);
    rkXMLDocument mixed;
    stream.readDocumentFromString(mixed, "<p>" + repeated("x<b/>\n", pieces) + "</p>");
    ASSERT_EQ(stream.getDiagnostics().size(), pieces - 1);
    EXPECT_EQ(stream.getDiagnostics().back().line, pieces - 1);
}

namespace {

// Where each node of `node`'s subtree stood in `text`, in document order: name:line, then for elements the
// attributes' raw values, the raw text, the bytes between the last attribute and the end of the start tag, and
// the element's bytes from its "<" to its end.
std::string describePlaces(const rkXMLFStream& stream, const std::string& text, rkXMLNode* root) {
    std::string out;
    for (rkXMLWalk walk(*element(root)); walk.next();) {
        if (walk.isLeaving()) continue;
        rkXMLNode* node = walk.node();
        const rkXMLFStream::SourcePosition* place = stream.getSourcePosition(node);
        if (place == nullptr) {
            out += " ?";
            walk.skipChildren();
            continue;
        }
        out += " " + node->getName() + ":" + std::to_string(place->line);
        if (walk.element() == nullptr) continue;
        for (const auto& attribute : place->attributes) {
            out += " @" + attribute.name + "=" + text.substr(attribute.value.offset, attribute.value.length);
            EXPECT_EQ(text.substr(attribute.nameAt, attribute.name.size()), attribute.name);
        }
        if (place->hasText) out += " '" + text.substr(place->text.offset, place->text.length) + "'";
        out += " [" + text.substr(place->attributesEnd, place->startTagEnd - place->attributesEnd) + "]";
        out += " {" + (place->end == 0 ? "open" : text.substr(place->start, place->end - place->start)) + "}";
    }
    return out;
}

}  // namespace

TEST(Reader, RecordsWhereEachNodeStoodOnRequestOnly) {
    struct PlaceRow {
        const char* name;
        bool foreign;
        std::string text;
        std::string places;
    };
    const std::vector<PlaceRow> rows = {
        {"lines count from 1, attributes and text as written", false,
         "<?xml version=\"1.0\"?>\n<!-- c -->\n<a x=\"&lt;1\" y=\"2\" >\n  <b> x &amp; y </b><c/>\n</a>\n",
         " <?xml version=\"1.0\" ?>:1  c :2 a:3 @x=&lt;1 @y=2 [ ] {<a x=\"&lt;1\" y=\"2\" >\n  <b> x &amp; y "
         "</b><c/>\n</a>} b:4 'x &amp; y' [] {<b> x &amp; y </b>} c:4 [/] {<c/>}"},
        {"a name with its slash, an open tag and an element left open", false, "<a><b/><br>t\n<d>",
         " a:1 't' [] {open} b:1 [/] {<b/>} br:1 [] {<br>} d:2 [] {open}"},
        {"the last of a text given twice", false, "<a>one<b/>two</a>",
         " a:1 'two' [] {<a>one<b/>two</a>} b:1 [/] {<b/>}"},
        {"other programs: single quotes, and CDATA and a processing instruction in the text (a CR is not trimmed)",
         true, "\xEF\xBB\xBF<!DOCTYPE a>\r\n<a x = 'v'>\r\n <![CDATA[<x>]]><?p?> y \r\n</a>",
         " a:2 @x=v '\r\n <![CDATA[<x>]]><?p?> y \r' [] {<a x = 'v'>\r\n <![CDATA[<x>]]><?p?> y \r\n</a>}"},
    };
    for (const PlaceRow& row : rows) {
        SCOPED_TRACE(row.name);
        rkXMLFStream stream = row.foreign ? foreignStream() : rkXMLFStream();
        stream.setLogEnabled(false);
        stream.setPositionsRecorded(true);
        rkXMLDocument document;
        stream.readDocumentFromString(document, row.text);
        EXPECT_EQ(describePlaces(stream, row.text, document.getRoot()), row.places);
    }
    // Only on request.
    rkXMLFStream stream;
    stream.setLogEnabled(false);
    rkXMLDocument document;
    stream.readDocumentFromString(document, "<a x=\"1\">v</a>");
    EXPECT_EQ(stream.getSourcePosition(document.getTopLevelElement()), nullptr);
    stream.setPositionsRecorded(true);
    stream.readDocumentFromString(document, "<b/>");
    EXPECT_EQ(stream.getSourcePosition(document.getTopLevelElement()), nullptr);  // a's read recorded nothing
    stream.setPositionsRecorded(false);
    EXPECT_EQ(stream.getSourcePosition(element(document.getRoot())->back()), nullptr);  // switching off forgets
}
