#ifndef _WIN32
#include <fcntl.h>
#endif
#include <pthread.h>

#include <string>
#include <utility>

#include "tests/TestSupport.h"

using namespace testing_support;

struct Writer : ScratchTest {
    Writer() { document.setFileName(path("out.xml")); }
    std::string written() {
        std::string text = "stale";
        stream.writeDocumentToString(document, text);
        return text;
    }
    rkXMLFStream stream;
    rkXMLDocument document;
};

TEST_F(Writer, IndentsOneNodePerLineToFileAndString) {
    addComment(document.getRoot(), " data ");
    document.setHeader("1.0", "utf-8");  // placed in front
    rkXMLElement* data = addElement(document.getRoot(), "data");
    data->setAttribute("b", "2");
    data->setAttribute("a", "1");
    addElement(addElement(data, "list"), "entry", "x");
    addElement(data, "text");
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<!-- data -->\n<data a=\"1\" b=\"2\">\n"
        " <list>\n  <entry>x</entry></list>\n <text/>\n</data>";
    writeFile(path("out.xml"), expected + " and a longer text that was there before");
    stream.writeDocument(document);
    EXPECT_EQ(readFile(path("out.xml")), expected);
    EXPECT_EQ(written(), expected);
    document.makeEmpty();  // nothing to write: an empty file
    stream.writeDocument(document);
    EXPECT_EQ(readFile(path("out.xml")) + written(), "");
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"out.xml"});
}

TEST_F(Writer, ValuesEmptyElementsAndOpenTags) {
    rkXMLNode* root = document.getRoot();
    element(root)->addChild(new rkXMLNode, rkXMLElement::npos);  // of no kind: nothing, not even a line break
    const std::string longTag(64, 'l');
    for (const std::string& name : {std::string("br"), std::string("BR"), longTag}) addElement(root, name);
    addElement(root, "e")->setAttribute("a", "1");
    // Blanks with at most one line feed, carriage return and tab read back as nothing; more do not.
    for (const char* value : {" ", " \n \r\t ", "\n\n", "\r\r", "\t\t", " a  b "}) addElement(root, "v", value);
    rkXMLElement* x = addElement(root, "x", "A&B<C>");
    x->setAttribute("q", "A&B");
    rkXMLElement* many = addElement(root, "m", "val");
    addComment(many, " c ");
    many->push_back(nullptr);  // a null entry writes nothing, but counts as a child
    addElement(many, "c2");
    const std::string middle =
        "\n<e a=\"1\"/>\n<v></v>\n<v></v>\n<v>\n\n</v>\n<v>\r\r</v>\n<v>\t\t</v>\n<v> a  b </v>\n<x q=\"A&B\">";
    const std::string end = "</x>\n<m>\n val\n <!-- c -->\n <c2/>\n</m>";
    stream.addOpenTag(longTag);
    EXPECT_EQ(written(), "<br>\n<BR>\n<" + longTag + ">" + middle + "A&amp;B&lt;C&gt;" + end);
    stream.clearSymbols();
    x->setValue("A&B>C");  // nothing is encoded now, and a '<' would start a tag: refused
    EXPECT_EQ(written(), "<br/>\n<BR/>\n<" + longTag + "/>" + middle + "A&B>C" + end);
}

TEST_F(Writer, PieceLargerThanTheBufferIsWrittenWhole) {
    const std::string value = repeated("0123456789abcdef", 300000);  // 4.8 MB in one piece
    addElement(addElement(document.getRoot(), "a", "x"), "b", value);
    stream.writeDocument(document);
    EXPECT_TRUE(readFile(path("out.xml")) == "<a>x\n <b>" + value + "</b></a>");
    EXPECT_TRUE(written() == readFile(path("out.xml")));
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
    EXPECT_TRUE(readFile(path("out.xml")) == expected + repeated("</e>", depth - 1));
}

