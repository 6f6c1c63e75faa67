// Written trees read back the same, without a warning: here, at hostile sizes, and through Python's ElementTree in
// UTF-8 mode.
#include <cstdlib>
#include <string>

#include "tests/TestSupport.h"

using namespace testing_support;
using RoundTrip = DocumentInScratch;
using HostileInput = DocumentInScratch;
using Utf8Interop = DocumentInScratch;

// The tree that `stream` writes for `document` into its file and reads back, with no warning.
static rkXMLDocument writtenAndRead(const rkXMLDocument& document, rkXMLFStream stream = rkXMLFStream()) {
    stream.writeDocument(document);
    rkXMLDocument back;
    back.setFileName(document.getFileName());
    stream.readDocument(back);
    EXPECT_EQ(listed(stream), Diagnostics());
    return back;
}

// Names and characters as odd as each mode writes: the 8-bit mode any that read back, UTF-8 mode XML's.
static void addOddTree(rkXMLDocument& document, bool xml) {
    document.setHeader("1.1", xml ? "utf-8" : "utf-16");  // UTF-8 mode writes bytes: it names no 16-bit form
    addComment(document.getRoot(), " <top> & \"comment\" - ");
    rkXMLElement* config = addElement(document.getRoot(), "config", "top value");
    for (const char* name : {"", "a\r", "a>b", "/", "k\"q", "x=", "id"}) {
        if (!xml || std::string(name) == "id") config->setAttribute(name, "<&> '");
    }
    if (xml) config->setAttribute("q", "\"quoted\"");  // written as an entity
    addElement(config, "name", xml ? "Demo & <test> \xE4\x80\xA7 &amp;" : "Demo & <test> \xE4\x80\xA7\xE9 &amp;");
    for (const char* name : {"BR", "hr", "empty"}) addElement(config, name);
    addElement(addElement(config, "list", "a list\nover lines"), "item", "x\r");
    addComment(config, xml ? "inner" : "inner-");
    addElement(config, xml ? "_-x" : "!-x", "a\tb\nc");
    addElement(config, "crlf", "\r\n\r");
    addElement(addElement(config, xml ? "a.b" : "a/b", "v"), "deeper")->setAttribute("z", "");
    addElement(document.getRoot(), "second", "2");
}

TEST_F(RoundTrip, WrittenTreeReadsBackTheSameInEitherMode) {
    stream.addSymbol("&sect;", "\xA7");
    stream.addOpenTag("HR");
    addOddTree(document, false);
    EXPECT_EQ(describe(writtenAndRead(document, stream).getRoot()), describe(document.getRoot()));
    stream.utf8Symbols();
    document.makeEmpty();
    addOddTree(document, true);
    EXPECT_EQ(describe(writtenAndRead(document, stream).getRoot()), describe(document.getRoot()));
}

// Huge, deep and wide inputs: every step must give the tree without recursing per level, in linear
// time (anything worse would not end in the test's time). Random bytes are the fuzzers' work.
TEST_F(HostileInput, MillionNestedStartTags) {
    const std::size_t depth = scaled(1000000);
    for (const std::string& tail : {"x" + repeated("</a>", depth), std::string()}) {
        SCOPED_TRACE(tail.empty() ? "never closed" : "closed");
        rkXMLFStream().readDocumentFromString(document, repeated("<a>", depth) + tail);
        rkXMLElement* deepest = element(document.getRoot());
        std::size_t levels = 0;
        for (; deepest->getChildCount() > 0; ++levels) deepest = element(deepest->getChild(0u));
        EXPECT_EQ(levels, depth);
        EXPECT_EQ(deepest->getValue(), tail.empty() ? "" : "x");
        EXPECT_TRUE(rkXMLFactory::removeElement(document.getTopLevelElement()));  // the whole chain at once
    }
}

TEST_F(HostileInput, MillionSiblings) {
    const std::size_t count = scaled(1000000);
    rkXMLFStream().readDocumentFromString(document, "<r>" + repeated("<e/>", count) + "</r>");
    rkXMLNode* top = document.getTopLevelElement();
    EXPECT_EQ(rkXMLFactory::getElements(top, "e").size(), count);
    EXPECT_TRUE(rkXMLFactory::removeElement(rkXMLFactory::getElement(top, static_cast<unsigned>(count - 1))));
    const rkXMLDocument copy(document);  // a wide tree copied, written and read
    EXPECT_EQ(rkXMLFactory::getElements(writtenAndRead(copy).getTopLevelElement(), "e").size(), count - 1);
}

