#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLElement.h"
#include "rkXMLFactory.h"

using namespace rkXMLFactory;

namespace {

std::vector<std::string> names(const rkXMLElement& parent) {
    std::vector<std::string> result;
    for (rkXMLNode* child : parent) result.push_back(child->getName());
    return result;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(FactoryCreateNode, InsertsAtPositionAndSetsParent) {
    for (unsigned int position : {0u, 1u, 2u, 7u, rkXMLElement::npos}) {
        rkXMLElement parent;
        createNode(&parent, rkXMLNode::Element, "x", rkXMLElement::npos);
        createNode(&parent, rkXMLNode::Element, "y", rkXMLElement::npos);
        rkXMLNode* a = createNode(&parent, rkXMLNode::Element, "a", position);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->getElementType(), rkXMLNode::Element);
        EXPECT_EQ(a->getParent(), &parent);
        const Names expected = position == 0 ? Names{"a", "x", "y"}
                               : position == 1 ? Names{"x", "a", "y"}
                                               : Names{"x", "y", "a"};
        EXPECT_EQ(names(parent), expected) << "position " << position;
    }
    rkXMLElement parent;
    rkXMLNode* note = createNode(&parent, rkXMLNode::Comment, " text ", 0);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->getElementType(), rkXMLNode::Comment);
    EXPECT_EQ(note->getName(), " text ");
}

TEST(FactoryCreateNode, RefusesBadParentAndType) {
    rkXMLElement parent;
    rkXMLComment comment;
    rkXMLNode plain;
    EXPECT_EQ(createNode(nullptr, rkXMLNode::Element, "a", 0), nullptr);
    EXPECT_EQ(createNode(&comment, rkXMLNode::Element, "a", 0), nullptr);
    EXPECT_EQ(createNode(&plain, rkXMLNode::Comment, "a", 0), nullptr);
    EXPECT_EQ(createNode(&parent, rkXMLNode::Header, "a", 0), nullptr);
    EXPECT_EQ(createNode(&parent, rkXMLNode::Undefined, "a", 0), nullptr);
    EXPECT_EQ(parent.getChildCount(), 0u);
    EXPECT_EQ(getSaveChild(&comment, rkXMLNode::Element, "a", 0), nullptr);
    EXPECT_EQ(setElement(nullptr, "a", true, 0), nullptr);
    EXPECT_EQ(getElementAsFirst(&plain, "a"), nullptr);
    EXPECT_EQ(getElement(nullptr, 0), nullptr);
    EXPECT_FALSE(setComment(&comment, "c", 0));
    EXPECT_TRUE(getComments(&comment).empty());
    EXPECT_TRUE(getElements(nullptr, "a").empty());
}

TEST(FactoryFindOrCreate, FindsAnyKindByNameElseCreates) {
    rkXMLElement parent;
    rkXMLNode* first = getSaveChild(&parent, rkXMLNode::Element, "a", rkXMLElement::npos);
    EXPECT_EQ(getSaveChild(&parent, rkXMLNode::Element, "a", 0), first);
    EXPECT_EQ(setElement(&parent, "a", false, 0), first);
    EXPECT_EQ(parent.getChildCount(), 1u);

    // A comment whose text is the name is found, whatever type was asked for.
    rkXMLNode* note = createNode(&parent, rkXMLNode::Comment, "b", 0);
    EXPECT_EQ(getSaveChild(&parent, rkXMLNode::Element, "b", 0), note);
    EXPECT_EQ(setElement(&parent, "b", false, 0), note);
    EXPECT_EQ(getElementAsFirst(&parent, "b"), note);
    EXPECT_EQ(parent.getChildCount(), 2u);

    // Nothing to find and nothing that can be made.
    EXPECT_EQ(getSaveChild(&parent, rkXMLNode::Header, "c", 0), nullptr);
    EXPECT_EQ(parent.getChildCount(), 2u);

    rkXMLNode* second = setElement(&parent, "a", true, 1);
    EXPECT_NE(second, first);
    EXPECT_EQ(names(parent), (Names{"b", "a", "a"}));
    EXPECT_EQ(getElementAsFirst(&parent, "a"), second);
    EXPECT_EQ(getElement(&parent, 0), note);
    EXPECT_EQ(getElement(&parent, 3), nullptr);
}

