#include <map>
#include <random>
#include <stdexcept>
#include <string>

#include "stream/Grammar.h"
#include "stream/StreamAccess.h"
#include "tests/TestSupport.h"

using rkxml_detail::StreamAccess;
using Tags = std::set<std::string, std::less<>>;

static std::string encoded(const rkXMLFStream& stream, std::string text) { return StreamAccess::encoded(stream, std::move(text)); }
static std::string decoded(const rkXMLFStream& stream, std::string text) { return StreamAccess::decoded(stream, std::move(text)); }

TEST(Symbols, DefaultSymbolsEncodeAndDecodeOnce) {
    rkXMLFStream s;
    EXPECT_EQ(encoded(s, "a<b & c>d"), "a&lt;b &amp; c&gt;d");
    EXPECT_EQ(decoded(s, "a&lt;b &amp; c&gt;d"), "a<b & c>d");
    EXPECT_EQ(encoded(s, "&lt;"), "&amp;lt;");
    EXPECT_EQ(decoded(s, "&amp;lt;"), "&lt;");
    EXPECT_EQ(encoded(s, "\"'\xE4\x80\xE9\xA0\x01"), "&quot;&apos;&#228;&#8364;\xE9\xA0\x01");
    EXPECT_EQ(decoded(s, "&#228;&#8364;&auml;&#xE4;&#65;&amp"), "\xE4\x80&auml;&#xE4;&#65;&amp");
}

// The walk in its plainest form: at each position every pair is tried in the
// table's order. The codec's index must give the same results on any table.
static std::string walked(const std::map<std::string, std::string>& table, const std::string& text, bool encode) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        bool replaced = false;
        for (const auto& [entity, character] : table) {
            const std::string& from = encode ? character : entity;
            if (text.compare(at, from.size(), from) == 0) {
                out += encode ? entity : character;
                at += from.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[at++];
    }
    return out;
}

TEST(Symbols, IndexedWalkMatchesThePlainWalkOnRandomTables) {
    std::mt19937 random(7);
    const std::string alphabet = "&;#ab<>\xE4";  // few bytes, so that texts overlap and compete
    auto randomText = [&](std::size_t longest) {
        std::string text(1 + random() % longest, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        rkXMLFStream s;
        if (round % 2 == 1) s.clearSymbols();
        for (int pairs = random() % 12; pairs > 0; --pairs) s.addSymbol(randomText(10), randomText(3));
        const auto& table = StreamAccess::symbols(s);
        for (int sample = 0; sample < 20; ++sample) {
            const std::string text = randomText(40);
            ASSERT_EQ(encoded(s, text), walked(table, text, true)) << "round " << round;
            ASSERT_EQ(decoded(s, text), walked(table, text, false)) << "round " << round;
        }
    }
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
