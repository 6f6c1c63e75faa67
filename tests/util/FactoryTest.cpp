#include <string>

#include "tests/TestSupport.h"

using namespace rkXMLFactory;
using Nodes = std::list<rkXMLNode*>;

namespace {

// The children's names joined, for comparing orders at a glance.
std::string names(const rkXMLElement& parent) {
    std::string joined;
    for (rkXMLNode* child : parent) joined += child->getName() + ",";
    return joined;
}

rkXMLNode* add(rkXMLNode* parent, const std::string& name, rkXMLNode::TType type = rkXMLNode::Element) {
    return createNode(parent, type, name, rkXMLElement::npos);
}

}  // namespace

TEST(Factory, CreateNodeInsertsAtPositionWithParentLink) {
    const std::pair<unsigned, const char*> cases[] = {
        {0, "a,x,y,"}, {1, "x,a,y,"}, {2, "x,y,a,"}, {rkXMLElement::npos, "x,y,a,"}};
    for (const auto& [position, order] : cases) {
        rkXMLElement parent;
        add(&parent, "x");
        add(&parent, "y");
        rkXMLNode* a = createNode(&parent, rkXMLNode::Element, "a", position);
        EXPECT_EQ(names(parent), order);
        EXPECT_EQ(a->getParent(), &parent);
    }
}

TEST(Factory, RefusesNonElementParentsAndOtherTypes) {
    rkXMLElement parent;
    rkXMLComment comment;
    rkXMLNode plain;
    for (rkXMLNode* refused : {static_cast<rkXMLNode*>(nullptr), static_cast<rkXMLNode*>(&comment), &plain}) {
        EXPECT_EQ(add(refused, "a"), nullptr);
        EXPECT_EQ(asElement(refused), nullptr);
        EXPECT_FALSE(setComment(refused, "c", 0));
        EXPECT_TRUE(getComments(refused).empty());
    }
    EXPECT_EQ(add(&parent, "a", rkXMLNode::Header), nullptr);
    EXPECT_EQ(getSaveChild(&parent, rkXMLNode::Undefined, "a", 0), nullptr);
    EXPECT_EQ(parent.getChildCount(), 0u);
    EXPECT_EQ(asElement(&parent), &parent);
}

TEST(Factory, FindOrCreateFindsTheFirstChildOfAnyKind) {
    rkXMLElement parent;
    rkXMLNode* a = getSaveChild(&parent, rkXMLNode::Element, "a", rkXMLElement::npos);
    EXPECT_EQ(getSaveChild(&parent, rkXMLNode::Comment, "a", 0), a);
    rkXMLNode* note = createNode(&parent, rkXMLNode::Comment, "b", 0);
    // A comment of that text counts: asElement tells it from an element.
    EXPECT_EQ(setElement(&parent, "b", false, 0), note);
    EXPECT_EQ(asElement(setElement(&parent, "b", false, 0)), nullptr);
    rkXMLNode* second = setElement(&parent, "a", true, 1);
    EXPECT_EQ(names(parent), "b,a,a,");
    EXPECT_EQ(getElementAsFirst(&parent, "a"), second);
    EXPECT_EQ(getElement(&parent, 0), note);
    EXPECT_EQ(getElement(&parent, 3), nullptr);
}

TEST(Factory, SetCommentReplacesACommentElseInserts) {
    rkXMLElement parent;
    add(&parent, "item");
    EXPECT_TRUE(setComment(&parent, "one", rkXMLElement::npos));
    EXPECT_FALSE(setComment(&parent, "two", 1));
    EXPECT_TRUE(setComment(&parent, "three", 0));
    EXPECT_EQ(names(parent), "three,item,two,");
    EXPECT_EQ(getElement(&parent, 0)->getParent(), &parent);
}

TEST(Factory, RemoveElementDestroysOnlyWhatTheParentLinkHolds) {
    rkXMLElement parent;
    rkXMLNode* branch = add(&parent, "branch");
    add(add(branch, "leaf"), "deep", rkXMLNode::Comment);
    add(&parent, "keep");
    EXPECT_TRUE(removeElement(branch));  // the sanitizer build checks the subtree is freed
    rkXMLElement unlinked, stray;
    rkXMLComment foreign, holder;
    foreign.setParent(&holder);
    stray.setParent(&parent);   // names an element that does not hold it
    parent.setParent(&parent);  // a hidden root is its own parent
    for (rkXMLNode* miss :
         {static_cast<rkXMLNode*>(nullptr), static_cast<rkXMLNode*>(&unlinked), static_cast<rkXMLNode*>(&foreign),
          static_cast<rkXMLNode*>(&stray), static_cast<rkXMLNode*>(&parent)}) {
        EXPECT_FALSE(removeElement(miss));
    }
    EXPECT_EQ(names(parent), "keep,");
}

TEST(Factory, CollectsDirectCommentsAndElementsOfOneName) {
    rkXMLElement parent;
    rkXMLNode* first = add(&parent, "item");
    rkXMLNode* note = add(&parent, "item", rkXMLNode::Comment);
    add(&parent, "Item");
    add(add(&parent, "group"), "item");
    rkXMLNode* last = add(&parent, "item");
    EXPECT_EQ(getElements(&parent, "item"), (Nodes{first, last}));
    EXPECT_EQ(getComments(&parent), Nodes{note});
    EXPECT_TRUE(getElements(nullptr, "item").empty());
}
