#include <algorithm>
#include <string>
#include <vector>

#include "rkXMLDifference.h"
#include "rkXMLWalk.h"
#include "tests/TestSupport.h"

using namespace testing_support;

// The events of a walk below `root`: "+name@depth" reaching a node, "-name@depth" leaving an element;
// "!" marks a holder that is not the node's parent. Elements named "skip" are stepped over.
static std::string events(const rkXMLElement& root) {
    std::string seen;
    for (rkXMLWalk walk(root); walk.next();) {
        seen += (walk.isLeaving() ? " -" : " +") + walk.node()->getName() + "@" + std::to_string(walk.depth());
        if (walk.node()->getParent() != walk.holder()) seen += "!";
        if (!walk.isLeaving() && walk.node()->getName() == "skip") walk.skipChildren();
    }
    return seen;
}

TEST(Walk, ReachesAndLeavesInDocumentOrderPassingOverNullsAndSkippedChildren) {
    rkXMLDocument document;
    rkXMLFStream().readDocumentFromString(document, "<a><b><c/></b><!--n--><skip><d/></skip><e/></a>");
    rkXMLElement* a = element(document.getTopLevelElement());
    a->push_front(nullptr);
    EXPECT_EQ(events(*element(document.getRoot())), " +a@0 +b@1 +c@2 -c@2 -b@1 +n@1 +skip@1 +e@1 -e@1 -a@0");
    EXPECT_EQ(events(*element(a->getChild("e"))), "");
    rkXMLWalk walk(*a);
    EXPECT_EQ(walk.node(), nullptr);
    while (walk.next()) {
    }
    EXPECT_EQ(walk.node(), nullptr);
    EXPECT_EQ(walk.holder(), nullptr);
}

TEST(Walk, MillionLevelsWalkOnASmallStack) {
    const std::size_t depth = scaled(1000000);
    rkXMLDocument document;
    rkXMLElement* holder = element(document.getRoot());
    for (std::size_t i = 0; i < depth; ++i) holder = addElement(holder, "e");
    std::size_t reached = 0, left = 0;
    unsigned deepest = 0;
    for (rkXMLWalk walk(*element(document.getRoot())); walk.next();) {
        ++(walk.isLeaving() ? left : reached);
        deepest = std::max(deepest, walk.depth());
    }
    EXPECT_EQ(reached, depth);
    EXPECT_EQ(left, depth);
    EXPECT_EQ(deepest, depth - 1);
    rkXMLDocument copy(document);
    holder->setValue("x");
    EXPECT_EQ(rkXMLDifference::between(document, copy).reason, "value \"x\" became \"\"");
}

struct DifferenceRow {
    const char* name;
    const char* first;
    const char* second;
    rkXMLDifference::Kind kind;
    const char* where;  // "path: reason"
};

TEST(Difference, NamesThePathAndReasonOfTheFirstDifferenceInDocumentOrder) {
    const DifferenceRow rows[] = {
        {"equal", "<a x=\"1\"><b>v</b><!--c--></a>", "<a x=\"1\"><b>v</b><!--c--></a>", rkXMLDifference::None, ""},
        {"element name", "<a><b/></a>", "<a><c/></a>", rkXMLDifference::Name, "a/b: name \"b\" became \"c\""},
        {"value", "<a><b>1</b></a>", "<a><b>2</b></a>", rkXMLDifference::Value, "a/b: value \"1\" became \"2\""},
        {"attribute value", "<s><w width=\"800\"/></s>", "<s><w width=\"1024\"/></s>", rkXMLDifference::Attribute,
         "s/w/@width: value \"800\" became \"1024\""},
        {"attribute missing", "<a x=\"1\" y=\"2\"/>", "<a x=\"1\"/>", rkXMLDifference::Attribute,
         "a/@y: missing in the second tree"},
        {"attribute added", "<a x=\"1\"/>", "<a w=\"\" x=\"1\"/>", rkXMLDifference::Attribute,
         "a/@w: only in the second tree"},
        {"child order", "<a><b/><c/></a>", "<a><c/><b/></a>", rkXMLDifference::Name, "a/b: name \"b\" became \"c\""},
        {"fewer children", "<a><b/><b/></a>", "<a><b/></a>", rkXMLDifference::Children, "a: 2 children became 1"},
        {"more children", "<a><b/></a>", "<a><b/><!--c--></a>", rkXMLDifference::Children, "a: 1 children became 2"},
        {"node kind", "<!--x--><a/>", "<a/><!--x-->", rkXMLDifference::NodeKind, "#comment[0]: comment became element"},
        {"later sibling of one name", "<a><b/><c/><b>1</b></a>", "<a><b/><c/><b>2</b></a>", rkXMLDifference::Value,
         "a/b[2]: value \"1\" became \"2\""},
        {"comment text", "<a><!--x--></a>", "<a><!--y--></a>", rkXMLDifference::Name,
         "a/#comment[0]: text \"x\" became \"y\""},
        {"header", "<?xml version=\"1.0\" ?><a/>", "<?xml version=\"1.1\" ?><a/>", rkXMLDifference::Header,
         "#header[0]: version \"1.0\" became \"1.1\""},
        {"deeper first", "<a><b><c>1</c></b><d>1</d></a>", "<a><b><c>2</c></b><d>2</d></a>", rkXMLDifference::Value,
         "a/b/c: value \"1\" became \"2\""},
        {"long value cut", "<a>0123456789012345678901234567890123456789+</a>", "<a/>", rkXMLDifference::Value,
         "a: value \"0123456789012345678901234567890123456789\"... became \"\""},
    };
    for (const DifferenceRow& row : rows) {
        SCOPED_TRACE(row.name);
        rkXMLDocument first, second;
        rkXMLFStream().readDocumentFromString(first, row.first);
        rkXMLFStream().readDocumentFromString(second, row.second);
        const rkXMLDifference difference = rkXMLDifference::between(first, second);
        EXPECT_EQ(difference.differs, row.kind != rkXMLDifference::None);
        EXPECT_EQ(difference.kind, row.kind);
        EXPECT_EQ(difference.differs ? difference.path + ": " + difference.reason : "", row.where);
    }
}

TEST(Difference, OfElementsComparesThemselvesAndValuesAsAsked) {
    rkXMLDocument document;
    rkXMLFStream().readDocumentFromString(document, "<top><a><b>1</b></a><a><b>1</b></a><c/></top>");
    rkXMLElement* top = element(document.getTopLevelElement());
    rkXMLElement* first = element(top->getChild(0u));
    rkXMLElement* second = element(top->getChild(1u));
    first->setValue(" ");
    second->setValue("\n");
    const rkXMLDifference byBytes = rkXMLDifference::between(*first, *second);
    EXPECT_EQ(byBytes.path, "a");
    EXPECT_EQ(byBytes.first, first);
    EXPECT_EQ(byBytes.second, second);
    auto blank = [](const std::string& value) { return value.find_first_not_of(" \n") == std::string::npos; };
    auto blanksMatch = [&blank](const std::string& a, const std::string& b) {
        return a == b || (blank(a) && blank(b));
    };
    EXPECT_FALSE(rkXMLDifference::between(*first, *second, blanksMatch).differs);
    const rkXMLDifference named = rkXMLDifference::between(*first, *element(top->getChild(2u)), blanksMatch);
    EXPECT_EQ(named.path + ": " + named.reason, "a: name \"a\" became \"c\"");
}
