#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"

namespace {

using Log = std::vector<std::string>;

// Records its name when destroyed.
template <class Base>
class Traced : public Base {
public:
    Traced(Log& log, const std::string& name) : log(log) { this->setName(name); }
    ~Traced() override { log.push_back(this->getName()); }

private:
    Log& log;
};

rkXMLElement* rootOf(const rkXMLDocument& document) { return static_cast<rkXMLElement*>(document.getRoot()); }

// Links `node` at the end of `holder` with a correct parent link.
template <class Node>
Node* append(rkXMLNode* holder, Node* node, const std::string& name = "") {
    if (!name.empty()) node->setName(name);
    node->setParent(holder);
    static_cast<rkXMLElement*>(holder)->addChild(node, rkXMLElement::npos);
    return node;
}

std::string topLevelNames(const rkXMLDocument& document) {
    std::string names;
    for (const rkXMLNode* child : *rootOf(document)) names += (names.empty() ? "" : ",") + child->getName();
    return names;
}

// Same names, kinds, values, attributes `id`, `x` and child order at every level, no shared node,
// and every parent link pointing at the copy's own holder.
void expectDeepCopy(rkXMLNode* source, rkXMLNode* copy, rkXMLNode* expectedParent) {
    ASSERT_NE(source, copy);
    ASSERT_EQ(source->getElementType(), copy->getElementType());
    EXPECT_EQ(source->getName(), copy->getName());
    EXPECT_EQ(copy->getParent(), expectedParent);
    if (copy->getElementType() != rkXMLNode::Element) return;
    auto* from = static_cast<rkXMLElement*>(source);
    auto* to = static_cast<rkXMLElement*>(copy);
    EXPECT_EQ(from->getValue(), to->getValue());
    for (const char* name : {"id", "x"}) {
        std::string expected, actual;
        from->getAttribute(name, expected);
        to->getAttribute(name, actual);
        EXPECT_EQ(expected, actual) << name;
    }
    ASSERT_EQ(from->getChildCount(), to->getChildCount());
    for (unsigned int i = 0; i < from->getChildCount(); ++i) expectDeepCopy(from->getChild(i), to->getChild(i), to);
}

}  // namespace

TEST(DocumentTest, NewDocumentHasAnEmptyHiddenRoot) {
    rkXMLDocument document;
    EXPECT_EQ(rkXMLDocument::getRootTagName(), "?root?");
    rkXMLNode* root = document.getRoot();
    EXPECT_EQ(root->getElementType(), rkXMLNode::Element);
    EXPECT_EQ(root->getName(), rkXMLDocument::getRootTagName());
    EXPECT_EQ(root->getParent(), root);
    EXPECT_EQ(rootOf(document)->getChildCount(), 0u);
    EXPECT_EQ(document.getTopLevelElement(), nullptr);
    EXPECT_EQ(document.getHeader(), nullptr);
    EXPECT_FALSE(document.removeHeader());
    EXPECT_TRUE(document.getFileName().empty());
}

TEST(DocumentTest, SetHeaderCreatesOneHeaderInFrontAndUpdatesItInPlace) {
    rkXMLDocument document;
    append(document.getRoot(), new rkXMLComment, "c");
    append(document.getRoot(), new rkXMLElement, "top");

    EXPECT_TRUE(document.setStandardHeader());
    EXPECT_TRUE(document.setStandardHeader());
    rkXMLHeader* header = document.getHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(rootOf(document)->getChild(0u), header);
    EXPECT_EQ(rootOf(document)->getChildCount(), 3u);
    EXPECT_EQ(header->getParent(), document.getRoot());
    EXPECT_EQ(header->getVersion(), "1.0");
    EXPECT_EQ(header->getEncodingType(), "");
    EXPECT_EQ(header->getName(), "<?xml version=\"1.0\" ?>");

    rkXMLElement* root = rootOf(document);
    root->splice(root->end(), *root, root->begin());  // move the header behind the others
    EXPECT_TRUE(document.setHeader("1.1", "utf-8"));
    EXPECT_TRUE(document.setHeader("2.0", "UTF-8"));
    EXPECT_EQ(document.getHeader(), header);
    EXPECT_EQ(root->getChild(2u), header);  // kept its place
    EXPECT_EQ(header->getName(), "<?xml version=\"2.0\" ?>");
    document.setHeader("9", "utf-16");
    EXPECT_EQ(header->getName(), "<?xml version=\"1.0\" encoding=\"utf-16\" ?>");
}

