#include <map>
#include <stdexcept>
#include <string>

#include "stream/Grammar.h"
#include "stream/StreamAccess.h"
#include "tests/TestSupport.h"

using rkxml_detail::StreamAccess;
using Tags = std::set<std::string, std::less<>>;

static std::string encoded(const rkXMLFStream& stream, std::string text) {
    return StreamAccess::encoded(stream, std::move(text));
}
static std::string decoded(const rkXMLFStream& stream, std::string text) {
    return StreamAccess::decoded(stream, std::move(text));
}

TEST(Symbols, DefaultSymbolsEncodeAndDecodeOnce) {
    rkXMLFStream s;
    EXPECT_EQ(encoded(s, "a<b & c>d"), "a&lt;b &amp; c&gt;d");
    EXPECT_EQ(decoded(s, "a&lt;b &amp; c&gt;d"), "a<b & c>d");
    EXPECT_EQ(encoded(s, "&lt;"), "&amp;lt;");
    EXPECT_EQ(decoded(s, "&amp;lt;"), "&lt;");
    EXPECT_EQ(encoded(s, "\"'\xE4\x80\xE9\xA0\x01"), "&quot;&apos;&#228;&#8364;\xE9\xA0\x01");
    EXPECT_EQ(decoded(s, "&#228;&#8364;&auml;&#xE4;&#65;&amp"), "\xE4\x80&auml;&#xE4;&#65;&amp");
}

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

TEST(Symbols, EditingTheTables) {
    rkXMLFStream s;
    s.addSymbol("&lt;", "[");
    EXPECT_EQ(encoded(s, "[<"), "&lt;<");
    EXPECT_EQ(decoded(s, "&lt;"), "[");
    const auto before = StreamAccess::symbols(s);
    EXPECT_THROW(s.addSymbol("", "x"), std::invalid_argument);
    EXPECT_THROW(s.addSymbol("&lt;", ""), std::invalid_argument);
    EXPECT_THROW(s.addSymbol("&new;", ""), std::invalid_argument);
    EXPECT_EQ(StreamAccess::symbols(s), before);

    s.clearSymbols();
    EXPECT_TRUE(StreamAccess::symbols(s).empty());
    EXPECT_TRUE(StreamAccess::openTags(s).empty());
    EXPECT_EQ(encoded(s, "<&>\xE4"), "<&>\xE4");
    EXPECT_EQ(decoded(s, "&lt;&amp;"), "&lt;&amp;");

    s.addSymbol("&lt;", "[");
    s.addSymbol("&own;", "o");
    s.defaultSymbols();  // resets the thirteen, keeps the rest
    EXPECT_EQ(StreamAccess::symbols(s).size(), 14u);
    EXPECT_EQ(encoded(s, "[<o"), "[&lt;&own;");
    EXPECT_EQ(StreamAccess::openTags(s), Tags{"br"});
}

TEST(Symbols, OpenTagsAreLowerCasedAsciiOnly) {
    rkXMLFStream s;
    s.addOpenTag("HR");
    s.addOpenTag("br");
    s.addOpenTag(std::string("IMG\0X", 5));  // kept up to the zero byte
    s.addOpenTag("\xC4Z");
    EXPECT_EQ(StreamAccess::openTags(s), (Tags{"br", "hr", "img", "\xC4z"}));
    std::string text("Table-1_\xD6\0AB", 12);
    rkxml_detail::grammar::toLower(text);
    EXPECT_EQ(text, std::string("table-1_\xD6\0AB", 12));
}
