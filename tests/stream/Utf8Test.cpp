// UTF-8 mode: XML's five entities and character references, attribute values
// coded too, and files that another XML parser (Python's ElementTree) reads and
// writes with the same strings.
#include <cstdlib>
#include <string>
#include <vector>

#include "stream/StreamAccess.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using rkxml_detail::StreamAccess;

namespace {

const auto encoded = StreamAccess::encoded;
const auto decoded = StreamAccess::decoded;

// č, an em dash, 中, an emoji, XML's special characters, and texts that look like references.
const std::vector<std::string> samples = {"\xC4\x8D",           "a \xE2\x80\x94 b",   "\xE4\xB8\xAD",
                                          "\xF0\x9F\x98\x80!",  "Tom & Jerry <3 > 2", "say \"hi\" 'there'",
                                          "&#233; &#xE9; &amp;"};

// A document <doc> with one <s v="string">string</s> per string.
void fill(rkXMLDocument& doc, const std::vector<std::string>& strings) {
    rkXMLElement* top = addElement(doc.getRoot(), "doc");
    for (const std::string& s : strings) addElement(top, "s", s)->setAttribute("v", s);
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (const unsigned char c : bytes) text += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return text;
}

// Each value and attribute in hex, a pair per line, as the script prints them.
std::string hexLines(const std::vector<std::string>& values, const std::vector<std::string>& attributes) {
    std::string lines;
    for (std::size_t i = 0; i < values.size(); ++i) lines += hex(values[i]) + " " + hex(attributes[i]) + "\n";
    return lines;
}

// "dump XML" prints each <s> as hexLines does; "build XML ENCODING HEX..." writes the
// strings as <doc> ("us-ascii" makes every other character a reference).
const char* const interopScript = R"(import sys, xml.etree.ElementTree as ET
if sys.argv[1] == "dump":
    for s in ET.parse(sys.argv[2]).getroot():
        print((s.text or "").encode().hex(), s.get("v", "").encode().hex())
else:
    doc = ET.Element("doc")
    for value in (bytes.fromhex(h).decode() for h in sys.argv[4:]):
        ET.SubElement(doc, "s", v=value).text = value
    ET.ElementTree(doc).write(sys.argv[2], encoding=sys.argv[3], xml_declaration=True)
)";

// What python3 prints for the script, written to `script`, and `arguments`; its failure fails the test.
std::string runPython(const std::string& script, const std::string& arguments) {
    writeFile(script, interopScript);
    const std::string command = "python3 '" + script + "' " + arguments + " > '" + script + ".out'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command << " failed (this test needs python3)";
    return readFile(script + ".out");
}

}  // namespace