// Each name twice, ascending then descending with other values, then the first again: later values win.
TEST_F(HostileInput, HundredThousandAttributesOnOneElement) {
    const std::size_t count = scaled(100000);
    std::string tag = "<e";
    for (std::size_t i = 0; i < count; ++i)
        tag += " n" + std::to_string(1000000 + i) + "=\"" + std::to_string(i) + "\"";
    for (std::size_t i = count; i-- > 0;) tag += " n" + std::to_string(1000000 + i) + "=\"d" + std::to_string(i) + "\"";
    rkXMLFStream().readDocumentFromString(document, tag + " n1000000=\"last\"/>");
    const auto& attributes = element(document.getTopLevelElement())->getAttributes();
    EXPECT_EQ(attributes.size(), count);
    EXPECT_EQ(attributes.at("n1000000"), "last");
    EXPECT_EQ(attributes.at("n1000001"), "d1");
    EXPECT_EQ(element(writtenAndRead(document).getTopLevelElement())->getAttributes(), attributes);
}

TEST_F(HostileInput, FiftyMegabyteValueOfEntities) {
    const std::string entities = "&lt;&amp;&#228;&#8364;x&quot;&amp;lt;&auml;";
    const std::string characters = "<&\xE4\x80x\"&lt;&auml;";
    const std::size_t times = scaled(50u << 20) / entities.size();
    rkXMLFStream().readDocumentFromString(document, "<v>" + repeated(entities, times) + "</v>");
    const std::string expected = repeated(characters, times);
    EXPECT_TRUE(sameBytes(element(document.getTopLevelElement())->getValue(), expected));
    EXPECT_TRUE(sameBytes(element(writtenAndRead(document).getTopLevelElement())->getValue(), expected));
}

// "python3 SCRIPT IN OUT ENCODING" prints the UTF-8 bytes of each <s>'s text and attribute v in IN, then
// writes IN's tree to OUT ("us-ascii" makes every other character a character reference).
static const char* const interopScript = R"(import sys, xml.etree.ElementTree as ET
tree = ET.parse(sys.argv[1])
for s in tree.getroot():
    sys.stdout.buffer.write((s.text + " " + s.get("v") + "\n").encode())
tree.write(sys.argv[2], encoding=sys.argv[3], xml_declaration=True)
)";

TEST_F(Utf8Interop, PythonAndTheLibraryReadEachOthersFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "runs python3 through a POSIX shell";
#endif
    if (std::system("python3 -c pass") != 0) GTEST_SKIP() << "needs python3";
    stream.utf8Symbols();
    document.setHeader("1.0", "UTF-8");
    rkXMLElement* top = addElement(document.getRoot(), "doc");
    std::string printed;
    // č, an em dash, 中, an emoji, XML's special characters, and texts that look like references.
    for (const std::string s : {"\xC4\x8D", "a \xE2\x80\x94 b", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80!",
                                "Tom & Jerry <3 > 2", "say \"hi\" 'there'", "&#233; &#xE9; &amp;"}) {
        addElement(top, "s", s)->setAttribute("v", s);
        printed += s + " " + s + "\n";
    }
    EXPECT_EQ(describe(writtenAndRead(document, stream).getRoot()), describe(document.getRoot()));
    const std::string text = readFile(target);
    EXPECT_NE(text.find("<s v=\"\xC4\x8D\">\xC4\x8D</s>"), std::string::npos);  // bytes from 0x80 up as they are
    EXPECT_NE(text.find(">&amp;#233; &amp;#xE9; &amp;amp;</s>"), std::string::npos);
    writeFile(path("interop.py"), interopScript);
    for (const std::string encoding : {"us-ascii", "utf-8"}) {
        SCOPED_TRACE(encoding);
        const std::string command = "python3 '" + path("interop.py") + "' '" + target + "' '" + path("python.xml") +
                                    "' " + encoding + " > '" + path("printed") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(readFile(path("printed")), printed);
        EXPECT_EQ(readFile(path("python.xml")).find("&#269;") != std::string::npos, encoding == "us-ascii");
        rkXMLDocument fromPython;
        fromPython.setFileName(path("python.xml"));
        stream.readDocument(fromPython);
        EXPECT_EQ(describe(fromPython.getTopLevelElement()), describe(top));
    }
}
