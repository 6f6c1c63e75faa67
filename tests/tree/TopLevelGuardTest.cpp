// setTopLevelElement given a node that the document already holds.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"

namespace {

// A document with a header, a comment, the top-level element settings with a child and a
// grandchild, and a second top-level element.
void fill(rkXMLDocument& document) {
    rkXMLFStream().readDocumentFromString(
        document, "<?xml version=\"1.0\" ?><!--note--><settings><window><title/></window></settings><second/>");
}

std::string written(const rkXMLDocument& document) {
    std::string text;
    rkXMLFStream().writeDocumentToString(document, text);
    return text;
}

rkXMLNode* child(rkXMLNode* parent, unsigned index) { return rkXMLFactory::getElement(parent, index); }

}  // namespace

// Each of these was linked a second time and freed twice when the document went (a use after free
// that the sanitizer build reports), or, for a node below the top level, freed with its element first.
TEST(TopLevelGuard, RefusesEveryNodeOfItsOwnTreeButTheTopLevelElement) {
    const struct {
        const char* name;
        std::function<rkXMLNode*(rkXMLDocument&)> pick;
    } rows[] = {
        {"the hidden root", [](rkXMLDocument& d) { return d.getRoot(); }},
        {"the header", [](rkXMLDocument& d) { return d.getHeader(); }},
        {"a top-level comment", [](rkXMLDocument& d) { return child(d.getRoot(), 1); }},
        {"a second top-level element", [](rkXMLDocument& d) { return child(d.getRoot(), 3); }},
        {"a child of the top-level element", [](rkXMLDocument& d) { return child(d.getTopLevelElement(), 0); }},
        {"a grandchild", [](rkXMLDocument& d) { return child(child(d.getTopLevelElement(), 0), 0); }},
    };
    for (const auto& row : rows) {
        rkXMLDocument document;
        fill(document);
        const std::string before = written(document);
        rkXMLNode* node = row.pick(document);
        ASSERT_NE(node, nullptr) << row.name;
        EXPECT_FALSE(document.setTopLevelElement(node)) << row.name;
        EXPECT_EQ(written(document), before) << row.name;
    }
}

TEST(TopLevelGuard, TopLevelElementGivenAgainMovesToTheEnd) {
    rkXMLDocument document;
    fill(document);
    rkXMLNode* settings = document.getTopLevelElement();
    EXPECT_TRUE(document.setTopLevelElement(settings));
    EXPECT_EQ(
        written(document),
        "<?xml version=\"1.0\" ?>\n<!--note-->\n<second/>\n<settings>\n <window>\n  <title/></window></settings>");
    EXPECT_EQ(document.getTopLevelElement()->getName(), "second");
}

TEST(TopLevelGuard, NewNodeReplacesTheFirstElement) {
    rkXMLDocument document;
    fill(document);
    auto* replacement = new rkXMLElement;
    replacement->setName("new");
    EXPECT_TRUE(document.setTopLevelElement(replacement));
    EXPECT_EQ(written(document), "<?xml version=\"1.0\" ?>\n<!--note-->\n<second/>\n<new/>");
}