TEST(FactorySetComment, ReplacesCommentOrInserts) {
    rkXMLElement parent;
    rkXMLNode* item = createNode(&parent, rkXMLNode::Element, "item", 0);
    EXPECT_TRUE(setComment(&parent, "one", rkXMLElement::npos));
    EXPECT_EQ(names(parent), (Names{"item", "one"}));
    EXPECT_FALSE(setComment(&parent, "two", 1));
    EXPECT_EQ(names(parent), (Names{"item", "two"}));
    EXPECT_TRUE(setComment(&parent, "three", 0));
    EXPECT_EQ(names(parent), (Names{"three", "item", "two"}));
    EXPECT_EQ(getElement(&parent, 0)->getElementType(), rkXMLNode::Comment);
    EXPECT_EQ(getElement(&parent, 0)->getParent(), &parent);
    EXPECT_EQ(getElement(&parent, 1), item);
    EXPECT_TRUE(setComment(&parent, "four", 3));  // the count itself appends
    EXPECT_EQ(parent.getChildCount(), 4u);
}

TEST(FactoryRemoveElement, DestroysOnlyLinkedChildren) {
    rkXMLElement parent;
    rkXMLNode* branch = createNode(&parent, rkXMLNode::Element, "branch", 0);
    rkXMLNode* leaf = createNode(branch, rkXMLNode::Element, "leaf", 0);
    createNode(leaf, rkXMLNode::Comment, "deep", 0);
    createNode(&parent, rkXMLNode::Comment, "keep", rkXMLElement::npos);

    EXPECT_FALSE(removeElement(nullptr));
    EXPECT_TRUE(removeElement(branch));  // the sanitizer build checks the subtree is freed
    EXPECT_EQ(names(parent), Names{"keep"});

    rkXMLElement unlinked;  // never given a parent link
    EXPECT_FALSE(removeElement(&unlinked));

    rkXMLComment foreign;  // parent link to a non-element
    rkXMLComment holder;
    foreign.setParent(&holder);
    EXPECT_FALSE(removeElement(&foreign));

    rkXMLElement stray;  // parent link to an element that does not hold it
    stray.setParent(&parent);
    EXPECT_FALSE(removeElement(&stray));
    EXPECT_EQ(parent.getChildCount(), 1u);

    parent.setParent(&parent);  // a hidden root is its own parent
    EXPECT_FALSE(removeElement(&parent));
}

TEST(FactoryCollect, CommentsAndNamedElementsOfDirectChildren) {
    rkXMLElement parent;
    rkXMLNode* first = createNode(&parent, rkXMLNode::Element, "item", rkXMLElement::npos);
    rkXMLNode* note = createNode(&parent, rkXMLNode::Comment, "item", rkXMLElement::npos);
    createNode(&parent, rkXMLNode::Element, "Item", rkXMLElement::npos);
    rkXMLNode* nested = createNode(&parent, rkXMLNode::Element, "group", rkXMLElement::npos);
    createNode(nested, rkXMLNode::Comment, "inner", 0);
    createNode(nested, rkXMLNode::Element, "item", 0);
    rkXMLNode* last = createNode(&parent, rkXMLNode::Element, "item", rkXMLElement::npos);
    rkXMLNode* unnamed = createNode(&parent, rkXMLNode::Element, "", rkXMLElement::npos);

    EXPECT_EQ(getElements(&parent, "item"), (std::list<rkXMLNode*>{first, last}));
    EXPECT_EQ(getElements(&parent, ""), std::list<rkXMLNode*>{unnamed});
    EXPECT_EQ(getComments(&parent), std::list<rkXMLNode*>{note});
    EXPECT_TRUE(getComments(first).empty());
}
