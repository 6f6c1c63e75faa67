#include "tests/TestSupport.h"

using namespace rkXMLFactory;
using testing_support::describe;
using Nodes = std::list<rkXMLNode*>;

static rkXMLNode* add(rkXMLNode* parent, const std::string& name, rkXMLNode::TType type = rkXMLNode::Element) {
    return createNode(parent, type, name, rkXMLElement::npos);
}

// describe() marks a child without a parent link with "^": none may appear here.
TEST(Factory, CreateNodeAndSetCommentInsertAtPositionWithParentLink) {
    rkXMLElement parent;
    add(&parent, "x");
    createNode(&parent, rkXMLNode::Element, "a", 0);
    createNode(&parent, rkXMLNode::Comment, "b", 1);
    // A comment at the position is replaced (false: nothing added); else one is inserted there.
    EXPECT_FALSE(setComment(&parent, "c", 1));
    EXPECT_TRUE(setComment(&parent, "d", 0));
    EXPECT_TRUE(setComment(&parent, "e", 1u << 31));
    setElement(&parent, "f", true, rkXMLElement::npos - 1);
    EXPECT_EQ(describe(&parent), "(<!--d-->,a,<!--c-->,x,<!--e-->,f)");
}

TEST(Factory, RefusesNonElementParentsAndOtherTypes) {
    rkXMLElement parent;
    rkXMLComment comment;
    rkXMLNode plain;
    const std::pair<const char*, rkXMLNode*> refusedParents[] = {
        {"null", nullptr}, {"comment", &comment}, {"node of no kind", &plain}};
    for (const auto& [name, refused] : refusedParents) {
        SCOPED_TRACE(name);
        EXPECT_EQ(add(refused, "a"), nullptr);
        EXPECT_EQ(asElement(refused), nullptr);
        EXPECT_FALSE(setComment(refused, "c", 0));
        EXPECT_TRUE(getComments(refused).empty());
        EXPECT_EQ(findElement(refused, "a"), nullptr);
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
    EXPECT_EQ(setElement(&parent, "b", false, 0), note);  // a comment of that text counts
    rkXMLNode* second = setElement(&parent, "a", true, 1);
    EXPECT_EQ(describe(&parent), "(<!--b-->,a,a)");
    EXPECT_EQ(getElementAsFirst(&parent, "a"), second);
    EXPECT_EQ(getElement(&parent, 2), a);
    EXPECT_EQ(getElement(&parent, 3), nullptr);
}

// A program that looked "zoom" up by name got the comment, and crashed when it took it for an element.
TEST(Factory, FindElementSkipsCommentsAndGrandchildren) {
    rkXMLElement parent;
    add(&parent, "zoom", rkXMLNode::Comment);
    add(add(&parent, "group"), "zoom");
    rkXMLNode* zoom = add(&parent, "zoom");
    add(&parent, "zoom");
    EXPECT_EQ(findElement(&parent, "zoom"), zoom);
    EXPECT_EQ(findElement(&parent, "Zoom"), nullptr);
}

TEST(Factory, RemoveElementDestroysOnlyWhatTheParentLinkHolds) {
    rkXMLElement parent;
    add(add(add(&parent, "branch"), "leaf"), "deep", rkXMLNode::Comment);
    add(&parent, "keep");
    EXPECT_TRUE(removeElement(parent.front()));  // the sanitizer build checks the subtree is freed
    rkXMLElement unlinked, stray;
    rkXMLComment foreign, holder;
    foreign.setParent(&holder);
    stray.setParent(&parent);   // names an element that does not hold it
    parent.setParent(&parent);  // a hidden root is its own parent
    const std::pair<const char*, rkXMLNode*> misses[] = {{"null", nullptr},
                                                         {"without parent link", &unlinked},
                                                         {"linked to a comment", &foreign},
                                                         {"linked to an element that does not hold it", &stray},
                                                         {"its own parent", &parent}};
    for (const auto& [name, miss] : misses) EXPECT_FALSE(removeElement(miss)) << name;
    EXPECT_EQ(describe(&parent), "(keep)");
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
}
