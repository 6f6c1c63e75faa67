// UTF-8 mode: XML's five entities and character references, attribute values
// coded too, and files that another XML parser (Python's ElementTree) reads and
// writes with the same strings.
#include <cstdio>
#include <string>
#include <vector>

#include "stream/StreamAccess.h"
#include "tests/TestSupport.h"

using namespace testing_support;
using rkxml_detail::StreamAccess;
using Tags = std::set<std::string, std::less<>>;

namespace {

std::string encoded(const rkXMLFStream& stream, std::string text) {
    return StreamAccess::encoded(stream, std::move(text));
}
std::string decoded(const rkXMLFStream& stream, std::string text) {
    return StreamAccess::decoded(stream, std::move(text));
}

// č, an em dash, 中, an emoji, XML's special characters, and texts that look like references.
const std::vector<std::string> samples = {
    "\xC4\x8D",
    "a \xE2\x80\x94 b",
    "\xE4\xB8\xAD",
    "\xF0\x9F\x98\x80!",
    "Tom & Jerry <3 > 2",
    "say \"hi\" 'there'",
    "&#233; &#xE9; &amp; &bogus;",
};

// A document <doc> with one <s v="sample">sample</s> per sample.
void fillWithSamples(rkXMLDocument& doc, const std::vector<std::string>& values) {
    rkXMLElement* top = addElement(doc.getRoot(), "doc");
    for (const std::string& value : values) addElement(top, "s", value)->setAttribute("v", value);
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", c);
        text += digits;
    }
    return text;
}

// "value attribute" in hex for each sample, one per line: how the Python side shows them.
std::string hexLines(const std::vector<std::string>& values, const std::vector<std::string>& attributes) {
    std::string lines;
    for (std::size_t i = 0; i < values.size(); ++i) lines += hex(values[i]) + " " + hex(attributes[i]) + "\n";
    return lines;
}

// dump XML: each <s> of the file as hexLines shows it; build LIST XML ENCODING: the
// samples of LIST (one hex per line) as <doc>, written in ENCODING ("us-ascii" makes
// every other character a reference).
const char* const interopScript = R"(import sys, xml.etree.ElementTree as ET
if sys.argv[1] == "dump":
    for s in ET.parse(sys.argv[2]).getroot():
        print((s.text or "").encode().hex(), s.get("v", "").encode().hex())
else:
    doc = ET.Element("doc")
    for line in open(sys.argv[3]).read().split():
        value = bytes.fromhex(line).decode()
        ET.SubElement(doc, "s", v=value).text = value
    ET.ElementTree(doc).write(sys.argv[2], encoding=sys.argv[4], xml_declaration=True)
)";

class Utf8Interop : public ScratchTest {
protected:
    // What the script prints for `arguments`; a failure (python3 missing, a parse error) fails the test.
    std::string runPython(const std::string& arguments) {
        writeFile(path("interop.py"), interopScript);
        const std::string command = "python3 '" + path("interop.py") + "' " + arguments;
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return "popen failed";
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
        EXPECT_EQ(pclose(pipe), 0) << command << " failed (this test needs python3)";
        return output;
    }
    std::string quoted(const std::string& name) { return "'" + path(name) + "' "; }
};

}  // namespace

TEST(Utf8Mode, ValuesAndAttributesRoundTrip) {
    rkXMLFStream stream;
    stream.utf8Symbols();
    rkXMLDocument doc;
    fillWithSamples(doc, samples);
    std::string text;
    stream.writeDocumentToString(doc, text);
    EXPECT_NE(text.find("<s v=\"\xC4\x8D\">\xC4\x8D</s>"), std::string::npos);  // bytes from 0x80 up as they are
    EXPECT_NE(text.find("<s v=\"Tom &amp; Jerry &lt;3 &gt; 2\">"), std::string::npos);
    EXPECT_NE(text.find("v=\"say &quot;hi&quot; &apos;there&apos;\""), std::string::npos);
    EXPECT_NE(text.find(">&amp;#233; &amp;#xE9; &amp;amp; &amp;bogus;</s>"), std::string::npos);

    rkXMLDocument back;
    stream.readDocumentFromString(back, text);
    EXPECT_EQ(describe(back.getRoot()), describe(doc.getRoot()));
}

TEST(Utf8Mode, ReferencesDecodeToUtf8UnlessInvalid) {
    rkXMLFStream s;
    s.utf8Symbols();
    EXPECT_EQ(decoded(s, "&#65;&#233;&#xE9;&#xe9;&#0233;&#x1F600;&#xD7FF;&#xE000;&#x10FFFF;"),
              "A\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(decoded(s, "&#9;&#10;&#13;&#x20;&#38;lt;&#x26;#65;"), "\t\n\r &lt;&#65;");  // decoded once
    const std::string invalid =
        "&#0;&#1;&#xD800;&#xDFFF;&#xFFFE;&#x110000;&#99999999999999999999;&#X41;&#x;&#;"
        "&#6 5;&#x4G;&#65";
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
    EXPECT_EQ(StreamAccess::openTags(s), (Tags{"br", "hr"}));
    EXPECT_EQ(encoded(s, "\xE4\x80<"), "\xE4\x80&lt;");
    s.addSymbol("&nbsp;", "\xC2\xA0");  // pairs added in the mode take part,
    s.addSymbol("&#233;", "e");         // and win over the reference they spell
    EXPECT_EQ(encoded(s, "\xC2\xA0!"), "&nbsp;!");
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

    s.defaultSymbols();  // 8-bit again: the thirteen pairs, the added ones kept
    EXPECT_EQ(StreamAccess::symbols(s).size(), 15u);
    EXPECT_EQ(decoded(s, "&#xE9;&#228;"), "&#xE9;\xE4");
    EXPECT_EQ(errorOf([&] { s.writeDocumentToString(doc, text); }), quoteRefused);
    rkXMLDocument raw;
    s.readDocumentFromString(raw, "<a x=\"&lt;\"/>");
    EXPECT_EQ(describe(raw.getRoot()), "?root?(a[x=&lt;])");

    s.utf8Symbols();
    s.clearSymbols();  // leaves the mode as well: nothing is coded
    EXPECT_EQ(decoded(s, "&#233;&amp;"), "&#233;&amp;");
    EXPECT_EQ(errorOf([&] { s.writeDocumentToString(doc, text); }), quoteRefused);
}

TEST_F(Utf8Interop, PythonReadsWhatTheLibraryWrites) {
    rkXMLFStream stream;
    stream.utf8Symbols();
    rkXMLDocument doc;
    doc.setFileName(path("library.xml"));
    doc.setHeader("1.0", "UTF-8");
    fillWithSamples(doc, samples);
    stream.writeDocument(doc);
    EXPECT_EQ(runPython("dump " + quoted("library.xml")), hexLines(samples, samples));
}

TEST_F(Utf8Interop, LibraryReadsWhatPythonWrites) {
    std::vector<std::string> strings = samples;
    strings.push_back("tab\tand\nline");  // written as &#09; and &#10; in the attribute
    std::string list;
    for (const std::string& s : strings) list += hex(s) + "\n";
    writeFile(path("list"), list);
    rkXMLFStream stream;
    stream.utf8Symbols();
    for (const char* encoding : {"us-ascii", "utf-8"}) {
        runPython("build " + quoted("python.xml") + quoted("list") + encoding);
        if (encoding == std::string("us-ascii")) {
            EXPECT_NE(readFile(path("python.xml")).find("&#269;"), std::string::npos);
        }
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
