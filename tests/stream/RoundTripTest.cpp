// Written trees read back the same, through this library and, in UTF-8 mode,
// through another XML parser (Python's ElementTree).
#include <cstdlib>
#include <string>

#include "tests/TestSupport.h"

using namespace testing_support;
using RoundTrip = ScratchTest;

TEST_F(RoundTrip, WrittenTreeReadsBackTheSame) {
    rkXMLFStream stream;
    stream.addSymbol("&sect;", "\xA7");
    stream.addOpenTag("HR");
    rkXMLDocument document;
    document.setFileName(path("doc.xml"));
    rkXMLNode* root = document.getRoot();
    document.setHeader("1.1", "utf-16");
    addComment(root, " <top> & \"comment\" - ");
    rkXMLElement* config = addElement(root, "config");
    for (const char* name : {"", "a\r", "a>b", "/", "k\"q", "x=", "id"}) config->setAttribute(name, "<&> '");
    addElement(config, "name", "Demo & <test> \xE4\x80\xA7\xE9 &amp;");
    addElement(config, "BR");
    addElement(config, "hr");
    addElement(addElement(config, "list"), "item", "x\r");
    addComment(config, "inner-");
    addElement(config, "!-x", "a\tb\nc");
    addElement(addElement(config, "a/b", "v"), "deeper")->setAttribute("z", "");
    addElement(root, "second", "2");
    stream.writeDocument(document);

    rkXMLDocument back;
    back.setFileName(path("doc.xml"));
    stream.readDocument(back);
    EXPECT_EQ(describe(back.getRoot()), describe(document.getRoot()));
}

namespace {

std::string hex(const std::string& bytes) {
    std::string text;
    for (const unsigned char c : bytes) text += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return text;
}

// "python3 SCRIPT IN OUT ENCODING" prints the hex of each <s>'s text and attribute v in IN, then
// writes IN's tree to OUT ("us-ascii" makes every other character a character reference).
const char* const interopScript = R"(import sys, xml.etree.ElementTree as ET
tree = ET.parse(sys.argv[1])
for s in tree.getroot():
    print(s.text.encode().hex(), s.get("v").encode().hex())
tree.write(sys.argv[2], encoding=sys.argv[3], xml_declaration=True)
)";

}  // namespace

class Utf8Interop : public ScratchTest {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "runs python3 through a POSIX shell";
#endif
        if (std::system("python3 -c pass") != 0) GTEST_SKIP() << "needs python3";
    }
};

TEST_F(Utf8Interop, PythonAndTheLibraryReadEachOthersFiles) {
    rkXMLFStream stream;
    stream.utf8Symbols();
    rkXMLDocument doc;
    doc.setFileName(path("library.xml"));
    doc.setHeader("1.0", "UTF-8");
    rkXMLElement* top = addElement(doc.getRoot(), "doc");
    std::string printed;
    // č, an em dash, 中, an emoji, XML's special characters, and texts that look like references.
    for (const std::string s : {"\xC4\x8D", "a \xE2\x80\x94 b", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80!",
                                "Tom & Jerry <3 > 2", "say \"hi\" 'there'", "&#233; &#xE9; &amp;"}) {
        addElement(top, "s", s)->setAttribute("v", s);
        printed += hex(s) + " " + hex(s) + "\n";
    }
    stream.writeDocument(doc);
    const std::string text = readFile(path("library.xml"));
    EXPECT_NE(text.find("<s v=\"\xC4\x8D\">\xC4\x8D</s>"), std::string::npos);  // bytes from 0x80 up as they are
    EXPECT_NE(text.find(">&amp;#233; &amp;#xE9; &amp;amp;</s>"), std::string::npos);
    rkXMLDocument back;
    back.setFileName(path("library.xml"));
    stream.readDocument(back);
    EXPECT_EQ(describe(back.getRoot()), describe(doc.getRoot()));
    writeFile(path("interop.py"), interopScript);
    for (const std::string encoding : {"us-ascii", "utf-8"}) {
        const std::string command = "python3 '" + path("interop.py") + "' '" + path("library.xml") + "' '" +
                                    path("python.xml") + "' " + encoding + " > '" + path("printed") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(readFile(path("printed")), printed);
        const bool referencesWritten = readFile(path("python.xml")).find("&#269;") != std::string::npos;
        EXPECT_EQ(referencesWritten, encoding == "us-ascii");
        rkXMLDocument fromPython;
        fromPython.setFileName(path("python.xml"));
        stream.readDocument(fromPython);
        EXPECT_EQ(describe(fromPython.getTopLevelElement()), describe(top)) << encoding;
    }
}
