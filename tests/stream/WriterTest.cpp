#include <pthread.h>

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

TEST_F(Writer, EmptyTreesAndNodesOfNoKindWriteNothing) {
    writeFile(target, "a longer text that was there before");
    stream.writeDocument(document);
    EXPECT_EQ(readFile(target), "");
    EXPECT_EQ(written(), "");
    rkXMLElement* e = addElement(document.getRoot(), "e");
    e->addChild(new rkXMLNode, 0);
    EXPECT_EQ(written(), "<e></e>");
    e->push_back(nullptr);  // but they count as children
    EXPECT_EQ(written(), "<e>\n</e>");
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

// A tree that would not read back as it stands is refused before the file is touched.
TEST_F(Writer, RefusesTreesThatWouldNotReadBack) {
    auto expectWriteRefused = [&](const std::string& message) {
        SCOPED_TRACE(message);
        writeFile(target, "old\ncontent");
        expectRefused(target, message, [&] { return errorOf([&] { stream.writeDocument(document); }); });
        EXPECT_EQ(readFile(target + ".log"), message);
        std::string text = "kept";
        EXPECT_EQ(errorOf([&] { stream.writeDocumentToString(document, text); }), message);
        EXPECT_EQ(text, "kept");
    };
    rkXMLElement* top = addElement(document.getRoot(), "top");
    // Bytes below 32 and 127 show as \xHH, so that a name cannot forge lines of the log.
    const std::pair<std::string, std::string> badNames[] = {
        {"", ""},       {"a b", "a b"}, {"a\tb", "a\\x09b"}, {"a\rb", "a\\x0Db"}, {"a\n\x7F", "a\\x0A\\x7F"},
        {"a>b", "a>b"}, {"/a", "/a"},   {"?a", "?a"},        {"!--a", "!--a"},    {"a/", "a/"}};
    for (const auto& [name, shown] : badNames) {
        rkXMLElement* bad = addElement(top, name);
        expectWriteRefused("Error: element name '" + shown + "' cannot be written.");
        top->removeChild(bad);
    }
    rkXMLElement* e = addElement(top, "e");
    const std::pair<std::string, std::string> badAttributes[] = {
        {" a", " a"},   {"\ta", "\\x09a"}, {"\ra", "\\x0Da"}, {"\na", "\\x0Aa"}, {">a", ">a"},
        {"/>a", "/>a"}, {"a ", "a "},      {"a\t", "a\\x09"}, {"a\n", "a\\x0A"}, {"a=\"b", "a=\"b"}};
    for (const auto& [name, shown] : badAttributes) {
        e->setAttribute(name, "1");
        expectWriteRefused("Error: attribute name '" + shown + "' of element 'e' cannot be written.");
        e->removeAttribute(name);
    }
    e->setAttribute("q\n", "say \"hi\"");
    expectWriteRefused("Error: attribute 'q\\x0A' of element 'e' holds a double quote.");
    e->removeAttribute("q\n");
    // The reader closes an open tag at once, so its content would end the next reading.
    rkXMLElement* br = addElement(top, "Br", "x");
    expectWriteRefused("Error: open tag 'Br' cannot hold a value or children.");
    br->setValue("");
    addComment(br, "c");
    expectWriteRefused("Error: open tag 'Br' cannot hold a value or children.");
    top->removeChild(br);
    addComment(e, "a-->b");
    expectWriteRefused("Error: comment holds '-->'.");
    document.getRoot()->setName("root");
    expectWriteRefused("Error: tree root is not named ?root?");
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
