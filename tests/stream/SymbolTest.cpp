#include <stdexcept>
#include <string>

#include "stream/StreamAccess.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using rkxml_detail::StreamAccess;
using Tags = std::set<std::string, std::less<>>;

static const auto encoded = StreamAccess::encoded;
static const auto decoded = StreamAccess::decoded;

TEST(Symbols, SmallestEntityTextWinsATie) {
    rkXMLFStream s;
    s.addSymbol("&#60;", "<");  // sorts before "&lt;"
    EXPECT_EQ(encoded(s, "a<b"), "a&#60;b");
    EXPECT_EQ(decoded(s, "&#60;&lt;"), "<<");
    s.addSymbol("&x", "1");  // the start of "&x;": sorts first and wins
    s.addSymbol("&x;", "2");
    EXPECT_EQ(decoded(s, "&x;"), "1;");
    s.addSymbol("&ab;", "a");  // wins over the longer match of "&b;"
    s.addSymbol("&b;", "ab");
    EXPECT_EQ(encoded(s, "abc"), "&ab;bc");
}

TEST(Symbols, DefaultsAndEditingTheTables) {
    rkXMLFStream s;
    EXPECT_EQ(encoded(s, "a<b &lt; c>\"'\xE4\x80\xE9\x01"), "a&lt;b &amp;lt; c&gt;&quot;&apos;&#228;&#8364;\xE9\x01");
    EXPECT_EQ(decoded(s, "&lt;&amp;lt;&#228;&#8364;&auml;&#xE4;&amp"), "<&lt;\xE4\x80&auml;&#xE4;&amp");  // once
    // Bytes looked at sixteen at a time: members at the ends of a block, high bytes that are not members.
    const std::string plain =
        std::string(15, 'a') + "<>" + std::string(13, '\xE9') + "\xE4\x80" + std::string(20, 'b') + "&";
    EXPECT_EQ(encoded(s, plain), std::string(15, 'a') + "&lt;&gt;" + std::string(13, '\xE9') + "&#228;&#8364;" +
                                     std::string(20, 'b') + "&amp;");
    std::string text, expected;  // runs around the size of the block copied at a time
    for (std::size_t size : {33, 32, 31, 1}) {
        text += std::string(size, 'x') + "&gt;";
        expected += std::string(size, 'x') + ">";
    }
    EXPECT_EQ(decoded(s, text + std::string(32, 'y')), expected + std::string(32, 'y'));
    s.addSymbol("&lt;", "[");
    EXPECT_EQ(encoded(s, "[<"), "&lt;<");
    const auto before = StreamAccess::symbols(s);
    // An empty text would match everywhere and never let a walk end.
    EXPECT_THROW(s.addSymbol("", "x"), std::invalid_argument);
    EXPECT_THROW(s.addSymbol("&new;", ""), std::invalid_argument);
    EXPECT_EQ(StreamAccess::symbols(s), before);
    s.clearSymbols();
    EXPECT_EQ(encoded(s, "<&>\xE4"), "<&>\xE4");
    EXPECT_EQ(decoded(s, "&lt;&amp;"), "&lt;&amp;");
    s.addSymbol("&lt;", "[");
    s.addSymbol("&own;", "o");
    s.defaultSymbols();  // resets the thirteen, keeps the rest
    EXPECT_EQ(encoded(s, "[<o\xE4"), "[&lt;&own;&#228;");
    EXPECT_EQ(StreamAccess::openTags(s), Tags{"br"});
}

TEST(Symbols, OpenTagsAreLowerCasedAsciiOnly) {
    rkXMLFStream s;
    s.addOpenTag("HR");
    s.addOpenTag(std::string("IMG\0X", 5));  // kept up to the zero byte
    s.addOpenTag("\xC4Z");
    EXPECT_EQ(StreamAccess::openTags(s), (Tags{"br", "hr", "img", "\xC4z"}));
}

TEST(Utf8Mode, ReferencesDecodeToUtf8UnlessInvalid) {
    rkXMLFStream s;
    s.utf8Symbols();
    EXPECT_EQ(decoded(s, "&#65;&#233;&#xE9;&#xe9;&#0233;&#x1F600;&#xD7FF;&#xE000;&#x10FFFF;"),
              "A\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(decoded(s, "&#9;&#10;&#13;&#x20;&#38;lt;&#x26;#65;"), "\t\n\r &lt;&#65;");  // decoded once
    const std::string invalid =
        "&#0;&#1;&#xD800;&#xDFFF;&#xFFFE;&#x110000;&#99999999999999999999;&#X41;&#x;&#;&#x4G;&#65";
    EXPECT_EQ(decoded(s, invalid), invalid);
}

TEST(Utf8Mode, SwitchingModes) {
    rkXMLFStream s;
    s.utf8Symbols();                    // XML's five entities alone; the open tags stay
    s.addSymbol("&nbsp;", "\xC2\xA0");  // pairs added in the mode take part,
    s.addSymbol("&#233;", "e");         // and win over the reference they spell
    EXPECT_EQ(encoded(s, "\xE4\x80<\xC2\xA0"), "\xE4\x80&lt;&nbsp;");
    EXPECT_EQ(decoded(s, "&#233;&#xE9;"), "e\xC3\xA9");
    rkXMLDocument doc;
    rkXMLElement* top = addElement(doc.getRoot(), "a");
    top->setAttribute("q", "\"");
    addElement(top, "br");
    std::string text;
    s.writeDocumentToString(doc, text);
    EXPECT_EQ(text, "<a q=\"&quot;\">\n <br></a>");
    s.addSymbol("&quot;", "q");  // now a quote would be written as it is
    EXPECT_EQ(errorOf([&] { s.writeDocumentToString(doc, text); }),
              "Error: attribute 'q' of element 'a' holds a double quote.");
    s.defaultSymbols();  // 8-bit again: the thirteen pairs, the added ones kept, attributes as they are
    EXPECT_EQ(decoded(s, "&#xE9;&#228;&nbsp;"), "&#xE9;\xE4\xC2\xA0");
    s.utf8Symbols();
    s.clearSymbols();  // leaves the mode as well: nothing is coded
    EXPECT_EQ(decoded(s, "&#233;&amp;"), "&#233;&amp;");
}
