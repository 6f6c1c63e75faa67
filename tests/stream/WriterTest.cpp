// The writer: one node per line, values as the reader gets them back, and every tree or table that would not read
// back as it stands refused before anything is written.
#include <pthread.h>

#include <cstdint>
#include <string>
#include <utility>

#include "tests/TestSupport.h"

using namespace testing_support;
using Writer = DocumentInScratch;

// Trees read from the first text are written as the second: one node per line, one blank per level.
TEST_F(Writer, LaysOutOneNodePerLine) {
    const TableRow<std::string> rows[] = {
        {"a declaration and comments", "<?xml version='1.0'?><!-- a --><?xml?><e/>",
         "<?xml version=\"1.0\" ?>\n<!-- a -->\n<e/>"},
        {"an element without content", "<e></e>", "<e/>"},
        {"attributes in byte order of their names", "<e b=\"2\" B=\"3\" a=\"1\"/>", "<e B=\"3\" a=\"1\" b=\"2\"/>"},
        {"attribute values as they are", "<e q=\"A&B'<\"/>", "<e q=\"A&B'<\"/>"},
        {"one child closes on its line", "<e><c/></e>", "<e>\n <c/></e>"},
        {"a value and one child", "<e>v<c>x</c></e>", "<e>v\n <c>x</c></e>"},
        {"several children close on a line of their own", "<e><!--c--><d/></e>", "<e>\n <!--c-->\n <d/>\n</e>"},
        {"a value among several children has its line", "<e>v<c/><d/></e>", "<e>\n v\n <c/>\n <d/>\n</e>"},
        {"one blank per level", "<a><b><c/><d/></b></a>", "<a>\n <b>\n  <c/>\n  <d/>\n </b></a>"},
        {"open tags have no end tag", "<br><BR>", "<br>\n<BR>"},
    };
    for (const auto& [name, text, expected] : rows) {
        SCOPED_TRACE(name);
        document.makeEmpty();
        stream.readDocumentFromString(document, text);
        EXPECT_EQ(written(), expected);
    }
    stream.clearSymbols();  // no open tags any more
    EXPECT_EQ(written(), "<br/>\n<BR/>");
}

// UTF-8 mode writes the names and characters of XML in the set that the header declares.
TEST_F(Writer, Utf8ModeWritesXmlInTheDeclaredSet) {
    const TableRow<std::string> rows[] = {
        {"UTF-8", "",
         "<_:a.b-\xC2\xB7\xF0\x90\x80\x80 "
         "\xC3\xA9=\"\xEF\xBF\xBD\">\xC2\x85\t\xF4\x8F\xBF\xBD</_:a.b-\xC2\xB7\xF0\x90\x80\x80>"},
        {"ISO-8859-1", "ISO-8859-1", "<\xE9\xB7 \xC0=\"\x85\">\xFF</\xE9\xB7>"},
        {"Windows-1252", "windows-1252", "<\xE9\x8A \xC0=\"\x80\">\x9F</\xE9\x8A>"},
    };
    stream.utf8Symbols();
    for (const auto& [name, encoding, text] : rows) {
        SCOPED_TRACE(name);
        document.makeEmpty();
        stream.readDocumentFromString(document, text);
        document.setHeader("1.0", encoding);
        const std::string header = encoding.empty() ? "" : " encoding=\"" + encoding + "\"";
        EXPECT_EQ(written(), "<?xml version=\"1.0\"" + header + " ?>\n" + text);
    }
}

TEST_F(Writer, ValuesAsTheReaderGetsThemBack) {
    const TableRow<std::string> rows[] = {
        {"a blank is left out", " ", "<v></v>"},
        {"blanks with one line feed, carriage return and tab are left out", " \n \r\t ", "<v></v>"},
        {"two line feeds are kept", "\n\n", "<v>\n\n</v>"},
        {"two carriage returns are kept", "\r\r", "<v>\r\r</v>"},
        {"two tabs are kept", "\t\t", "<v>\t\t</v>"},
        {"blanks around text are kept", " a  b ", "<v> a  b </v>"},
        {"special characters become entities", "A&B<C>\"'", "<v>A&amp;B&lt;C&gt;&quot;&apos;</v>"},
        {"Windows-1252 bytes become references", "\xE4\x80\xE9", "<v>&#228;&#8364;\xE9</v>"},
    };
    rkXMLElement* v = addElement(document.getRoot(), "v");
    for (const auto& [name, value, expected] : rows) {
        v->setValue(value);
        EXPECT_EQ(written(), expected) << name;
    }
}