// A tree that would not read back as it stands is refused before the file is touched.
TEST_F(Writer, RefusesTreesThatWouldNotReadBack) {
    auto expectRefused = [&](const std::string& message) {
        SCOPED_TRACE(message);
        writeFile(path("out.xml"), "old\ncontent");
        EXPECT_EQ(errorOf([&] { stream.writeDocument(document); }), message);
        EXPECT_EQ(readFile(path("out.xml")), "old\ncontent");
        EXPECT_EQ(readFile(path("out.xml.log")), message);
        std::string text = "kept";
        EXPECT_EQ(errorOf([&] { stream.writeDocumentToString(document, text); }), message);
        EXPECT_EQ(text, "kept");
    };
    rkXMLElement* top = addElement(document.getRoot(), "top");
    // Bytes below 32 show as \xHH, so that a name cannot forge lines of the log.
    const std::pair<std::string, std::string> badNames[] = {
        {"", ""},       {"a b", "a b"}, {"a\tb", "a\\x09b"}, {"a\rb", "a\\x0Db"}, {"a\n\x7F", "a\\x0A\\x7F"},
        {"a>b", "a>b"}, {"/a", "/a"},   {"?a", "?a"},        {"!--a", "!--a"},    {"a/", "a/"}};
    for (const auto& [name, shown] : badNames) {
        rkXMLElement* bad = addElement(top, name);
        expectRefused("Error: element name '" + shown + "' cannot be written.");
        top->removeChild(bad);
    }
    rkXMLElement* e = addElement(top, "e");
    const std::pair<std::string, std::string> badAttributes[] = {
        {" a", " a"},   {"\ta", "\\x09a"}, {"\ra", "\\x0Da"}, {"\na", "\\x0Aa"}, {">a", ">a"},
        {"/>a", "/>a"}, {"a ", "a "},      {"a\t", "a\\x09"}, {"a\n", "a\\x0A"}, {"a=\"b", "a=\"b"}};
    for (const auto& [name, shown] : badAttributes) {
        e->setAttribute(name, "1");
        expectRefused("Error: attribute name '" + shown + "' of element 'e' cannot be written.");
        e->removeAttribute(name);
    }
    e->setAttribute("q\n", "say \"hi\"");
    expectRefused("Error: attribute 'q\\x0A' of element 'e' holds a double quote.");
    e->removeAttribute("q\n");
    // The reader closes an open tag at once, so its content would end the next reading.
    addElement(top, "Br", "x");
    expectRefused("Error: open tag 'Br' cannot hold a value or children.");
    element(top->getChild("Br"))->setValue("");
    addComment(top->getChild("Br"), "c");
    expectRefused("Error: open tag 'Br' cannot hold a value or children.");
    top->removeChild(top->getChild("Br"));
    addComment(e, "a-->b");
    expectRefused("Error: comment holds '-->'.");
    document.getRoot()->setName("root");
    expectRefused("Error: tree root is not named ?root?");
}

TEST_F(Writer, ChecksInDocumentOrderOnEveryTarget) {
#ifdef _WIN32
    GTEST_SKIP() << "needs FIFOs";
#else
    rkXMLElement* top = addElement(document.getRoot(), "top");
    addElement(addElement(top, "first"), "deep one");
    addElement(top, "second one");
    const std::string firstInOrder = "Error: element name 'deep one' cannot be written.";
    const std::string pipe = path("pipe.xml");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int readEnd = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    EXPECT_EQ(errorOf([&] { stream.writeDocument(document); }), firstInOrder);  // to out.xml
    document.setFileName(pipe);
    EXPECT_EQ(errorOf([&] { stream.writeDocument(document); }), firstInOrder);
    EXPECT_EQ(errorOf([&] { written(); }), firstInOrder);
    char byte = 0;
    EXPECT_LE(read(readEnd, &byte, 1), 0);  // the pipe got nothing
    close(readEnd);
#endif
}
