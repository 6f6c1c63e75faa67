// Inputs that nobody writes by hand: huge, deep and wide. The reader must give
// the tree, and every step must stay linear (anything worse would not end in the
// test's time). Crashes over random bytes and cut inputs are the fuzzers' work.
#include <string>

#include "tests/TestSupport.h"

#include <cstdlib>

using namespace testing_support;

namespace {

// Full size, or a tenth where the environment asks for it (the sanitizer and valgrind runs).
std::size_t scaled(std::size_t size) { return std::getenv("RKXML_TESTS_SMALL") != nullptr ? size / 10 : size; }

// Writes `document` to its file and reads it back into a fresh document.
rkXMLDocument writtenAndRead(rkXMLFStream& stream, const rkXMLDocument& document) {
    stream.writeDocument(document);
    rkXMLDocument back;
    back.setFileName(document.getFileName());
    stream.readDocument(back);
    return back;
}

}  // namespace

class HostileInput : public ScratchTest {
protected:
    rkXMLFStream stream;
};

TEST_F(HostileInput, MillionNestedStartTags) {
    const std::size_t depth = scaled(1000000);
    for (const std::string& tail : {"x" + repeated("</a>", depth), std::string()}) {  // closed, and never closed
        rkXMLDocument document;
        stream.readDocumentFromString(document, repeated("<a>", depth) + tail);
        rkXMLElement* deepest = element(document.getRoot());
        std::size_t levels = 0;
        for (; deepest->getChildCount() > 0; ++levels) deepest = element(deepest->getChild(0u));
        EXPECT_EQ(levels, depth);
        EXPECT_EQ(deepest->getValue(), tail.empty() ? "" : "x");
        // The helper functions at the bottom of the chain, then the whole chain removed at once.
        rkXMLNode* created = rkXMLFactory::createNode(deepest, rkXMLNode::Element, "b", rkXMLElement::npos);
        EXPECT_EQ(rkXMLFactory::getSaveChild(deepest, rkXMLNode::Element, "b", 0), created);
        EXPECT_TRUE(rkXMLFactory::setComment(deepest, " note ", 0));
        EXPECT_TRUE(rkXMLFactory::removeElement(created));
        EXPECT_TRUE(rkXMLFactory::removeElement(document.getTopLevelElement()));
    }
}

TEST_F(HostileInput, MillionSiblings) {
    const std::size_t count = scaled(1000000);
    rkXMLDocument document;
    document.setFileName(path("siblings.xml"));
    stream.readDocumentFromString(document, "<r>" + repeated("<e/>", count) + "</r>");
    rkXMLNode* top = document.getTopLevelElement();
    EXPECT_EQ(rkXMLFactory::getElements(top, "e").size(), count);
    EXPECT_TRUE(rkXMLFactory::removeElement(rkXMLFactory::getElement(top, static_cast<unsigned>(count - 1))));
    const rkXMLDocument copy(document);
    EXPECT_EQ(rkXMLFactory::getElements(writtenAndRead(stream, copy).getTopLevelElement(), "e").size(), count - 1);
}

TEST_F(HostileInput, HundredThousandAttributesOnOneElement) {
    const std::size_t count = scaled(100000);
    // Names in ascending order, then in descending order with other values, then the first
    // name again: later values win.
    const auto nameOf = [](std::size_t i) {
        const std::string digits = std::to_string(i);
        return "n" + std::string(7 - digits.size(), '0') + digits;
    };
    std::string tag = "<e";
    for (std::size_t i = 0; i < count; ++i) tag += " " + nameOf(i) + "=\"" + std::to_string(i) + "\"";
    for (std::size_t i = count; i-- > 0;) tag += " " + nameOf(i) + "=\"d" + std::to_string(i) + "\"";
    tag += " n0000000=\"last\"/>";
    rkXMLDocument document;
    document.setFileName(path("attributes.xml"));
    stream.readDocumentFromString(document, tag);
    const auto& attributes = element(document.getTopLevelElement())->getAttributes();
    EXPECT_EQ(attributes.size(), count);
    EXPECT_EQ(attributes.at("n0000000"), "last");
    EXPECT_EQ(attributes.at("n0000001"), "d1");
    EXPECT_EQ(element(writtenAndRead(stream, document).getTopLevelElement())->getAttributes(), attributes);
}

TEST_F(HostileInput, FiftyMegabyteValueOfEntities) {
    const std::string entities = "&lt;&amp;&#228;&#8364;x&quot;&amp;lt;&auml;";
    const std::string characters = "<&\xE4\x80x\"&lt;&auml;";
    const std::size_t times = scaled(50u << 20) / entities.size();
    rkXMLDocument document;
    document.setFileName(path("value.xml"));
    stream.readDocumentFromString(document, "<v>" + repeated(entities, times) + "</v>");
    const std::string expected = repeated(characters, times);
    EXPECT_TRUE(element(document.getTopLevelElement())->getValue() == expected);
    EXPECT_TRUE(element(writtenAndRead(stream, document).getTopLevelElement())->getValue() == expected);
}
