// Moving a document: the tree changes hands without a copy, and the moved-from document is a new one.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"

namespace {

// A document named `fileName` holding <name/>.
rkXMLDocument holding(const std::string& name, const std::string& fileName) {
    rkXMLDocument document;
    document.setFileName(fileName);
    rkXMLFactory::createNode(document.getRoot(), rkXMLNode::Element, name, rkXMLElement::npos);
    return document;
}

// Fails unless `document` is as a new one: no file name, a hidden root of its own without children.
void expectNew(rkXMLDocument& document) {
    EXPECT_EQ(document.getFileName(), "");
    rkXMLElement* root = rkXMLFactory::asElement(document.getRoot());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getName(), rkXMLDocument::getRootTagName());
    EXPECT_EQ(root->getParent(), root);
    EXPECT_EQ(root->getChildCount(), 0u);
    // Still a document to use: it takes a tree and writes it.
    EXPECT_TRUE(document.setStandardHeader());
    rkXMLFactory::createNode(document.getRoot(), rkXMLNode::Element, "again", rkXMLElement::npos);
    std::string text;
    rkXMLFStream().writeDocumentToString(document, text);
    EXPECT_EQ(text, "<?xml version=\"1.0\" ?>\n<again/>");
}

}  // namespace

static_assert(std::is_nothrow_move_constructible_v<rkXMLDocument>);
static_assert(std::is_nothrow_move_assignable_v<rkXMLDocument>);

TEST(DocumentMove, ConstructionTakesTheTreeItself) {
    rkXMLDocument source = holding("settings", "a.xml");
    rkXMLNode* top = source.getTopLevelElement();
    rkXMLDocument target(std::move(source));
    EXPECT_EQ(target.getTopLevelElement(), top);  // the same node: nothing was copied
    EXPECT_EQ(target.getFileName(), "a.xml");
    expectNew(source);
}

TEST(DocumentMove, AssignmentReplacesTheTargetsTree) {
    rkXMLDocument source = holding("settings", "a.xml");
    rkXMLDocument target = holding("old", "b.xml");
    rkXMLNode* top = source.getTopLevelElement();
    target = std::move(source);
    EXPECT_EQ(target.getTopLevelElement(), top);
    EXPECT_EQ(target.getFileName(), "a.xml");
    expectNew(source);

    rkXMLDocument& same = target;
    target = std::move(same);
    EXPECT_EQ(target.getTopLevelElement(), top);
    EXPECT_EQ(target.getFileName(), "a.xml");
}

// A vector that grows moves its documents when the move cannot throw; a copy would give new nodes.
TEST(DocumentMove, GrowingVectorKeepsTheNodes) {
    std::vector<rkXMLDocument> documents;
    documents.push_back(holding("first", ""));
    rkXMLNode* top = documents.front().getTopLevelElement();
    for (int i = 0; i < 20; ++i) documents.emplace_back();
    EXPECT_EQ(documents.front().getTopLevelElement(), top);
}

TEST(DocumentMove, MovedFromDocumentCopiesAsANewOne) {
    rkXMLDocument source = holding("settings", "a.xml");
    rkXMLDocument target(std::move(source));
    rkXMLDocument copy(source);
    EXPECT_EQ(copy.getTopLevelElement(), nullptr);
    expectNew(copy);
    target = source;
    EXPECT_EQ(target.getTopLevelElement(), nullptr);
}