TEST(DocumentTest, RemoveHeaderDestroysOnlyTheHeader) {
    Log log;
    rkXMLDocument document;
    append(document.getRoot(), new rkXMLComment, "c");
    document.setStandardHeader();
    append(document.getRoot(), new rkXMLElement, "top");

    EXPECT_TRUE(document.removeHeader());
    EXPECT_EQ(document.getHeader(), nullptr);
    EXPECT_EQ(topLevelNames(document), "c,top");
    EXPECT_FALSE(document.removeHeader());

    // A header linked without a parent link is still taken out and destroyed.
    auto* unlinked = new Traced<rkXMLHeader>(log, "h");
    rootOf(document)->addChild(unlinked, 1u);
    EXPECT_TRUE(document.removeHeader());
    EXPECT_EQ(log, Log{"h"});
    EXPECT_EQ(topLevelNames(document), "c,top");
}

TEST(DocumentTest, SetTopLevelElementReplacesTheFirstElementAndAppends) {
    Log log;
    rkXMLDocument document;
    document.setStandardHeader();
    append(document.getRoot(), new rkXMLComment, "c1");
    append(document.getRoot(), new Traced<rkXMLElement>(log, "A1"));
    append(document.getRoot(), new rkXMLComment, "c2");
    append(document.getRoot(), new Traced<rkXMLElement>(log, "A2"));
    EXPECT_EQ(document.getTopLevelElement()->getName(), "A1");

    auto* b = new Traced<rkXMLElement>(log, "B");
    EXPECT_TRUE(document.setTopLevelElement(b));
    EXPECT_EQ(log, Log{"A1"});
    EXPECT_EQ(topLevelNames(document), "<?xml version=\"1.0\" ?>,c1,c2,A2,B");
    EXPECT_EQ(document.getTopLevelElement()->getName(), "A2");

    EXPECT_TRUE(document.setTopLevelElement(nullptr));
    EXPECT_EQ(log, (Log{"A1", "A2"}));
    EXPECT_EQ(document.getTopLevelElement(), b);

    // The current top-level element given again is moved to the end, not destroyed.
    append(document.getRoot(), new rkXMLComment, "c3");
    EXPECT_TRUE(document.setTopLevelElement(b));
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(topLevelNames(document), "<?xml version=\"1.0\" ?>,c1,c2,c3,B");

    EXPECT_TRUE(document.setTopLevelElement(nullptr));
    auto* note = new rkXMLComment;
    note->setName("c4");
    EXPECT_TRUE(document.setTopLevelElement(note));  // any kind is appended
    EXPECT_EQ(document.getTopLevelElement(), nullptr);
    EXPECT_EQ(topLevelNames(document), "<?xml version=\"1.0\" ?>,c1,c2,c3,c4");
    EXPECT_EQ(log, (Log{"A1", "A2", "B"}));
}

TEST(DocumentTest, MakeEmptyReplacesTheTreeAndKeepsTheFileName) {
    Log log;
    rkXMLDocument document;
    document.setFileName("data.xml");
    document.setStandardHeader();
    auto* top = append(document.getRoot(), new Traced<rkXMLElement>(log, "top"));
    append(top, new Traced<rkXMLComment>(log, "inner"));
    document.getRoot()->setName("renamed");

    document.makeEmpty();
    EXPECT_EQ(log, (Log{"top", "inner"}));
    EXPECT_EQ(document.getFileName(), "data.xml");
    EXPECT_EQ(document.getRoot()->getName(), "?root?");
    EXPECT_EQ(document.getRoot()->getParent(), document.getRoot());
    EXPECT_EQ(rootOf(document)->getChildCount(), 0u);
}

