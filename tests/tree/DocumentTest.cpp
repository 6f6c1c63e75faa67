#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"

namespace {

using Log = std::vector<std::string>;

// Records its name when destroyed.
template <class Base>
struct Traced : Base {
    Traced(Log& log, const std::string& name) : log(log) { this->setName(name); }
    ~Traced() override { log.push_back(this->getName()); }
    Log& log;
};

rkXMLElement* rootOf(const rkXMLDocument& document) { return static_cast<rkXMLElement*>(document.getRoot()); }

// Links `node` at the end of `holder`, parent link included.
template <class Node>
Node* append(rkXMLNode* holder, Node* node, const std::string& name = "") {
    if (!name.empty()) node->setName(name);
    node->setParent(holder);
    static_cast<rkXMLElement*>(holder)->addChild(node, rkXMLElement::npos);
    return node;
}

std::string topLevelNames(const rkXMLDocument& document) {
    std::string names;
    for (const rkXMLNode* child : *rootOf(document)) names += child->getName() + ",";
    return names;
}

// Equal names, kinds, values, attribute `id` and child order at every level,
// no shared node, and every parent link at the copy's own holder.
void expectDeepCopy(rkXMLNode* source, rkXMLNode* copy, rkXMLNode* expectedParent) {
    ASSERT_NE(source, copy);
    ASSERT_EQ(source->getElementType(), copy->getElementType());
    EXPECT_EQ(source->getName(), copy->getName());
    EXPECT_EQ(copy->getParent(), expectedParent);
    if (copy->getElementType() != rkXMLNode::Element) return;
    auto* from = static_cast<rkXMLElement*>(source);
    auto* to = static_cast<rkXMLElement*>(copy);
    std::string expected, actual;
    from->getAttribute("id", expected);
    to->getAttribute("id", actual);
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(from->getValue(), to->getValue());
    ASSERT_EQ(from->getChildCount(), to->getChildCount());
    for (unsigned int i = 0; i < from->getChildCount(); ++i) expectDeepCopy(from->getChild(i), to->getChild(i), to);
}

}  // namespace

TEST(DocumentTest, NewAndEmptiedDocumentsHaveABareHiddenRoot) {
    auto expectBare = [](const rkXMLDocument& document) {
        rkXMLNode* root = document.getRoot();
        EXPECT_EQ(root->getName(), "?root?");
        EXPECT_EQ(root->getElementType(), rkXMLNode::Element);
        EXPECT_EQ(root->getParent(), root);
        EXPECT_EQ(rootOf(document)->getChildCount(), 0u);
        EXPECT_EQ(document.getTopLevelElement(), nullptr);
        EXPECT_EQ(document.getHeader(), nullptr);
    };
    Log log;
    rkXMLDocument document;
    expectBare(document);
    EXPECT_EQ(rkXMLDocument::getRootTagName(), "?root?");
    EXPECT_FALSE(document.removeHeader());
    EXPECT_TRUE(document.getFileName().empty());

    document.setFileName("data.xml");
    document.setStandardHeader();
    append(append(document.getRoot(), new Traced<rkXMLElement>(log, "top")), new Traced<rkXMLComment>(log, "in"));
    document.getRoot()->setName("renamed");
    document.makeEmpty();
    EXPECT_EQ(log, (Log{"top", "in"}));
    expectBare(document);
    EXPECT_EQ(document.getFileName(), "data.xml");
}

TEST(DocumentTest, HeaderIsCreatedInFrontUpdatedInPlaceAndRemoved) {
    Log log;
    rkXMLDocument document;
    append(document.getRoot(), new rkXMLComment, "c");
    append(document.getRoot(), new rkXMLElement, "top");
    EXPECT_TRUE(document.setStandardHeader());
    EXPECT_TRUE(document.setStandardHeader());
    rkXMLHeader* header = document.getHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(topLevelNames(document), "<?xml version=\"1.0\" ?>,c,top,");
    EXPECT_EQ(header->getParent(), document.getRoot());

    rkXMLElement* root = rootOf(document);
    root->splice(root->end(), *root, root->begin());  // an existing header keeps its place
    EXPECT_TRUE(document.setHeader("1.1", "utf-8"));
    EXPECT_TRUE(document.setHeader("2.0", "UTF-8"));
    EXPECT_EQ(root->getChild(2u), header);
    EXPECT_EQ(header->getName(), "<?xml version=\"2.0\" ?>");
    document.setHeader("9", "utf-16");
    EXPECT_EQ(header->getName(), "<?xml version=\"1.0\" encoding=\"utf-16\" ?>");

    EXPECT_TRUE(document.removeHeader());
    EXPECT_EQ(document.getHeader(), nullptr);
    EXPECT_EQ(topLevelNames(document), "c,top,");
    EXPECT_FALSE(document.removeHeader());
    // A header linked without a parent link is still taken out and destroyed.
    root->addChild(new Traced<rkXMLHeader>(log, "h"), 1u);
    EXPECT_TRUE(document.removeHeader());
    EXPECT_EQ(log, Log{"h"});
    EXPECT_EQ(topLevelNames(document), "c,top,");
}