// The bound a caller checks before writing: at least the bytes written, entities counted as written.
TEST_F(Writer, WrittenSizeAtLeastCountsWithoutWriting) {
    const TableRow<std::string, std::uint64_t> rows[] = {
        {"names, marks, line breaks and indentation", "<a>\n<b>x</b></a>", 17},
        {"a byte of the table as its entity", "<a>\xE4</a>", 13},
        {"an empty element without its slash", "<a><a><a/></a></a>", 22},
        {"an attribute value as it stands", "<a b=\"&lt;\"/>", 12},
    };
    for (const auto& [name, text, expected] : rows) {
        SCOPED_TRACE(name);
        document.makeEmpty();
        stream.readDocumentFromString(document, text);
        EXPECT_EQ(stream.writtenSizeAtLeast(document), expected);
        EXPECT_LE(expected, written().size());
    }
    stream.utf8Symbols();  // attribute values are coded too
    EXPECT_EQ(stream.writtenSizeAtLeast(document), 16u);
}

// A writer that recursed once per level would overflow the thread's 128 KB stack.
TEST_F(Writer, DeepChainOnASmallStack) {
    constexpr unsigned depth = 5000;
    rkXMLNode* parent = document.getRoot();
    for (unsigned i = 0; i < depth; ++i) parent = addElement(parent, "e");
    auto write = [](void* document) -> void* {
        rkXMLFStream().writeDocument(*static_cast<const rkXMLDocument*>(document));
        return nullptr;
    };
    pthread_attr_t attributes;
    pthread_t thread;
    pthread_attr_init(&attributes);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 128 * 1024), 0);
    ASSERT_EQ(pthread_create(&thread, &attributes, write, &document), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    std::string expected;
    for (unsigned d = 0; d < depth; ++d)
        expected += (d ? "\n" : "") + std::string(d, ' ') + (d + 1 < depth ? "<e>" : "<e/>");
    EXPECT_TRUE(sameBytes(readFile(target), expected + repeated("</e>", depth - 1)));
}

