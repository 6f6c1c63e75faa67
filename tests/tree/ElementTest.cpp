#include <string>
#include <vector>

#include "tests/TestSupport.h"

using testing_support::Log;
using testing_support::Traced;

namespace {

template <class Node = rkXMLElement>
rkXMLNode* named(const std::string& name) {
    auto* node = new Node;
    node->setName(name);
    return node;
}

std::string childNames(const rkXMLElement& element) {
    std::string names;
    for (const rkXMLNode* child : element) names += child->getName();
    return names;
}

}  // namespace

TEST(Element, AddChildInsertsBeforePositionOrAppends) {
    rkXMLElement element;
    element.addChild(named("a"), 0u);  // 0 is not below the count 0: appends
    element.addChild(named("b"), element.getChildCount());
    element.addChild(named<rkXMLComment>("c"), rkXMLElement::npos);
    element.addChild(named("d"), 1u);
    element.addChild(named("e"), 0u);
    element.addChild(named("f"), element.getChildCount() + 5);
    element.addChild(nullptr, 0u);
    element.addChild(&element, 0u);  // itself: a cycle, ignored
    EXPECT_EQ(childNames(element), "eadbcf");
    EXPECT_EQ(element.getChild(2u)->getParent(), nullptr);  // linking sets no parent link
}

TEST(Element, GetChildByIndexAndByName) {
    rkXMLElement element;
    rkXMLNode* first = named("item");
    rkXMLNode* note = named<rkXMLComment>("note");
    auto* inner = static_cast<rkXMLElement*>(named("item"));
    inner->addChild(named("deep"), rkXMLElement::npos);
    for (rkXMLNode* child : {first, note, static_cast<rkXMLNode*>(inner)}) element.addChild(child, rkXMLElement::npos);

    EXPECT_EQ(element.getChild(2u), inner);
    EXPECT_EQ(element.getChild(3u), nullptr);
    EXPECT_EQ(element.getChild("item"), first);  // the first of two
    EXPECT_EQ(element.getChild("note"), note);   // a comment matches by its text
    EXPECT_EQ(element.getChild("Item"), nullptr);
    EXPECT_EQ(element.getChild("deep"), nullptr);  // direct children only
}

TEST(Element, RemoveChildUnlinksThenDestroysOnlyADirectChild) {
    Log log;
    rkXMLElement element;
    rkXMLElement other;
    for (const char* name : {"0", "1", "2", "3", "4"})
        element.addChild(new Traced<rkXMLComment>(log, name, &element), 9u);
    auto* inner = new rkXMLElement;
    auto* grandchild = new Traced<rkXMLComment>(log, "grandchild");
    auto* foreign = new Traced<rkXMLComment>(log, "foreign");
    inner->addChild(grandchild, 0u);
    element.addChild(inner, 0u);
    other.addChild(foreign, 0u);
    for (rkXMLNode* miss :
         {static_cast<rkXMLNode*>(nullptr), static_cast<rkXMLNode*>(foreign), static_cast<rkXMLNode*>(grandchild)}) {
        EXPECT_FALSE(element.removeChild(miss));
    }
    EXPECT_FALSE(element.removeChild(6u));
    EXPECT_TRUE(log.empty());

    EXPECT_TRUE(element.removeChild(5u));
    EXPECT_TRUE(element.removeChild(element.getChild("1")));
    EXPECT_EQ(log, (Log{"4@5", "1@4"}));  // the count already dropped: unlinked first
    element.push_back(nullptr);           // a null entry is unlinked, nothing destroyed
    EXPECT_TRUE(element.removeChild(4u));
    EXPECT_EQ(element.getChildCount(), 4u);
    EXPECT_EQ(log.size(), 2u);
}

TEST(Element, AttributesByExactNameInByteOrder) {
    rkXMLElement element;
    auto attribute = [&element](const char* name) {
        std::string out = "stale";  // a miss must clear it
        element.getAttribute(name, out);
        return out;
    };
    for (const char* name : {"b", "a", "B", "ab"}) element.setAttribute(name, name);
    element.setAttribute("b", "4");  // replaced, not added twice
    element.setAttribute("empty", "");
    EXPECT_EQ(attribute("b"), "4");
    EXPECT_EQ(attribute("missing"), "");
    std::string order;
    for (const auto& [name, value] : element.getAttributes()) order += name + "=" + value + ",";
    EXPECT_EQ(order, "B=B,a=a,ab=ab,b=4,empty=,");
    // A missing attribute and an empty one read the same, but only one is there.
    EXPECT_TRUE(element.hasAttribute("empty"));
    EXPECT_FALSE(element.hasAttribute("missing"));
    EXPECT_TRUE(element.removeAttribute("empty"));
    EXPECT_FALSE(element.removeAttribute("empty"));
    EXPECT_FALSE(element.hasAttribute("empty"));
    EXPECT_EQ(element.getAttributes().size(), 4u);
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
