#include <string>

#include "tests/TestSupport.h"

using testing_support::Log;
using testing_support::Traced;

template <class Node = rkXMLElement>
static Node* named(const std::string& name) {
    auto* node = new Node;
    node->setName(name);
    return node;
}

static std::string childNames(const rkXMLElement& element) {
    std::string names;
    for (const rkXMLNode* child : element) names += child->getName();
    return names;
}

TEST(Element, AddChildInsertsBeforePositionOrAppends) {
    rkXMLElement element;
    rkXMLElement* d = named("d");
    d->addChild(named("g"), 0u);
    element.addChild(named("a"), 0u);  // 0 is not below the count 0: appends
    element.addChild(named("b"), element.getChildCount());
    element.addChild(named<rkXMLComment>("c"), rkXMLElement::npos);
    element.addChild(d, 1u);
    element.addChild(named("e"), 0u);
    element.addChild(named("f"), element.getChildCount() + 5);
    element.addChild(nullptr, 0u);
    element.addChild(&element, 0u);  // itself: a cycle, ignored
    EXPECT_EQ(childNames(element), "eadbcf");
    EXPECT_EQ(element.getChild(2u)->getParent(), nullptr);                           // linking sets no parent link
    EXPECT_EQ(element.getChild("c"), element.getChild(4u));                          // a comment matches by its text
    for (const char* miss : {"C", "g"}) EXPECT_EQ(element.getChild(miss), nullptr);  // exact, direct only
}

TEST(Element, RemoveChildUnlinksThenDestroysOnlyADirectChild) {
    Log log;
    rkXMLElement element;
    for (const char* name : {"0", "1", "2", "3"}) element.addChild(new Traced<rkXMLComment>(log, name, &element), 9u);
    auto* inner = new rkXMLElement;
    auto* grandchild = new Traced<rkXMLComment>(log, "grandchild");
    inner->addChild(grandchild, 0u);
    element.addChild(inner, 0u);
    rkXMLComment foreign;
    rkXMLNode* const misses[] = {nullptr, &foreign, grandchild};
    for (rkXMLNode* miss : misses) EXPECT_FALSE(element.removeChild(miss));
    EXPECT_TRUE(!element.removeChild(5u) && element.removeChild(4u));
    EXPECT_TRUE(element.removeChild(element.getChild("1")));
    EXPECT_EQ(log, (Log{"3@4", "1@3"}));  // the count already dropped: unlinked first
    element.push_back(nullptr);           // a null entry is unlinked, nothing destroyed
    EXPECT_TRUE(element.removeChild(3u));
    EXPECT_EQ(childNames(element) + std::to_string(log.size()), "022");
}

TEST(Element, DestructorDestroysEverythingOnceInDocumentOrder) {
    Log log;
    auto* root = new rkXMLElement;
    auto* a = new Traced<rkXMLElement>(log, "a", root);
    auto* a1 = new Traced<rkXMLElement>(log, "a1");
    a1->addChild(new Traced<rkXMLComment>(log, "a1x"), rkXMLElement::npos);
    a1->addChild(new Traced<rkXMLElement>(log, "a1y"), rkXMLElement::npos);
    a->addChild(a1, rkXMLElement::npos);
    a->addChild(new Traced<rkXMLComment>(log, "a2"), rkXMLElement::npos);
    root->addChild(new Traced<rkXMLComment>(log, "c", root), rkXMLElement::npos);
    root->addChild(a, rkXMLElement::npos);
    root->push_back(nullptr);
    root->addChild(new Traced<rkXMLElement>(log, "b", root), rkXMLElement::npos);
    delete root;
    // Each child is unlinked just before it goes; later ones are still listed.
    EXPECT_EQ(log, (Log{"c@3", "a@2", "a1", "a1x", "a1y", "a2", "b@0"}));
}

TEST(Element, AttributesByExactNameInByteOrder) {
    rkXMLElement element;
    for (const char* name : {"b", "a", "B", "ab"}) element.setAttribute(name, name);
    element.setAttribute("b", "4");  // replaced, not added twice
    element.setAttribute("empty", "");
    std::string order;
    for (const auto& [name, value] : element.getAttributes()) order += name + "=" + value + ",";
    EXPECT_EQ(order, "B=B,a=a,ab=ab,b=4,empty=,");
    std::string value = "stale";  // a miss must clear it
    element.getAttribute("missing", value);
    EXPECT_EQ(value, "");
    // A missing attribute and an empty one read the same, but only one is there.
    EXPECT_TRUE(element.hasAttribute("empty") && !element.hasAttribute("missing"));
    EXPECT_TRUE(element.removeAttribute("empty"));
    EXPECT_FALSE(element.removeAttribute("empty") || element.hasAttribute("empty"));
}