namespace {
// A change that makes the document or the stream's tables such that the writer must refuse them.
struct Refusal {
    std::string name;
    std::function<void(rkXMLDocument&, rkXMLFStream&)> change;
    std::string message;
};

rkXMLElement* top(rkXMLDocument& document) { return element(document.getTopLevelElement()); }

rkXMLHeader* header(const std::string& version, const std::string& encoding = "") {
    auto* made = new rkXMLHeader;
    made->setVersion(version);
    made->setEncodingType(encoding);
    return made;
}

// UTF-8 mode, or with `foreign` the mode for files from other programs.
void inUtf8(rkXMLFStream& stream, bool foreign) { foreign ? stream.foreignXml() : stream.utf8Symbols(); }

void useTable(rkXMLFStream& stream, const std::vector<std::pair<std::string, std::string>>& pairs) {
    stream.clearSymbols();
    for (const auto& [entity, character] : pairs) stream.addSymbol(entity, character);
}

std::vector<Refusal> refusals() {
    using D = rkXMLDocument;
    using S = rkXMLFStream;
    std::vector<Refusal> rows;
    // Control characters show as \xHH, so that a name cannot forge lines of the log: bytes below 32 and 127, C1
    // controls in UTF-8 and the bytes 0x80 to 0x9F that start no UTF-8 character; other bytes stay.
    const std::pair<const char*, const char*> elementNames[] = {
        {"", ""},
        {"a b", "a b"},
        {"a\tb", "a\\x09b"},
        {"a\rb", "a\\x0Db"},
        {"a\n\x7F", "a\\x0A\\x7F"},
        {"a>b", "a>b"},
        {"/a", "/a"},
        {"?a", "?a"},
        {"!--a", "!--a"},
        {"a/", "a/"},
        {"a b\xC2\x85\x9B\xC2", "a b\\xC2\\x85\\x9B\xC2"},
        {"a b\xE9\xC2\xA0\xE2\x82\xAC", "a b\xE9\xC2\xA0\xE2\x82\xAC"}};
    for (const auto& [name, shown] : elementNames) {
        rows.push_back({"element name " + std::string(shown),
                        [name = std::string(name)](D& d, S&) { addElement(top(d), name); },
                        "Error: element name '" + std::string(shown) + "' cannot be written."});
    }
    const std::pair<const char*, const char*> attributeNames[] = {
        {" a", " a"},   {"\ta", "\\x09a"}, {"\ra", "\\x0Da"}, {"\na", "\\x0Aa"}, {">a", ">a"},
        {"/>a", "/>a"}, {"a ", "a "},      {"a\t", "a\\x09"}, {"a\n", "a\\x0A"}, {"a=\"b", "a=\"b"}};
    for (const auto& [name, shown] : attributeNames) {
        rows.push_back({"attribute name " + std::string(shown),
                        [name = std::string(name)](D& d, S&) { top(d)->setAttribute(name, "1"); },
                        "Error: attribute name '" + std::string(shown) + "' of element 'top' cannot be written."});
    }
    // UTF-8 mode, also for files from other programs, writes XML's names only.
    const std::pair<const char*, bool> xmlElementNames[] = {
        {"1x", false},       {"..", false},       {"-a", false},        {"a<b", false},
        {"![CDATA[x", true}, {"!DOCTYPE", false}, {"a\xC2\xA0", false}, {"\xE9", true}};
    for (const auto& [name, foreign] : xmlElementNames) {
        rows.push_back({"XML element name " + std::string(name),
                        [name = name, foreign = foreign](D& d, S& s) {
                            inUtf8(s, foreign);
                            addElement(top(d), name);
                        },
                        "Error: element name '" + std::string(name) + "' cannot be written."});
    }
    for (const char* name : {"", "1a", "@a\"b", "a\xEF\xBF\xBF"}) {
        rows.push_back({"XML attribute name " + std::string(name),
                        [=](D& d, S& s) {
                            inUtf8(s, false);
                            top(d)->setAttribute(name, "1");
                        },
                        "Error: attribute name '" + std::string(name) + "' of element 'top' cannot be written."});
    }
    // And only the characters that XML allows, of the set that the header declares.
    const std::string notXml = " holds a character that XML does not allow.";
    const TableRow<std::string, std::string> characters[] = {
        {"a control character", "", "x\x01y"},
        {"U+FFFE", "", "\xEF\xBF\xBE"},
        {"U+FFFF", "", "\xEF\xBF\xBF"},
        {"a surrogate", "", "\xED\xA0\x80"},
        {"a byte of no UTF-8 character", "", "\xE9"},
        {"a control character of ISO-8859-1", "ISO-8859-1", "\xE9\x0B"},
        {"a byte that Windows-1252 leaves undefined", "windows-1252", "\x81"},
        {"a byte beyond US-ASCII", "US-ASCII", "\xE9"},
    };
    // Where a text goes, and how a refusal names that place.
    const std::pair<std::function<void(rkXMLElement*, const std::string&)>, std::string> places[] = {
        {[](rkXMLElement* e, const std::string& text) { e->setValue(text); }, "value of element 'top'"},
        {[](rkXMLElement* e, const std::string& text) { e->setAttribute("a", text); },
         "attribute 'a' of element 'top'"},
        {[](rkXMLElement* e, const std::string& text) { addComment(e, text); }, "comment"}};
    for (const auto& [name, encoding, text] : characters) {
        for (const auto& [put, place] : places) {
            rows.push_back({place + " holding " + name,
                            [encoding = encoding, text = text, put = put](D& d, S& s) {
                                inUtf8(s, false);
                                d.setHeader("1.0", encoding);
                                put(top(d), text);
                            },
                            "Error: " + place + notXml});
        }
    }
    for (const char* comment : {"a--b", "a-", "-"}) {
        rows.push_back({"an XML comment " + std::string(comment),
                        [=](D& d, S& s) {
                            inUtf8(s, true);
                            addComment(d.getRoot(), comment);
                        },
                        "Error: comment holds '--' or ends in '-'."});
    }
    rows.push_back({"an XML declaration after the element",
                    [](D& d, S& s) {
                        inUtf8(s, false);
                        d.removeHeader();
                        element(d.getRoot())->addChild(header("1.0"), rkXMLElement::npos);
                    },
                    "Error: header after other nodes cannot be written."});
    rows.push_back({"an XML declaration of version 2.0",
                    [=](D& d, S& s) {
                        inUtf8(s, false);
                        d.setHeader("2.0", "");
                    },
                    "Error: header '<?xml version=\"2.0\" ?>' cannot be written."});
    rows.push_back({"an XML declaration of UTF-16, above UTF-8 bytes",
                    [=](D& d, S& s) {
                        inUtf8(s, false);
                        d.setHeader("1.0", "UTF-16");
                    },
                    "Error: header '<?xml version=\"1.0\" encoding=\"UTF-16\" ?>' cannot be written."});
    const std::string notReadBack = "' does not read back with this symbol table.";
    rows.insert(
        rows.end(),
        {
            {"a double quote in an attribute value", [](D& d, S&) { top(d)->setAttribute("q\n", "say \"hi\""); },
             "Error: attribute 'q\\x0A' of element 'top' holds a double quote."},
            {"a double quote that a UTF-8 table writes as it is",
             [](D& d, S& s) {
                 s.utf8Symbols();
                 s.addSymbol("&quot;", "q");
                 top(d)->setAttribute("q", "\"");
             },
             "Error: attribute 'q' of element 'top' holds a double quote."},
            // The reader closes an open tag at once, so its content would end the next reading.
            {"an open tag with a value", [](D& d, S&) { addElement(top(d), "Br", "x"); },
             "Error: open tag 'Br' cannot hold a value or children."},
            {"an open tag with a child", [](D& d, S&) { addComment(addElement(top(d), "br"), "c"); },
             "Error: open tag 'br' cannot hold a value or children."},
            {"a comment holding -->", [](D& d, S&) { addComment(top(d), "a-->b"); }, "Error: comment holds '-->'."},
            {"a hidden root of another name", [](D& d, S&) { d.getRoot()->setName("root"); },
             "Error: tree root is not named ?root?"},
            {"a header that is no declaration", [](D& d, S&) { d.getHeader()->setName("<b>"); },
             "Error: header '<b>' cannot be written."},
            {"a header with a line break", [](D& d, S&) { d.getHeader()->setName("<?xml\n?>"); },
             "Error: header '<?xml\\x0A?>' cannot be written."},
            {"a declaration ending early", [](D& d, S&) { d.getHeader()->setName("<?xml?> ?>"); },
             "Error: header '<?xml?> ?>' cannot be written."},
            {"a declaration of another version", [](D& d, S&) { d.getHeader()->setName("<?xml version=\"1.1\" ?>"); },
             "Error: header '<?xml version=\"1.1\" ?>' cannot be written."},
            {"a header whose version was never set",
             [](D& d, S&) {
                 d.removeHeader();
                 auto* made = new rkXMLHeader;
                 made->setEncodingType("utf-8");  // the text reads version="", which reads back as 1.0
                 element(d.getRoot())->addChild(made, 0);
             },
             "Error: header '<?xml version=\"\" encoding=\"utf-8\" ?>' cannot be written."},
            {"a header inside an element", [](D& d, S&) { top(d)->addChild(header("1.0"), 0); },
             "Error: header inside an element cannot be written."},
            {"a second header", [](D& d, S&) { element(d.getRoot())->addChild(header("1.1"), rkXMLElement::npos); },
             "Error: a second header cannot be written."},
            // The default and the UTF-8 table encode every value so that it reads back; other tables are checked.
            {"a value holding < without a table",
             [](D& d, S& s) {
                 s.clearSymbols();
                 top(d)->setValue("A<C");
             },
             "Error: value of element 'top' holds '<' once encoded."},
            {"a value holding < with a table without &lt;",
             [](D& d, S& s) {
                 useTable(s, {{"&amp;", "&"}});
                 top(d)->setValue("A<C>");
             },
             "Error: value of element 'top' holds '<' once encoded."},
            {"a value with an entity when & is not encoded",
             [](D& d, S& s) {
                 useTable(s, {{"&lt;", "<"}});
                 top(d)->setValue("&lt;");
             },
             "Error: value of element 'top" + notReadBack},
            {"a value decoded though never encoded",
             [](D& d, S& s) {
                 s.addSymbol("AB", "x");  // x is written AB, but so is AB itself
                 top(d)->setValue("AB");
             },
             "Error: value of element 'top" + notReadBack},
            {"a character reference decoded",
             [](D& d, S& s) {
                 s.utf8Symbols();
                 s.addSymbol("&amp;", "and");  // '&' is no longer encoded
                 top(d)->setValue("&#65;");
             },
             "Error: value of element 'top" + notReadBack},
            {"an attribute value that a UTF-8 table does not give back",
             [](D& d, S& s) {
                 s.utf8Symbols();
                 s.addSymbol("AB", "x");
                 top(d)->setAttribute("a", "AB");
             },
             "Error: attribute 'a' of element 'top" + notReadBack},
            {"an entity with a blank", [](D&, S& s) { s.addSymbol("&a b;", "x"); },
             "Error: entity '&a b;' of the symbol table holds a blank, tab or line feed."},
            {"an entity of a line feed",
             [](D&, S& s) {
                 useTable(s, {{"\n", "x"}});
             },
             "Error: entity '\\x0A' of the symbol table holds a blank, tab or line feed."},
            {"the first fault in document order",
             [](D& d, S& s) {
                 s.clearSymbols();
                 top(d)->setValue("A<C");
                 element(d.getRoot())->addChild(header("1.1"), rkXMLElement::npos);
             },
             "Error: value of element 'top' holds '<' once encoded."},
        });
    return rows;
}
}  // namespace

