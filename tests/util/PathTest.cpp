// The paths of the path helpers (settings/window/@width): found, made and refused.
#include <string>
#include <vector>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

const char* const settingsText =
    "<settings><window width=\"800\"><title>Sketch</title></window><window width=\"2\"/>"
    "<!--zoom--><zoom>2</zoom></settings>";

rkXMLDocument read(const std::string& text) {
    rkXMLDocument document;
    rkXMLFStream().readDocumentFromString(document, text);
    return document;
}

// Where a node stands: its name and, after '#', its index among its holder's children.
std::string place(rkXMLNode* node) {
    if (node == nullptr) return "null";
    rkXMLElement* holder = element(node->getParent());
    unsigned index = 0;
    while (holder != nullptr && holder->getChild(index) != node) ++index;
    return node->getName() + "#" + std::to_string(index);
}

}  // namespace

TEST(Path, FoundOrMissing) {
    const struct {
        const char* path;
        const char* found;  // place() of findPath's result
        const char* text;   // getText's result
    } rows[] = {
        {"settings", "settings#0", ""},
        {"settings/window", "window#0", ""},
        {"settings/window/title", "title#0", "Sketch"},
        {"settings/window/@width", "window#0", "800"},
        {"settings/@width", "null", ""},
        {"settings/window/@height", "null", ""},
        {"settings/zoom", "zoom#3", "2"},  // an element, not the comment of that text
        {"settings/missing", "null", ""},
        {"settings/missing/title", "null", ""},
        {"window", "null", ""},
        {"Settings", "null", ""},
    };
    const rkXMLDocument document = read(settingsText);
    for (const auto& row : rows) {
        EXPECT_EQ(place(rkXMLFactory::findPath(document, row.path)), row.found) << row.path;
        EXPECT_EQ(rkXMLFactory::getText(document, row.path), row.text) << row.path;
    }
    EXPECT_EQ(rkXMLFactory::findPath(rkXMLDocument(), "settings"), nullptr);
}

// The last step of a path names every element of that name: a list of values.
TEST(Path, GetTextsListsEveryValueOfTheLastStep) {
    const struct {
        const char* path;
        std::vector<std::string> texts;
    } rows[] = {
        {"settings/window", {"", ""}},
        {"settings/window/@width", {"800", "2"}},
        {"settings/window/title", {"Sketch"}},  // of the first window only
        {"settings/zoom", {"2"}},               // not the comment of that text
        {"settings", {""}},
        {"settings/window/@height", {}},
        {"settings/missing", {}},
        {"settings/missing/title", {}},
        {"window", {}},
        {"settings//window", {}},
    };
    const rkXMLDocument document = read(settingsText);
    for (const auto& row : rows) EXPECT_EQ(rkXMLFactory::getTexts(document, row.path), row.texts) << row.path;
}

// addText appends one more element to a list, making what is missing before it.
TEST(Path, AddTextAppendsAnElement) {
    rkXMLDocument document;
    EXPECT_TRUE(rkXMLFactory::addText(document, "settings", "top"));
    EXPECT_FALSE(rkXMLFactory::addText(document, "settings", "second"));  // no second top-level element
    EXPECT_TRUE(rkXMLFactory::addText(document, "settings/recent/file", "/a.svg"));
    EXPECT_TRUE(rkXMLFactory::addText(document, "settings/recent/file", "/b.svg"));
    EXPECT_FALSE(rkXMLFactory::addText(document, "settings/recent/@count", "2"));  // an attribute is no list
    EXPECT_FALSE(rkXMLFactory::addText(document, "options/file", "/c.svg"));
    EXPECT_FALSE(rkXMLFactory::addText(document, "settings//file", "/c.svg"));
    EXPECT_EQ(textOf(document),
              "<settings>top\n <recent>\n  <file>/a.svg</file>\n  <file>/b.svg</file>\n </recent></settings>");
}

TEST(Path, MalformedPathsAreRefusedAndChangeNothing) {
    for (const char* path : {"", "/", "settings/", "/settings", "settings//window", "settings/@", "@width", "@",
                             "settings/@width/window", "settings/@a/@b", "settings/window/@"}) {
        rkXMLDocument document = read(settingsText);
        EXPECT_EQ(rkXMLFactory::findPath(document, path), nullptr) << path;
        EXPECT_EQ(rkXMLFactory::getText(document, path), "") << path;
        EXPECT_EQ(rkXMLFactory::makePath(document, path), nullptr) << path;
        EXPECT_FALSE(rkXMLFactory::setText(document, path, "x")) << path;
        EXPECT_EQ(textOf(document), textOf(read(settingsText))) << path;
    }
}

// A program that reports a refused path says why.
TEST(Path, ParsePathSaysWhyItRefuses) {
    const TableRow<const char*, std::string> rows[] = {
        {"an empty step", "s//z", "empty name in 's//z'"},
        {"an @ without a name", "s/@", "empty name in 's/@'"},
        {"a step after the attribute", "s/@e/z", "an @attribute must be the last step: s/@e/z"},
        {"no element", "@e", "names no element: @e"},
        {"a good path", "s/w/@e", ""},
    };
    for (const auto& [name, path, why] : rows) {
        rkXMLFactory::PathSteps steps;
        std::string problem;
        EXPECT_EQ(rkXMLFactory::parsePath(path, steps, problem), why.empty()) << name;
        EXPECT_EQ(problem, why) << name;
    }
}

// How far a path reaches: a program says which step is missing, a splice adds what is missing below it.
TEST(Path, ReachPathSaysHowFarItReached) {
    const TableRow<const char*, std::string> rows[] = {
        {"all steps", "settings/window/title", "title#0 3"},
        {"the deepest element found", "settings/window/missing/x", "window#0 2"},
        {"another top-level element", "options/window", "null 0"},
    };
    const rkXMLDocument document = read(settingsText);
    for (const auto& [name, path, expected] : rows) {
        rkXMLFactory::PathSteps steps;
        std::string problem;
        ASSERT_TRUE(rkXMLFactory::parsePath(path, steps, problem)) << name;
        std::size_t reached = 99;
        rkXMLElement* element = rkXMLFactory::reachPath(document, steps, reached);
        EXPECT_EQ(place(element) + " " + std::to_string(reached), expected) << name;
    }
}

TEST(Path, MakePathMakesWhatIsMissingAtTheEnd) {
    rkXMLDocument document = read(settingsText);
    EXPECT_EQ(place(rkXMLFactory::makePath(document, "settings/window")), "window#0");  // found, not made
    EXPECT_EQ(place(rkXMLFactory::makePath(document, "settings/zoom")), "zoom#3");
    EXPECT_EQ(place(rkXMLFactory::makePath(document, "settings/theme/@name")), "theme#4");
    EXPECT_TRUE(rkXMLFactory::setText(document, "settings/window/@width", "1024"));
    EXPECT_TRUE(rkXMLFactory::setText(document, "settings/recent/file", "/a.svg"));
    EXPECT_EQ(textOf(document),
              "<settings>\n <window width=\"1024\">\n  <title>Sketch</title></window>\n <window width=\"2\"/>\n"
              " <!--zoom-->\n <zoom>2</zoom>\n <theme name=\"\"/>\n <recent>\n  <file>/a.svg</file></recent>\n"
              "</settings>");
    // A top-level element of another name is not replaced, and no second one is made.
    EXPECT_EQ(rkXMLFactory::makePath(document, "options/zoom"), nullptr);
    EXPECT_FALSE(rkXMLFactory::setText(document, "options/zoom", "3"));
    EXPECT_EQ(rkXMLFactory::findPath(document, "options"), nullptr);
}
