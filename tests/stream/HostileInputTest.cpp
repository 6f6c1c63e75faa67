// Huge, deep and wide inputs: every step must give the tree without recursing per level, in linear
// time (anything worse would not end in the test's time). Random bytes are the fuzzers' work.
#include <cstdlib>
#include <string>

#include "tests/TestSupport.h"

using namespace testing_support;
using HostileInput = ScratchTest;

namespace {

// Full size, or a tenth where the environment asks for it (the sanitizer and valgrind runs).
std::size_t scaled(std::size_t size) { return std::getenv("RKXML_TESTS_SMALL") != nullptr ? size / 10 : size; }

// Writes `document` to its file and reads it back into a fresh document.
rkXMLDocument writtenAndRead(const rkXMLDocument& document) {
    rkXMLFStream().writeDocument(document);
    rkXMLDocument back;
    back.setFileName(document.getFileName());
    rkXMLFStream().readDocument(back);
    return back;
}

}  // namespace

TEST_F(HostileInput, MillionNestedStartTags) {
    const std::size_t depth = scaled(1000000);
    for (const std::string& tail : {"x" + repeated("</a>", depth), std::string()}) {  // closed, and never closed
        rkXMLDocument document;
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
    rkXMLDocument document;
    document.setFileName(path("siblings.xml"));
    rkXMLFStream().readDocumentFromString(document, "<r>" + repeated("<e/>", count) + "</r>");
    rkXMLNode* top = document.getTopLevelElement();
    EXPECT_EQ(rkXMLFactory::getElements(top, "e").size(), count);
    EXPECT_TRUE(rkXMLFactory::removeElement(rkXMLFactory::getElement(top, static_cast<unsigned>(count - 1))));
    const rkXMLDocument copy(document);
    EXPECT_EQ(rkXMLFactory::getElements(writtenAndRead(copy).getTopLevelElement(), "e").size(), count - 1);
}

// Names in ascending order, then in descending order with other values, then the first name again:
// later values win.
TEST_F(HostileInput, HundredThousandAttributesOnOneElement) {
    const std::size_t count = scaled(100000);
    std::string tag = "<e";
    for (std::size_t i = 0; i < count; ++i)
        tag += " n" + std::to_string(1000000 + i) + "=\"" + std::to_string(i) + "\"";
    for (std::size_t i = count; i-- > 0;) tag += " n" + std::to_string(1000000 + i) + "=\"d" + std::to_string(i) + "\"";
    rkXMLDocument document;
    document.setFileName(path("attributes.xml"));
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
    rkXMLDocument document;
    document.setFileName(path("value.xml"));
    rkXMLFStream().readDocumentFromString(document, "<v>" + repeated(entities, times) + "</v>");
    const std::string expected = repeated(characters, times);
    EXPECT_TRUE(element(document.getTopLevelElement())->getValue() == expected);
    EXPECT_TRUE(element(writtenAndRead(document).getTopLevelElement())->getValue() == expected);
}