// A tree that would not read back as it stands is refused before the file is touched; the message is logged.
TEST_F(Writer, RefusesWhatWouldNotReadBack) {
    for (const Refusal& row : refusals()) {
        SCOPED_TRACE(row.name);
        rkXMLFStream tables;
        rkXMLDocument refused;
        refused.setFileName(target);
        refused.setStandardHeader();
        addElement(refused.getRoot(), "top");
        EXPECT_EQ(errorOf([&] { textOf(refused, tables); }), noException);
        row.change(refused, tables);
        writeFile(target, "old\ncontent");
        expectRefused(target, row.message, [&] { return errorOf([&] { tables.writeDocument(refused); }); });
        EXPECT_EQ(readFile(target + ".log"), row.message);
        std::string text = "kept";
        EXPECT_EQ(errorOf([&] { tables.writeDocumentToString(refused, text); }), row.message);
        EXPECT_EQ(text, "kept");
    }
}

#ifndef _WIN32
// Fills the writer's buffer several times over (it hands a file pieces of about a megabyte), with a value larger
// than the buffer, which goes to a file at once, followed by a line break; then appends `last`.
static std::string fillSeveralBuffers(rkXMLDocument& document, const std::string& last) {
    rkXMLElement* top = addElement(document.getRoot(), "top");
    addElement(addElement(top, "big", repeated("0123456789abcdef", 100000)), "tail");
    for (int i = 0; i < 60000; ++i) addElement(top, "entry", "value " + std::to_string(i) + " & more");
    addElement(top, last);
    return "<top>\n <big>" + repeated("0123456789abcdef", 100000) + "\n  <tail/></big>\n <entry>value 0 &amp; more";
}

