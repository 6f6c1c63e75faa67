#include <gtest/gtest.h>

#include <string>

#include "rkXMLComment.h"
#include "rkXMLElement.h"
#include "rkXMLFactory.h"

using namespace rkXMLFactory;
using Nodes = std::list<rkXMLNode*>;

namespace {

// The children's names joined, for comparing orders at a glance.
std::string names(const rkXMLElement& parent) {
    std::string joined;
    for (rkXMLNode* child : parent) joined += child->getName() + ",";
    return joined;
}

rkXMLNode* add(rkXMLNode* parent, const std::string& name,
               rkXMLNode::TType type = rkXMLNode::Element) {
    return createNode(parent, type, name, rkXMLElement::npos);
}

}  // namespace

TEST(FactoryCreateNode, InsertsAtPositionWithParentLink) {
    const std::pair<unsigned int, const char*> cases[] = {
        {0, "a,x,y,"}, {1, "x,a,y,"}, {2, "x,y,a,"}, {rkXMLElement::npos, "x,y,a,"}};
    for (const auto& [position, order] : cases) {
        rkXMLElement parent;
        add(&parent, "x");
        add(&parent, "y");
        rkXMLNode* a = createNode(&parent, rkXMLNode::Element, "a", position);
        EXPECT_EQ(names(parent), order);
        EXPECT_EQ(a->getParent(), &parent);
    }
    rkXMLElement parent;
    EXPECT_EQ(add(&parent, " c ", rkXMLNode::Comment)->getElementType(), rkXMLNode::Comment);
}

TEST(FactoryCreateNode, RefusesNonElementParentAndOtherTypes) {
    rkXMLElement parent;
    rkXMLComment comment;
    rkXMLNode plain;
    EXPECT_EQ(add(nullptr, "a"), nullptr);
    EXPECT_EQ(add(&comment, "a"), nullptr);
    EXPECT_EQ(add(&plain, "a"), nullptr);
    EXPECT_EQ(add(&parent, "a", rkXMLNode::Header), nullptr);
    EXPECT_EQ(add(&parent, "a", rkXMLNode::Undefined), nullptr);
    EXPECT_EQ(getSaveChild(&parent, rkXMLNode::Header, "a", 0), nullptr);
    EXPECT_EQ(parent.getChildCount(), 0u);
    EXPECT_FALSE(setComment(&comment, "c", 0));
    EXPECT_TRUE(getComments(&plain).empty());
}

TEST(FactoryFindOrCreate, FindsFirstChildOfAnyKind) {
    rkXMLElement parent;
    rkXMLNode* a = getSaveChild(&parent, rkXMLNode::Element, "a", rkXMLElement::npos);
    EXPECT_EQ(getSaveChild(&parent, rkXMLNode::Comment, "a", 0), a);
    rkXMLNode* note = createNode(&parent, rkXMLNode::Comment, "b", 0);
    EXPECT_EQ(setElement(&parent, "b", false, 0), note);  // a comment of that text counts
    EXPECT_EQ(names(parent), "b,a,");

    rkXMLNode* second = setElement(&parent, "a", true, 1);
    EXPECT_EQ(names(parent), "b,a,a,");
    EXPECT_EQ(getElementAsFirst(&parent, "a"), second);
    EXPECT_EQ(getElement(&parent, 0), note);
    EXPECT_EQ(getElement(&parent, 3), nullptr);
}

TEST(FactorySetComment, ReplacesCommentElseInserts) {
    rkXMLElement parent;
    add(&parent, "item");
    EXPECT_TRUE(setComment(&parent, "one", rkXMLElement::npos));
    EXPECT_FALSE(setComment(&parent, "two", 1));
    EXPECT_EQ(names(parent), "item,two,");
    EXPECT_TRUE(setComment(&parent, "three", 0));
    EXPECT_EQ(names(parent), "three,item,two,");
    EXPECT_EQ(getElement(&parent, 0)->getParent(), &parent);
}

TEST(FactoryRemoveElement, DestroysOnlyWhatTheParentLinkHolds) {
    rkXMLElement parent;
    rkXMLNode* branch = add(&parent, "branch");
    add(add(branch, "leaf"), "deep", rkXMLNode::Comment);
    add(&parent, "keep");
    EXPECT_TRUE(removeElement(branch));  // the sanitizer build checks the subtree is freed
    EXPECT_EQ(names(parent), "keep,");

    rkXMLElement unlinked, stray;
    rkXMLComment foreign, holder;
    foreign.setParent(&holder);
    stray.setParent(&parent);  // names an element that does not hold it
    parent.setParent(&parent);  // a hidden root is its own parent
    rkXMLNode* const misses[] = {nullptr, &unlinked, &foreign, &stray, &parent};
    for (rkXMLNode* node : misses) EXPECT_FALSE(removeElement(node));
    EXPECT_EQ(names(parent), "keep,");
}

TEST(FactoryCollect, DirectCommentsAndElementsOfOneName) {
    rkXMLElement parent;
    rkXMLNode* first = add(&parent, "item");
    rkXMLNode* note = add(&parent, "item", rkXMLNode::Comment);
    add(&parent, "Item");
    rkXMLNode* group = add(&parent, "group");
    add(group, "inner", rkXMLNode::Comment);
    add(group, "item");
    rkXMLNode* last = add(&parent, "item");
    rkXMLNode* unnamed = add(&parent, "");

    EXPECT_EQ(getElements(&parent, "item"), (Nodes{first, last}));
    EXPECT_EQ(getElements(&parent, ""), Nodes{unnamed});
    EXPECT_EQ(getComments(&parent), Nodes{note});
    EXPECT_TRUE(getElements(nullptr, "item").empty());
}
