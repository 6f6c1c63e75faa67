#include <map>
#include <string>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;
using Names = std::vector<std::string>;

template <class Node = rkXMLElement>
static Node* named(const std::string& name) {
    auto* node = new Node;
    node->setName(name);
    return node;
}

static Names childNames(const rkXMLElement& element) {
    Names names;
    for (const rkXMLNode* child : element) names.push_back(child == nullptr ? "null" : child->getName());
    return names;
}

TEST(Element, ChildrenAreInsertedBeforeTheirPositionAndFoundByIndexOrName) {
    rkXMLElement element;
    rkXMLElement* a = named("a");
    a->addChild(named("grandchild"), 0u);
    element.addChild(a, 0u);  // 0 is not below the count 0: appends
    element.addChild(named<rkXMLComment>("c"), element.getChildCount());
    element.addChild(named("b"), 1u);
    element.addChild(named("first"), 0u);
    element.addChild(nullptr, 0u);
    element.addChild(&element, 0u);  // itself: a cycle, ignored
    EXPECT_EQ(childNames(element), (Names{"first", "a", "b", "c"}));
    EXPECT_EQ(a->getParent(), nullptr);  // linking sets no parent link
    EXPECT_EQ(element.getChild(1u), a);
    EXPECT_EQ(element.getChild("c"), element.getChild(3u));  // a comment by its text
    EXPECT_EQ(element.getChild("A"), nullptr);
    EXPECT_EQ(element.getChild("grandchild"), nullptr);
}

// Positions are unsigned int, npos the largest: any position from the count up appends, and looks up or removes
// nothing, also beyond 2^31 where a signed comparison would turn negative.
TEST(Element, PositionsFromTheCountUpAppendOrMiss) {
    for (const unsigned position : {2u, 7u, 1u << 31, (1u << 31) + 1, rkXMLElement::npos - 1, rkXMLElement::npos}) {
        SCOPED_TRACE(position);
        rkXMLElement parent;
        parent.addChild(named("a"), 0u);
        parent.addChild(named("b"), 1u);
        EXPECT_EQ(parent.getChild(position), nullptr);
        EXPECT_FALSE(parent.removeChild(position));
        parent.addChild(named("end"), position);
        EXPECT_EQ(childNames(parent), (Names{"a", "b", "end"}));
    }
}

TEST(Element, RemoveChildUnlinksThenDestroysOnlyADirectChild) {
    Log log;
    rkXMLElement element;
    for (const char* name : {"0", "1", "2", "3"}) element.addChild(new Traced<rkXMLComment>(log, name, &element), 9u);
    auto* inner = named("inner");
    auto* grandchild = new Traced<rkXMLComment>(log, "grandchild");
    inner->addChild(grandchild, 0u);
    element.addChild(inner, 0u);
    rkXMLComment foreign;
    EXPECT_FALSE(element.removeChild(nullptr));
    EXPECT_FALSE(element.removeChild(&foreign));
    EXPECT_FALSE(element.removeChild(grandchild));
    EXPECT_TRUE(element.removeChild(4u));
    EXPECT_TRUE(element.removeChild(element.getChild("1")));
    EXPECT_EQ(log, (Log{"3@4", "1@3"}));  // the count already dropped: unlinked first
    element.push_back(nullptr);           // a null entry is unlinked, nothing destroyed
    EXPECT_TRUE(element.removeChild(3u));
    EXPECT_EQ(childNames(element), (Names{"inner", "0", "2"}));
    EXPECT_EQ(log.size(), 2u);
}

TEST(Element, AttributesByExactName) {
    rkXMLElement element;
    for (const char* name : {"b", "a", "B"}) element.setAttribute(name, name);
    element.setAttribute("b", "4");  // replaced, not added twice
    element.setAttribute("empty", "");
    EXPECT_EQ(element.getAttributes(),
              (std::map<std::string, std::string>{{"B", "B"}, {"a", "a"}, {"b", "4"}, {"empty", ""}}));
    std::string value = "stale";
    element.getAttribute("missing", value);
    EXPECT_EQ(value, "");
    // A missing attribute and an empty one read the same, but only one is there.
    EXPECT_TRUE(element.hasAttribute("empty"));
    EXPECT_FALSE(element.hasAttribute("missing"));
    EXPECT_TRUE(element.removeAttribute("empty"));
    EXPECT_FALSE(element.removeAttribute("empty"));
}
