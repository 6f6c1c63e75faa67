#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLElement.h"

namespace {

static_assert(std::is_same_v<decltype(rkXMLElement::npos), unsigned int>);

using Log = std::vector<std::string>;

// Records its name when destroyed and, given its holder, how many entries
// the holder still lists at that moment.
template <class Base>
struct Traced : Base {
    Traced(Log& log, const std::string& name, const rkXMLElement* holder = nullptr) : log(log), holder(holder) {
        this->setName(name);
    }
    ~Traced() override {
        log.push_back(this->getName() + (holder ? "@" + std::to_string(holder->getChildCount()) : ""));
    }
    Log& log;
    const rkXMLElement* holder;
};

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

TEST(ElementTest, NewElementIsEmpty) {
    rkXMLElement element;
    EXPECT_EQ(element.getElementType(), rkXMLNode::Element);
    EXPECT_EQ(element.getParent(), nullptr);
    EXPECT_TRUE(element.getName().empty() && element.getValue().empty());
    EXPECT_EQ(element.getChildCount(), 0u);
    EXPECT_EQ(element.getChild(0u), nullptr);
    EXPECT_EQ(rkXMLElement::npos, 0xFFFFFFFFu);
}

TEST(ElementTest, AddChildInsertsBeforePositionOrAppends) {
    rkXMLElement element;
    element.addChild(named("a"), 0u);  // 0 is not below the count 0: appends
    element.addChild(named("b"), element.getChildCount());
    element.addChild(named<rkXMLComment>("c"), rkXMLElement::npos);
    element.addChild(named("d"), 1u);
    EXPECT_EQ(childNames(element), "adbc");
    element.addChild(named("e"), 0u);
    element.addChild(named("f"), element.getChildCount() + 5);
    element.addChild(nullptr, 0u);
    EXPECT_EQ(childNames(element), "eadbcf");
    EXPECT_EQ(element.getChild(2u)->getParent(), nullptr);  // linking sets no parent link
}

TEST(ElementTest, GetChildByIndexAndByName) {
    rkXMLElement element;
    rkXMLNode* first = named("item");
    rkXMLNode* note = named<rkXMLComment>("note");
    auto* inner = static_cast<rkXMLElement*>(named("item"));
    inner->addChild(named("deep"), rkXMLElement::npos);
    for (rkXMLNode* child : {first, note, static_cast<rkXMLNode*>(inner)}) element.addChild(child, rkXMLElement::npos);

    EXPECT_EQ(element.getChild(2u), inner);
    EXPECT_EQ(element.getChild(3u), nullptr);
    EXPECT_EQ(element.getChild(rkXMLElement::npos), nullptr);
    EXPECT_EQ(element.getChild("item"), first);  // the first of two
    EXPECT_EQ(element.getChild("note"), note);   // a comment matches by its text
    EXPECT_EQ(element.getChild("Item"), nullptr);
    EXPECT_EQ(element.getChild("deep"), nullptr);  // direct children only
}

TEST(ElementTest, RemoveChildUnlinksThenDestroysOnlyADirectChild) {
    Log log;
    rkXMLElement element;
    rkXMLElement other;
    for (const char* name : {"0", "1", "2", "3", "4"}) {
        element.addChild(new Traced<rkXMLComment>(log, name, &element), 9u);
    }
    auto* inner = new rkXMLElement;
    auto* grandchild = new Traced<rkXMLComment>(log, "grandchild");
    auto* foreign = new Traced<rkXMLComment>(log, "foreign");
    inner->addChild(grandchild, 0u);
    element.addChild(inner, 0u);
    other.addChild(foreign, 0u);
    EXPECT_FALSE(element.removeChild(6u));
    EXPECT_FALSE(element.removeChild(rkXMLElement::npos));
    EXPECT_FALSE(element.removeChild(nullptr));
    EXPECT_FALSE(element.removeChild(foreign));
    EXPECT_FALSE(element.removeChild(grandchild));
    EXPECT_TRUE(log.empty());

    EXPECT_TRUE(element.removeChild(5u));
    EXPECT_TRUE(element.removeChild(element.getChild("1")));
    EXPECT_EQ(log, (Log{"4@5", "1@4"}));  // the count already dropped: unlinked first
    EXPECT_EQ(element.getChild(0u), inner);
    EXPECT_EQ(other.getChild(0u), foreign);

    element.push_back(nullptr);  // a null entry is unlinked, nothing destroyed
    EXPECT_TRUE(element.removeChild(4u));
    EXPECT_EQ(element.getChildCount(), 4u);
    EXPECT_EQ(log.size(), 2u);
}

TEST(ElementTest, AttributesAreSetReplacedAndReadByExactName) {
    rkXMLElement element;
    auto attribute = [&element](const char* name) {
        std::string out = "stale";  // a miss must clear it
        element.getAttribute(name, out);
        return out;
    };
    EXPECT_EQ(attribute("id"), "");
    const char* const settings[][2] = {{"b", "1"}, {"a", "2"}, {"B", "3"}, {"b", "4"}, {"empty", ""}};
    for (const auto& setting : settings) element.setAttribute(setting[0], setting[1]);
    EXPECT_EQ(attribute("b"), "4");  // replaced, not added twice
    EXPECT_EQ(attribute("a"), "2");
    EXPECT_EQ(attribute("B"), "3");
    EXPECT_EQ(attribute("empty"), "");
    EXPECT_EQ(attribute("ab"), "");
}

TEST(ElementTest, DestructorDestroysEverythingOnceInDocumentOrder) {
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
