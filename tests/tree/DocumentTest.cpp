#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;

static Traced<rkXMLElement>* appendTraced(rkXMLNode* holder, Log& log, const std::string& name) {
    auto* node = new Traced<rkXMLElement>(log, name);
    node->setParent(holder);
    element(holder)->addChild(node, rkXMLElement::npos);
    return node;
}

// A document with a header, a comment, the top-level element settings with a child and a grandchild, and a
// second top-level element.
static void fill(rkXMLDocument& document) {
    rkXMLFStream().readDocumentFromString(
        document, "<?xml version=\"1.0\" ?><!--note--><settings><window><title/></window></settings><second/>");
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
    EXPECT_TRUE(document.setHeader("9", "Windows-1252"));
    EXPECT_EQ(root->getChild(2u), header);
    EXPECT_EQ(header->getName(), "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>");
    EXPECT_TRUE(document.removeHeader());
    EXPECT_FALSE(document.removeHeader());
    // A header linked without a parent link is still taken out.
    root->addChild(new rkXMLHeader, 1u);
    EXPECT_TRUE(document.removeHeader());
    EXPECT_EQ(describe(document.getRoot()), "?root?(<!--c-->,top)");
}

// Each of these was linked a second time and freed twice when the document went, or, for a node below the top
// level, freed with its element first (a use after free that the sanitizer build reports).
TEST(Document, SetTopLevelElementRefusesEveryNodeOfItsOwnTreeButTheTopLevelElement) {
    auto child = [](rkXMLNode* parent, unsigned index) { return rkXMLFactory::getElement(parent, index); };
    const struct {
        const char* name;
        std::function<rkXMLNode*(rkXMLDocument&)> pick;
    } rows[] = {
        {"the hidden root", [](rkXMLDocument& d) { return d.getRoot(); }},
        {"the header", [](rkXMLDocument& d) { return d.getHeader(); }},
        {"a top-level comment", [&](rkXMLDocument& d) { return child(d.getRoot(), 1); }},
        {"a second top-level element", [&](rkXMLDocument& d) { return child(d.getRoot(), 3); }},
        {"a child of the top-level element", [&](rkXMLDocument& d) { return child(d.getTopLevelElement(), 0); }},
        {"a grandchild", [&](rkXMLDocument& d) { return child(child(d.getTopLevelElement(), 0), 0); }},
    };
    for (const auto& row : rows) {
        rkXMLDocument document;
        fill(document);
        const std::string before = describe(document.getRoot());
        rkXMLNode* node = row.pick(document);
        rkXMLNode* parent = node->getParent();
        node->setParent(nullptr);  // found by the child lists, not by parent links
        EXPECT_FALSE(document.setTopLevelElement(node)) << row.name;
        node->setParent(parent);
        EXPECT_EQ(describe(document.getRoot()), before) << row.name;
    }
}

TEST(Document, SetTopLevelElementReplacesTheFirstElementOrMovesItToTheEnd) {
    Log log;
    rkXMLDocument document;
    fill(document);
    auto* b = new Traced<rkXMLElement>(log, "B");
    EXPECT_TRUE(document.setTopLevelElement(b));                              // settings goes, B at the end
    EXPECT_TRUE(document.setTopLevelElement(document.getTopLevelElement()));  // second moves behind B
    EXPECT_TRUE(document.setTopLevelElement(b));  // B, the first element now, moves behind second
    EXPECT_EQ(describe(document.getRoot()), "?root?(<?xml version=\"1.0\" ?>,<!--note-->,second,^B)");
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(document.setTopLevelElement(nullptr));  // second goes, nothing comes
    EXPECT_EQ(describe(document.getRoot()), "?root?(<?xml version=\"1.0\" ?>,<!--note-->,^B)");
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

static_assert(std::is_nothrow_move_constructible_v<rkXMLDocument>);
static_assert(std::is_nothrow_move_assignable_v<rkXMLDocument>);

// Fails unless `document` is as a new one: no file name, a hidden root of its own without children, in use again.
static void expectNew(rkXMLDocument& document) {
    EXPECT_EQ(document.getFileName(), "");
    EXPECT_EQ(describe(document.getRoot()), "?root?");
    EXPECT_EQ(document.getRoot()->getParent(), document.getRoot());
    document.setStandardHeader();
    EXPECT_EQ(textOf(document), "<?xml version=\"1.0\" ?>");
}

// A move hands the tree itself over: pointers into it stay valid, and the source is left as a new document.
TEST(Document, MoveTakesTheTreeItself) {
    rkXMLDocument source;
    fill(source);
    source.setFileName("a.xml");
    rkXMLNode* top = source.getTopLevelElement();
    rkXMLDocument moved(std::move(source));
    EXPECT_EQ(moved.getTopLevelElement(), top);
    EXPECT_EQ(moved.getFileName(), "a.xml");
    expectNew(source);

    rkXMLDocument target;
    target.setFileName("b.xml");
    Log log;
    appendTraced(target.getRoot(), log, "old");
    target = std::move(moved);
    EXPECT_EQ(log, Log{"old"});
    EXPECT_EQ(target.getTopLevelElement(), top);
    EXPECT_EQ(target.getFileName(), "a.xml");
    expectNew(moved);
    rkXMLDocument& same = target;
    target = std::move(same);
    EXPECT_EQ(target.getTopLevelElement(), top);

    rkXMLDocument emptied(std::move(target));
    const rkXMLDocument copy(target);  // a moved-from document copies as a new one
    EXPECT_EQ(describe(copy.getRoot()), "?root?");
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
