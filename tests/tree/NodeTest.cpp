#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLElement.h"
#include "rkXMLHeader.h"
#include "rkXMLNode.h"

namespace {

// Nodes are owned by exactly one list; a copy would be a second owner.
static_assert(!std::is_copy_constructible_v<rkXMLNode> && !std::is_copy_assignable_v<rkXMLNode>);
static_assert(!std::is_copy_constructible_v<rkXMLComment> && !std::is_copy_assignable_v<rkXMLComment>);
static_assert(!std::is_copy_constructible_v<rkXMLElement> && !std::is_copy_assignable_v<rkXMLElement>);
static_assert(!std::is_copy_constructible_v<rkXMLHeader> && !std::is_copy_assignable_v<rkXMLHeader>);
static_assert(std::has_virtual_destructor_v<rkXMLNode>);
static_assert(sizeof(rkXMLNode::TType) == 4);

class RecordingComment : public rkXMLComment {
public:
    explicit RecordingComment(std::vector<std::string>& log) : log(log) {}
    ~RecordingComment() override { log.push_back("comment " + getName()); }

private:
    std::vector<std::string>& log;
};

}  // namespace

TEST(NodeTest, NewNodesHaveNoNameNoParentAndTheTagOfTheirClass) {
    rkXMLNode plain;
    EXPECT_EQ(plain.getElementType(), rkXMLNode::Undefined);
    EXPECT_EQ(plain.getElementType(), 0u);
    EXPECT_TRUE(plain.getName().empty());
    EXPECT_EQ(plain.getParent(), nullptr);

    rkXMLComment comment;
    EXPECT_EQ(comment.getElementType(), rkXMLNode::Comment);
    EXPECT_EQ(comment.getElementType(), 2u);
    EXPECT_TRUE(comment.getName().empty());
    EXPECT_EQ(comment.getParent(), nullptr);

    EXPECT_EQ(rkXMLNode::Element, 1u);
    EXPECT_EQ(rkXMLNode::Header, 3u);
}

TEST(NodeTest, ParentLinkIsOnlyStoredAndLinkingLeavesItAlone) {
    rkXMLElement first;
    rkXMLElement second;
    auto* comment = new rkXMLComment;

    comment->setParent(&first);
    EXPECT_EQ(comment->getParent(), &first);
    EXPECT_EQ(first.getChildCount(), 0u);  // setParent does not link

    second.addChild(comment, rkXMLElement::npos);  // second owns it from here
    EXPECT_EQ(comment->getParent(), &first);
    EXPECT_EQ(second.getChild(0u), comment);

    comment->setParent(nullptr);
    EXPECT_EQ(comment->getParent(), nullptr);
    EXPECT_EQ(second.getChildCount(), 1u);  // and clearing it does not unlink
}

TEST(NodeTest, CommentTextIsItsName) {
    rkXMLComment comment;
    comment.setName(" a <note> & more ");
    EXPECT_EQ(comment.getName(), " a <note> & more ");
    comment.setName("");
    EXPECT_TRUE(comment.getName().empty());
    EXPECT_EQ(comment.getElementType(), rkXMLNode::Comment);
}

TEST(NodeTest, DeletingThroughBasePointerRunsTheDerivedDestructor) {
    std::vector<std::string> log;
    auto* comment = new RecordingComment(log);
    comment->setName("gone");
    rkXMLNode* node = comment;
    delete node;
    EXPECT_EQ(log, std::vector<std::string>{"comment gone"});
}