TEST(DocumentTest, SetTopLevelElementReplacesTheFirstElementAndAppends) {
    Log log;
    rkXMLDocument document;
    append(document.getRoot(), new rkXMLComment, "c1");
    append(document.getRoot(), new Traced<rkXMLElement>(log, "A1"));
    append(document.getRoot(), new rkXMLComment, "c2");
    append(document.getRoot(), new Traced<rkXMLElement>(log, "A2"));
    EXPECT_EQ(document.getTopLevelElement()->getName(), "A1");

    auto* b = new Traced<rkXMLElement>(log, "B");
    EXPECT_TRUE(document.setTopLevelElement(b));
    EXPECT_EQ(log, Log{"A1"});
    EXPECT_EQ(topLevelNames(document), "c1,c2,A2,B,");
    EXPECT_TRUE(document.setTopLevelElement(nullptr));
    EXPECT_EQ(log, (Log{"A1", "A2"}));
    EXPECT_EQ(document.getTopLevelElement(), b);

    // The current top-level element given again is moved to the end, not destroyed.
    append(document.getRoot(), new rkXMLComment, "c3");
    EXPECT_TRUE(document.setTopLevelElement(b));
    EXPECT_EQ(topLevelNames(document), "c1,c2,c3,B,");
    EXPECT_EQ(log.size(), 2u);

    document.setTopLevelElement(nullptr);
    EXPECT_TRUE(document.setTopLevelElement(new Traced<rkXMLComment>(log, "c4")));  // any kind is appended
    EXPECT_EQ(document.getTopLevelElement(), nullptr);
    EXPECT_EQ(topLevelNames(document), "c1,c2,c3,c4,");
    EXPECT_EQ(log, (Log{"A1", "A2", "B"}));
}

TEST(DocumentTest, CopyAndAssignmentAreDeepAndIndependent) {
    rkXMLDocument source;
    source.setFileName("in.xml");
    source.setHeader("1.1", "utf-8");
    source.getHeader()->setName("stale");  // the copy rebuilds it from version and encoding
    append(source.getRoot(), new rkXMLComment, "note");
    auto* top = append(source.getRoot(), new rkXMLElement, "top");
    top->setAttribute("id", "7");
    top->setValue("v");
    auto* child = new rkXMLElement;  // linked without a parent link: the copy sets one
    top->addChild(child, rkXMLElement::npos);
    append(child, new rkXMLComment, "deep");
    append(top, new rkXMLElement, "last")->setAttribute("id", "9");

    rkXMLDocument copy(source);
    EXPECT_EQ(copy.getFileName(), "in.xml");
    EXPECT_EQ(copy.getHeader()->getName(), "<?xml version=\"1.1\" encoding=\"utf-8\" ?>");
    source.getHeader()->setVersion("1.1");  // rebuild the source's text to compare
    expectDeepCopy(source.getRoot(), copy.getRoot(), copy.getRoot());

    static_cast<rkXMLElement*>(copy.getTopLevelElement())->setValue("changed");
    copy.removeHeader();
    EXPECT_EQ(top->getValue(), "v");
    EXPECT_NE(source.getHeader(), nullptr);

    Log log;
    rkXMLDocument target;
    append(target.getRoot(), new Traced<rkXMLElement>(log, "old"));
    target = source;
    EXPECT_EQ(log, Log{"old"});
    EXPECT_EQ(target.getFileName(), "in.xml");
    expectDeepCopy(source.getRoot(), target.getRoot(), target.getRoot());
}

TEST(DocumentTest, CopyOfANodeOfNoKindThrowsAndAssignmentThenChangesNothing) {
    rkXMLDocument bad;
    auto* top = append(bad.getRoot(), new rkXMLElement, "top");
    append(top, new rkXMLElement, "before");
    append(top, new rkXMLNode, "plain");
    append(top, new rkXMLElement, "after");
    EXPECT_THROW(rkXMLDocument{bad}, std::runtime_error);

    Log log;
    rkXMLDocument target;
    target.setFileName("target.xml");
    auto* kept = append(target.getRoot(), new Traced<rkXMLElement>(log, "kept"));
    rkXMLNode* root = target.getRoot();
    try {
        target = bad;
        ADD_FAILURE() << "copied a node of no kind";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Unknown element type");
    }
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(target.getRoot(), root);
    EXPECT_EQ(target.getTopLevelElement(), kept);
    EXPECT_EQ(topLevelNames(target), "kept,");
    EXPECT_EQ(target.getFileName(), "target.xml");

    rkXMLDocument& self = target;
    target = self;  // keeps every node where it was
    EXPECT_EQ(target.getTopLevelElement(), kept);
    EXPECT_EQ(kept->getName(), "kept");
}

TEST(DocumentTest, VeryDeepTreeIsCopiedAssignedAndDestroyed) {
    const unsigned int depth = 1000000;
    // Counts the levels while checking each parent link; the last one must be "bottom".
    auto levels = [](const rkXMLDocument& document) {
        unsigned int count = 0;
        rkXMLElement* holder = rootOf(document);
        for (; holder->getChildCount() == 1u && holder->front()->getParent() == holder; ++count) {
            holder = static_cast<rkXMLElement*>(holder->front());
        }
        return holder->getName() == "bottom" ? count : 0u;
    };
    auto source = std::make_unique<rkXMLDocument>();
    rkXMLElement* holder = rootOf(*source);
    for (unsigned int i = 0; i < depth; ++i) holder = append(holder, new rkXMLElement);
    holder->setName("bottom");
    rkXMLDocument target;
    {
        rkXMLDocument copy(*source);
        source.reset();  // fewer trees alive at once keeps the test quick
        EXPECT_EQ(levels(copy), depth);
        target = copy;
    }
    EXPECT_EQ(levels(target), depth);
}