TEST_F(Writer, SeveralBuffersGoAlikeToAFileAPipeAndAString) {
    const std::string start = fillSeveralBuffers(document, "last");
    const std::string text = written();
    EXPECT_TRUE(sameBytes(text.substr(0, start.size()), start));
    EXPECT_EQ(text.substr(text.size() - 14), "<last/>\n</top>");
    stream.writeDocument(document);
    EXPECT_TRUE(sameBytes(readFile(target), text));
    FifoReader fifo(path("pipe.xml"));
    ASSERT_TRUE(fifo.isOpen());
    document.setFileName(path("pipe.xml"));
    stream.writeDocument(document);
    EXPECT_TRUE(sameBytes(fifo.received(), text));
}

// Nodes are checked in document order whatever the target, and a pipe gets nothing of a refused tree, however
// long: what it received could not be taken back.
TEST_F(Writer, PipeGetsNothingOfARefusedTree) {
    rkXMLElement* top = addElement(document.getRoot(), "top");
    addElement(addElement(top, "first"), "bad one");
    addElement(top, "second one");
    const std::string firstInOrder = "Error: element name 'bad one' cannot be written.";
    EXPECT_EQ(errorOf([&] { written(); }), firstInOrder);
    for (const bool large : {false, true}) {
        SCOPED_TRACE(large ? "several buffers before the refused node" : "a small tree");
        if (large) document.makeEmpty();
        if (large) fillSeveralBuffers(document, "bad one");
        FifoReader fifo(path(large ? "large.xml" : "small.xml"));
        ASSERT_TRUE(fifo.isOpen());
        document.setFileName(path(large ? "large.xml" : "small.xml"));
        EXPECT_EQ(errorOf([&] { stream.writeDocument(document); }), firstInOrder);
        EXPECT_EQ(fifo.received().size(), 0u);
    }
}
#endif
