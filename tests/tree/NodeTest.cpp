#include <gtest/gtest.h>

#include <type_traits>

#include "rkXMLComment.h"
#include "rkXMLElement.h"

// A node belongs to one list; a copy would make a second owner.
static_assert(!std::is_copy_constructible_v<rkXMLNode> && !std::is_copy_assignable_v<rkXMLNode>);
static_assert(!std::is_copy_constructible_v<rkXMLElement> && !std::is_copy_assignable_v<rkXMLElement>);
static_assert(std::has_virtual_destructor_v<rkXMLNode> && sizeof(rkXMLNode::TType) == 4);

TEST(NodeTest, NewNodesHaveNoNameNoParentAndTheTagOfTheirClass) {
    rkXMLNode plain;
    EXPECT_EQ(plain.getElementType(), 0u);
    EXPECT_TRUE(plain.getName().empty());
    EXPECT_EQ(plain.getParent(), nullptr);

    rkXMLComment comment;
    EXPECT_EQ(comment.getElementType(), 2u);
    EXPECT_TRUE(comment.getName().empty());
    EXPECT_EQ(comment.getParent(), nullptr);
}

TEST(NodeTest, NameAndParentLinkAreOnlyStored) {
    rkXMLElement first;
    rkXMLElement second;
    auto* comment = new rkXMLComment;
    comment->setName(" a <note> & more ");  // a comment's text is its name
    EXPECT_EQ(comment->getName(), " a <note> & more ");
    comment->setName("");
    EXPECT_TRUE(comment->getName().empty());

    comment->setParent(&first);
    EXPECT_EQ(comment->getParent(), &first);
    EXPECT_EQ(first.getChildCount(), 0u);          // setting the link does not link
    second.addChild(comment, rkXMLElement::npos);  // and linking does not set it
    EXPECT_EQ(comment->getParent(), &first);
    EXPECT_EQ(comment->getElementType(), rkXMLNode::Comment);
}
