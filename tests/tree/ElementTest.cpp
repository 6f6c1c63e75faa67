#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLElement.h"

namespace {

static_assert(std::is_same_v<decltype(rkXMLElement::npos), unsigned int>);

using Log = std::vector<std::string>;

// Records its name when destroyed. Given the element that holds it, also
// records how many entries that element still lists and whether this node is
// still among them at that moment.
template <class Base>
class Traced : public Base {
public:
    Traced(Log& log, const std::string& name, const rkXMLElement* holder = nullptr) : log(log), holder(holder) {
        this->setName(name);
    }
    ~Traced() override {
        std::string entry = this->getName();
        if (holder != nullptr) {
            entry += "@" + std::to_string(holder->getChildCount());
            if (std::find(holder->begin(), holder->end(), this) != holder->end()) entry += " still linked";
        }
        log.push_back(entry);
    }

private:
    Log& log;
    const rkXMLElement* holder;
};

rkXMLNode* named(rkXMLNode* node, const std::string& name) {
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
    EXPECT_TRUE(element.getName().empty());
    EXPECT_TRUE(element.getValue().empty());
    EXPECT_EQ(element.getChildCount(), 0u);
    EXPECT_TRUE(element.empty());
    EXPECT_EQ(element.getChild(0u), nullptr);
    EXPECT_EQ(rkXMLElement::npos, 0xFFFFFFFFu);
}

TEST(ElementTest, AddChildInsertsBeforePositionOrAppends) {
    rkXMLElement element;
    element.addChild(named(new rkXMLElement, "a"), 0u);  // 0 is not below 0: appends
    element.addChild(named(new rkXMLElement, "b"), element.getChildCount());
    element.addChild(named(new rkXMLComment, "c"), rkXMLElement::npos);
    EXPECT_EQ(childNames(element), "abc");

    element.addChild(named(new rkXMLElement, "d"), 1u);
    EXPECT_EQ(childNames(element), "adbc");
    element.addChild(named(new rkXMLElement, "e"), 0u);
    EXPECT_EQ(childNames(element), "eadbc");
    element.addChild(named(new rkXMLElement, "f"), element.getChildCount() + 5);
    EXPECT_EQ(childNames(element), "eadbcf");

    element.addChild(nullptr, 0u);
    EXPECT_EQ(element.getChildCount(), 6u);
    EXPECT_EQ(element.getChild(2u)->getParent(), nullptr);  // linking sets no parent link
}

TEST(ElementTest, GetChildByIndexAndByName) {
    rkXMLElement element;
    rkXMLNode* first = named(new rkXMLElement, "item");
    rkXMLNode* note = named(new rkXMLComment, "note");
    rkXMLNode* second = named(new rkXMLElement, "item");
    auto* inner = static_cast<rkXMLElement*>(named(new rkXMLElement, "inner"));
    inner->addChild(named(new rkXMLElement, "deep"), rkXMLElement::npos);
    for (rkXMLNode* child : {first, note, second, static_cast<rkXMLNode*>(inner)}) {
        element.addChild(child, rkXMLElement::npos);
    }

    EXPECT_EQ(element.getChild(0u), first);
    EXPECT_EQ(element.getChild(3u), inner);
    EXPECT_EQ(element.getChild(element.getChildCount()), nullptr);
    EXPECT_EQ(element.getChild(rkXMLElement::npos), nullptr);

    EXPECT_EQ(element.getChild("item"), first);  // the first of two
    EXPECT_EQ(element.getChild("note"), note);   // any kind of child matches
    EXPECT_EQ(element.getChild("Item"), nullptr);
    EXPECT_EQ(element.getChild("deep"), nullptr);  // direct children only
    EXPECT_EQ(element.getChild(""), nullptr);
}

TEST(ElementTest, RemoveChildByIndexDestroysOnlyThatChild) {
    Log log;
    rkXMLElement element;
    for (const char* name : {"0", "1", "2", "3", "4"}) {
        element.addChild(new Traced<rkXMLComment>(log, name, &element), rkXMLElement::npos);
    }

    EXPECT_FALSE(element.removeChild(5u));
    EXPECT_FALSE(element.removeChild(rkXMLElement::npos));
    EXPECT_EQ(element.getChildCount(), 5u);
    EXPECT_TRUE(log.empty());

    EXPECT_TRUE(element.removeChild(4u));
    EXPECT_TRUE(element.removeChild(1u));
    EXPECT_EQ(childNames(element), "023");
    EXPECT_EQ(log, (Log{"4@4", "1@3"}));  // unlinked before destroyed

    element.push_back(nullptr);  // a null entry is unlinked, nothing destroyed
    EXPECT_TRUE(element.removeChild(3u));
    EXPECT_EQ(element.getChildCount(), 3u);
    EXPECT_EQ(log.size(), 2u);
}

TEST(ElementTest, RemoveChildByPointerOnlyTakesDirectChildren) {
    Log log;
    rkXMLElement element;
    rkXMLElement other;
    auto* inner = new rkXMLElement;
    auto* grandchild = new Traced<rkXMLComment>(log, "grandchild");
    inner->addChild(grandchild, rkXMLElement::npos);
    auto* child = new Traced<rkXMLComment>(log, "child", &element);
    auto* foreign = new Traced<rkXMLComment>(log, "foreign");
    element.addChild(inner, rkXMLElement::npos);
    element.addChild(child, rkXMLElement::npos);
    other.addChild(foreign, rkXMLElement::npos);

    EXPECT_FALSE(element.removeChild(nullptr));
    EXPECT_FALSE(element.removeChild(foreign));
    EXPECT_FALSE(element.removeChild(grandchild));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(other.getChild(0u), foreign);
    EXPECT_EQ(foreign->getName(), "foreign");

    EXPECT_TRUE(element.removeChild(child));
    EXPECT_EQ(log, Log{"child@1"});
    EXPECT_FALSE(element.removeChild(child));  // gone, not found again
    EXPECT_EQ(element.getChildCount(), 1u);
}

TEST(ElementTest, ListInterfaceNeverDestroys) {
    Log log;
    auto* comment = new Traced<rkXMLComment>(log, "kept");
    {
        rkXMLElement element;
        element.push_back(comment);
        element.clear();
    }
    EXPECT_TRUE(log.empty());
    delete comment;
    EXPECT_EQ(log, Log{"kept"});
}

TEST(ElementTest, AttributesAreSetReplacedAndReadByExactName) {
    rkXMLElement element;
    std::string out = "stale";
    element.getAttribute("id", out);
    EXPECT_EQ(out, "");  // a miss clears the out-parameter

    element.setAttribute("b", "1");
    element.setAttribute("a", "2");
    element.setAttribute("B", "3");
    element.setAttribute("b", "4");  // replaced, not added twice
    element.setAttribute("empty", "");
    element.getAttribute("b", out);
    EXPECT_EQ(out, "4");
    element.getAttribute("a", out);
    EXPECT_EQ(out, "2");
    element.getAttribute("B", out);
    EXPECT_EQ(out, "3");
    element.getAttribute("empty", out);
    EXPECT_EQ(out, "");
    out = "stale";
    element.getAttribute("ab", out);
    EXPECT_EQ(out, "");

    element.setValue("text & more");
    EXPECT_EQ(element.getValue(), "text & more");
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
    // Each direct child is unlinked just before it goes; later siblings stay linked.
    EXPECT_EQ(log, (Log{"c@3", "a@2", "a1", "a1x", "a1y", "a2", "b@0"}));
}