TEST(Utf8Mode, ReferencesDecodeToUtf8UnlessInvalid) {
    rkXMLFStream s;
    s.utf8Symbols();
    EXPECT_EQ(decoded(s, "&#65;&#233;&#xE9;&#xe9;&#0233;&#x1F600;&#xD7FF;&#xE000;&#x10FFFF;"),
              "A\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(decoded(s, "&#9;&#10;&#13;&#x20;&#38;lt;&#x26;#65;"), "\t\n\r &lt;&#65;");  // decoded once
    const std::string invalid =
        "&#0;&#1;&#xD800;&#xDFFF;&#xFFFE;&#x110000;&#99999999999999999999;&#X41;&#x;&#;&#x4G;&#65";
    EXPECT_EQ(decoded(s, invalid), invalid);
    // The reader decodes attribute values too, and trims element values after decoding.
    rkXMLDocument doc;
    s.readDocumentFromString(doc, "<a x=\"&#233;&lt;&#0; \">&#32; v&#xA;<b>&#32;&#10;</b></a>");
    EXPECT_EQ(describe(doc.getRoot()), "?root?(a[x=\xC3\xA9<&#0; ]'v'(b))");
}

TEST(Utf8Mode, SwitchingModes) {
    rkXMLFStream s;
    s.addOpenTag("hr");
    s.utf8Symbols();
    EXPECT_EQ(StreamAccess::symbols(s).size(), 5u);
    EXPECT_EQ(StreamAccess::openTags(s).size(), 2u);
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
    const std::string quoteRefused = "Error: attribute 'q' of element 'a' holds a double quote.";
    EXPECT_EQ(errorOf([&] { s.writeDocumentToString(doc, text); }), quoteRefused);

    s.defaultSymbols();  // 8-bit again: the thirteen pairs, the added ones kept, attributes as they are
    EXPECT_EQ(StreamAccess::symbols(s).size(), 15u);
    EXPECT_EQ(decoded(s, "&#xE9;&#228;"), "&#xE9;\xE4");
    rkXMLDocument raw;
    s.readDocumentFromString(raw, "<a x=\"&lt;\"/>");
    EXPECT_EQ(describe(raw.getRoot()), "?root?(a[x=&lt;])");
    s.utf8Symbols();
    s.clearSymbols();  // leaves the mode as well: nothing is coded
    EXPECT_EQ(decoded(s, "&#233;&amp;"), "&#233;&amp;");
    EXPECT_EQ(errorOf([&] { s.writeDocumentToString(doc, text); }), quoteRefused);
}

class Utf8Interop : public ScratchTest {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "runs python3 through a POSIX shell";
#endif
    }
};

TEST_F(Utf8Interop, LibraryAndPythonReadWhatTheLibraryWrites) {
    rkXMLFStream stream;
    stream.utf8Symbols();
    rkXMLDocument doc;
    doc.setFileName(path("library.xml"));
    doc.setHeader("1.0", "UTF-8");
    fill(doc, samples);
    stream.writeDocument(doc);
    const std::string text = readFile(path("library.xml"));
    EXPECT_NE(text.find("<s v=\"\xC4\x8D\">\xC4\x8D</s>"), std::string::npos);  // bytes from 0x80 up as they are
    EXPECT_NE(text.find("<s v=\"Tom &amp; Jerry &lt;3 &gt; 2\">"), std::string::npos);
    EXPECT_NE(text.find("v=\"say &quot;hi&quot; &apos;there&apos;\""), std::string::npos);
    EXPECT_NE(text.find(">&amp;#233; &amp;#xE9; &amp;amp;</s>"), std::string::npos);
    rkXMLDocument back;
    back.setFileName(path("library.xml"));
    stream.readDocument(back);
    EXPECT_EQ(describe(back.getRoot()), describe(doc.getRoot()));
    EXPECT_EQ(runPython(path("interop.py"), "dump '" + path("library.xml") + "'"), hexLines(samples, samples));
}

TEST_F(Utf8Interop, LibraryReadsWhatPythonWrites) {
    std::vector<std::string> strings = samples;
    strings.push_back("tab\tand\nline");  // in the attribute written as &#09; and &#10;
    std::string hexStrings;
    for (const std::string& s : strings) hexStrings += " " + hex(s);
    rkXMLFStream stream;
    stream.utf8Symbols();
    for (const std::string encoding : {"us-ascii", "utf-8"}) {
        runPython(path("interop.py"), "build '" + path("python.xml") + "' " + encoding + hexStrings);
        const bool referencesWritten = readFile(path("python.xml")).find("&#269;") != std::string::npos;
        EXPECT_EQ(referencesWritten, encoding == "us-ascii");
        rkXMLDocument doc;
        doc.setFileName(path("python.xml"));
        stream.readDocument(doc);
        std::vector<std::string> values;
        std::vector<std::string> attributes;
        for (rkXMLNode* node : *element(doc.getTopLevelElement())) {
            values.push_back(element(node)->getValue());
            attributes.push_back(element(node)->getAttributes().at("v"));
        }
        EXPECT_EQ(hexLines(values, attributes), hexLines(strings, strings)) << encoding;
    }
}
