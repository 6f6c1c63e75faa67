#include <string>
#include <vector>

#include "stream/StreamAccess.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using rkxml_detail::StreamAccess;
using Tags = std::set<std::string, std::less<>>;
using Rows = std::vector<TableRow<std::string>>;

namespace {
// Checks each row's input encoded (as the writer does) or decoded (as the reader does) with the tables of `s`.
void expectEncoded(const rkXMLFStream& s, const Rows& rows) {
    for (const auto& [name, input, expected] : rows) EXPECT_EQ(StreamAccess::encoded(s, input), expected) << name;
}
void expectDecoded(const rkXMLFStream& s, const Rows& rows) {
    for (const auto& [name, input, expected] : rows) EXPECT_EQ(StreamAccess::decoded(s, input), expected) << name;
}

// A stream whose only pairs are `pairs`, added in this order.
rkXMLFStream withPairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
    rkXMLFStream s;
    s.clearSymbols();
    for (const auto& [entity, character] : pairs) s.addSymbol(entity, character);
    return s;
}

std::string x(std::size_t count) { return std::string(count, 'x'); }
}  // namespace

TEST(Symbols, DefaultTable) {
    rkXMLFStream s;
    expectEncoded(s, {{"XML's characters and eight Windows-1252 bytes", "a<b &lt; c>\"'\xE4\x80\xE9\x01",
                       "a&lt;b &amp;lt; c&gt;&quot;&apos;&#228;&#8364;\xE9\x01"},
                      {"members at the ends of a block of sixteen, high bytes that are none",
                       x(15) + "<>" + std::string(13, '\xE9') + "\xE4\x80" + x(20) + "&",
                       x(15) + "&lt;&gt;" + std::string(13, '\xE9') + "&#228;&#8364;" + x(20) + "&amp;"}});
    expectDecoded(s, {{"entities are decoded once, others stay", "&lt;&amp;lt;&#228;&#8364;&auml;&#xE4;&amp",
                       "<&lt;\xE4\x80&auml;&#xE4;&amp"},
                      {"runs around the size of a block copied at a time",
                       x(33) + "&gt;" + x(32) + "&gt;" + x(31) + "&gt;" + x(1) + "&gt;" + x(32),
                       x(33) + ">" + x(32) + ">" + x(31) + ">" + x(1) + ">" + x(32)}});
}

// At each position the first pair in the table's order (ascending entity text) whose text stands there wins.
TEST(Symbols, TheFirstPairInTheTablesOrderWins) {
    rkXMLFStream s;
    s.addSymbol("&#60;", "<");  // sorts before "&lt;"
    expectEncoded(s, {{"the smallest entity text of a character", "a<b", "a&#60;b"}});
    s.addSymbol("&lt;", "[");
    expectEncoded(s, {{"a character text that is replaced", "[<", "&lt;&#60;"}});
    expectDecoded(withPairs({{"&x", "1"}, {"&x;", "2"}}), {{"an entity that starts another", "&x;", "1;"}});
    expectEncoded(withPairs({{"&ab;", "a"}, {"&b;", "ab"}}), {{"a pair before a longer match", "abc", "&ab;bc"}});
    // One-byte and longer texts that share their second byte are searched by that byte.
    expectEncoded(withPairs({{"&1;", "ab"}, {"&2;", "a"}, {"&3;", "abc"}}),
                  {{"a longer pair before the one-byte pair", "abc", "&1;c"},
                   {"a two-byte text at the second-last byte", "xab", "x&1;"},
                   {"a two-byte text before eight more bytes", "ab" + x(8), "&1;" + x(8)}});
    expectEncoded(withPairs({{"&1;", "a"}, {"&2;", "ab"}, {"&3;", "abc"}}),
                  {{"the one-byte pair before longer ones", "ab", "&1;b"},
                   {"the one-byte pair before eight more bytes", "abc" + x(8), "&1;bc" + x(8)}});
    // Texts that end in a byte found nowhere else in them are looked up whole.
    expectDecoded(withPairs({{"&", "+"}, {"&gt;", ">"}, {"&lt;", "<"}}),
                  {{"a one-byte entity before terminated ones", "&lt;x&", "+lt;x+"}});
    expectDecoded(withPairs({{"&gt;", ">"}, {"&lt;", "<"}}), {{"terminated entities at the end", "&lt;&gt", "<&gt"}});
}

TEST(Symbols, EditingTheTables) {
    rkXMLFStream s;
    const auto before = StreamAccess::symbols(s);
    // An empty text would match everywhere and never let a walk end.
    EXPECT_EQ(errorOf([&] { s.addSymbol("", "x"); }), "rkXMLFStream::addSymbol: empty entity text");
    EXPECT_EQ(errorOf([&] { s.addSymbol("&new;", ""); }), "rkXMLFStream::addSymbol: empty character text");
    EXPECT_EQ(StreamAccess::symbols(s), before);
    s.clearSymbols();
    expectEncoded(s, {{"without pairs", "<&>\xE4", "<&>\xE4"}});
    EXPECT_EQ(StreamAccess::openTags(s), Tags{});
    s.addSymbol("&lt;", "[");
    s.addSymbol("&own;", "o");
    s.defaultSymbols();  // sets the thirteen again, keeps the rest
    expectEncoded(s, {{"defaults again", "[<o\xE4", "[&lt;&own;&#228;"}});
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
    const std::string invalid =
        "&#0;&#1;&#xD800;&#xDFFF;&#xFFFE;&#x110000;&#99999999999999999999;&#X41;&#x;&#;&#x4G;&#65";
    expectDecoded(s, {{"valid references", "&#65;&#233;&#xE9;&#xe9;&#0233;&#x1F600;&#xD7FF;&#xE000;&#x10FFFF;",
                       "A\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF"},
                      {"decoded once", "&#9;&#10;&#13;&#x20;&#38;lt;&#x26;#65;", "\t\n\r &lt;&#65;"},
                      {"references to no allowed character", invalid, invalid},
                      // Each of these numbers wraps round to 65, the letter A, in 32 bits.
                      {"a decimal number beyond 32 bits", "&#4294967361;", "&#4294967361;"},
                      {"a hexadecimal number beyond 32 bits", "&#x100000041;", "&#x100000041;"},
                      {"thirty digits", "&#100000000000000000001610612801;", "&#100000000000000000001610612801;"}});
}