TEST(DocumentTest, CopyIsDeepAndIndependent) {
    rkXMLDocument source;
    source.setFileName("in.xml");
    source.setHeader("1.1", "utf-8");
    source.getHeader()->setName("stale text");  // the copy rebuilds it from version and encoding
    append(source.getRoot(), new rkXMLComment, "note");
    auto* top = append(source.getRoot(), new rkXMLElement, "top");
    top->setAttribute("id", "7");
    top->setAttribute("x", "");
    top->setValue("v");
    auto* child = new rkXMLElement;  // linked without a parent link: the copy sets one
    child->setName("child");
    top->addChild(child, rkXMLElement::npos);
    append(child, new rkXMLComment, "deep");
    append(top, new rkXMLElement, "last")->setAttribute("id", "9");

    rkXMLDocument copy(source);
    EXPECT_EQ(copy.getFileName(), "in.xml");
    EXPECT_EQ(copy.getHeader()->getName(), "<?xml version=\"1.1\" encoding=\"utf-8\" ?>");
    source.getHeader()->setEncodingType("utf-8");  // rebuild the source's text for the comparison
    expectDeepCopy(source.getRoot(), copy.getRoot(), copy.getRoot());

    static_cast<rkXMLElement*>(copy.getTopLevelElement())->setAttribute("id", "8");
    copy.getTopLevelElement()->setName("changed");
    copy.removeHeader();
    std::string id;
    top->getAttribute("id", id);
    EXPECT_EQ(id, "7");
    EXPECT_EQ(top->getName(), "top");
    EXPECT_NE(source.getHeader(), nullptr);
}

TEST(DocumentTest, AssignmentReplacesTreeAndFileName) {
    Log log;
    rkXMLDocument source;
    source.setFileName("source.xml");
    append(source.getRoot(), new rkXMLElement, "s");

    rkXMLDocument target;
    target.setFileName("target.xml");
    append(target.getRoot(), new Traced<rkXMLElement>(log, "old"));
    target = source;
    EXPECT_EQ(log, Log{"old"});
    EXPECT_EQ(target.getFileName(), "source.xml");
    expectDeepCopy(source.getRoot(), target.getRoot(), target.getRoot());

    // Self-assignment keeps every node where it was.
    rkXMLNode* root = target.getRoot();
    rkXMLNode* top = target.getTopLevelElement();
    rkXMLDocument& self = target;
    target = self;
    EXPECT_EQ(target.getRoot(), root);
    EXPECT_EQ(target.getTopLevelElement(), top);
    EXPECT_EQ(top->getName(), "s");
}

TEST(DocumentTest, CopyOfANodeOfNoKindFailsAndLeavesTheTargetAsItWas) {
    rkXMLDocument bad;
    auto* top = append(bad.getRoot(), new rkXMLElement, "top");
    append(top, new rkXMLElement, "before");
    append(top, new rkXMLNode, "plain");
    append(top, new rkXMLElement, "after");

    try {
        rkXMLDocument copy(bad);
        FAIL() << "copied a node of no kind";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Unknown element type");
    }

    Log log;
    rkXMLDocument target;
    target.setFileName("target.xml");
    auto* kept = append(target.getRoot(), new Traced<rkXMLElement>(log, "kept"));
    rkXMLNode* root = target.getRoot();
    EXPECT_THROW(target = bad, std::runtime_error);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(target.getRoot(), root);
    EXPECT_EQ(target.getTopLevelElement(), kept);
    EXPECT_EQ(topLevelNames(target), "kept");
    EXPECT_EQ(target.getFileName(), "target.xml");
}

TEST(DocumentTest, VeryDeepTreeIsCopiedAssignedAndDestroyed) {
    const unsigned int depth = 1000000;
    auto countLevels = [](const rkXMLDocument& document) {
        unsigned int levels = 0;
        rkXMLNode* holder = document.getRoot();
        for (rkXMLNode* node = document.getTopLevelElement(); node != nullptr; ++levels) {
            if (node->getParent() != holder) return 0u;
            holder = node;
            node = static_cast<rkXMLElement*>(node)->getChild(0u);
        }
        return levels;
    };

    rkXMLDocument target;
    {
        rkXMLDocument source;
        rkXMLElement* holder = rootOf(source);
        for (unsigned int i = 0; i < depth; ++i) {
            auto* next = new rkXMLElement;
            next->setParent(holder);
            holder->push_back(next);
            holder = next;
        }
        holder->setName("bottom");

        rkXMLDocument copy(source);
        EXPECT_EQ(countLevels(copy), depth);
        target = copy;
    }
    EXPECT_EQ(countLevels(target), depth);
    target.makeEmpty();
    EXPECT_EQ(rootOf(target)->getChildCount(), 0u);
}
