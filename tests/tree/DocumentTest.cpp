#include <memory>
#include <string>

#include "tests/TestSupport.h"

using namespace testing_support;

static Traced<rkXMLElement>* appendTraced(rkXMLNode* holder, Log& log, const std::string& name) {
    auto* node = new Traced<rkXMLElement>(log, name);
    node->setParent(holder);
    element(holder)->addChild(node, rkXMLElement::npos);
    return node;
}

TEST(Document, HeaderIsCreatedInFrontUpdatedInPlaceAndRemoved) {
    rkXMLDocument document;
    addComment(document.getRoot(), "c");
    addElement(document.getRoot(), "top");
    EXPECT_TRUE(document.setStandardHeader());
    rkXMLHeader* header = document.getHeader();
    EXPECT_EQ(describe(document.getRoot()), "?root?(<?xml version=\"1.0\" ?>,<!--c-->,top)");
    rkXMLElement* root = element(document.getRoot());
    root->splice(root->end(), *root, root->begin());  // an existing header keeps its place
    EXPECT_TRUE(document.setHeader("9", "utf-16"));
    EXPECT_EQ(root->getChild(2u), header);
    EXPECT_EQ(header->getName(), "<?xml version=\"1.0\" encoding=\"utf-16\" ?>");
    EXPECT_TRUE(document.removeHeader());
    EXPECT_FALSE(document.removeHeader());
    // A header linked without a parent link is still taken out.
    root->addChild(new rkXMLHeader, 1u);
    EXPECT_TRUE(document.removeHeader());
    EXPECT_EQ(describe(document.getRoot()), "?root?(<!--c-->,top)");
}

TEST(Document, SetTopLevelElementRefusesWhatItWouldDestroy) {
    Log log;
    rkXMLDocument document;
    Traced<rkXMLElement>* top = appendTraced(document.getRoot(), log, "top");
    rkXMLElement* deep = addElement(addElement(top, "middle"), "deep");
    deep->setParent(nullptr);  // found by the child lists, not by parent links
    // A node that goes down with the old element, or the hidden root, would dangle: refused, nothing changes.
    EXPECT_FALSE(document.setTopLevelElement(deep));
    EXPECT_FALSE(document.setTopLevelElement(document.getRoot()));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(describe(document.getRoot()), "?root?(top(middle(^deep)))");

    // Anything else replaces the first element; null only removes it; the current one is moved to the end.
    appendTraced(document.getRoot(), log, "second");
    auto* b = new Traced<rkXMLElement>(log, "B");
    EXPECT_TRUE(document.setTopLevelElement(b));
    EXPECT_TRUE(document.setTopLevelElement(nullptr));
    addComment(document.getRoot(), "c");
    EXPECT_TRUE(document.setTopLevelElement(b));
    EXPECT_EQ(log, (Log{"top", "second"}));
    EXPECT_EQ(describe(document.getRoot()), "?root?(<!--c-->,^B)");
}

TEST(Document, CopyAndAssignmentAreDeepAndIndependent) {
    rkXMLDocument source;
    source.setFileName("in.xml");
    source.setHeader("1.1", "utf-8");
    source.getHeader()->setName("stale");  // the copy rebuilds it from version and encoding
    addComment(source.getRoot(), "note");
    rkXMLElement* top = addElement(source.getRoot(), "top", "v");
    top->setAttribute("id", "7");
    auto* child = new rkXMLElement;  // linked without a parent link, next to a null entry: the copy mends both
    top->addChild(child, rkXMLElement::npos);
    top->push_back(nullptr);
    addComment(child, "deep");
    const std::string copied =
        "?root?(<?xml version=\"1.1\" encoding=\"utf-8\" ?>,<!--note-->,top[id=7]'v'((<!--deep-->)))";

    rkXMLDocument copy(source);
    EXPECT_EQ(copy.getFileName(), "in.xml");
    EXPECT_EQ(describe(copy.getRoot()), copied);
    EXPECT_EQ(copy.getRoot()->getParent(), copy.getRoot());  // a hidden root is its own parent
    element(copy.getTopLevelElement())->setValue("changed");
    EXPECT_EQ(top->getValue(), "v");

    Log log;
    rkXMLDocument target;
    target.setFileName("target.xml");
    appendTraced(target.getRoot(), log, "old");
    target = source;
    EXPECT_EQ(log, Log{"old"});
    EXPECT_EQ(describe(target.getRoot()), copied);
    EXPECT_EQ(target.getFileName(), "in.xml");
}

TEST(Document, FailedCopyThrowsAndAssignmentThenChangesNothing) {
    rkXMLDocument bad;
    rkXMLElement* top = addElement(bad.getRoot(), "top");
    addElement(top, "before");
    top->addChild(new rkXMLNode, rkXMLElement::npos);  // of no kind: cannot be copied
    Log log;
    rkXMLDocument target;
    target.setFileName("target.xml");
    Traced<rkXMLElement>* kept = appendTraced(target.getRoot(), log, "kept");
    EXPECT_EQ(errorOf([&] { target = bad; }), "Unknown element type");
    rkXMLDocument& self = target;
    target = self;  // keeps every node where it was
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(target.getTopLevelElement(), kept);
    EXPECT_EQ(target.getFileName(), "target.xml");
}

TEST(Document, MillionLevelsAreCopiedAssignedAndDestroyedWithoutRecursion) {
    const unsigned depth = 1000000;
    // The levels down to "bottom", each parent link checked; 0 if it is not reached.
    auto levels = [](const rkXMLDocument& document) {
        unsigned count = 0;
        rkXMLElement* holder = element(document.getRoot());
        for (; holder->getChildCount() == 1u && holder->front()->getParent() == holder; ++count)
            holder = element(holder->front());
        return holder->getName() == "bottom" ? count : 0u;
    };
    auto source = std::make_unique<rkXMLDocument>();
    rkXMLElement* holder = element(source->getRoot());
    for (unsigned i = 0; i < depth; ++i) holder = addElement(holder, "e");
    holder->setName("bottom");
    rkXMLDocument target;
    {
        rkXMLDocument copy(*source);
        source.reset();
        EXPECT_EQ(levels(copy), depth);
        target = copy;
    }
    EXPECT_EQ(levels(target), depth);
    EXPECT_TRUE(rkXMLFactory::removeElement(target.getTopLevelElement()));
}
