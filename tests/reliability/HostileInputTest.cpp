// Inputs that nobody wrote by hand: huge, deep, broken or vanishing. The
// reader must give a tree or a parse error, never crash, and every step must
// stay linear (the sizes make anything worse run out the test's time).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "ReliabilitySupport.h"
#include "rkXMLComment.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"
#include "tree/NodeAccess.h"

namespace {

using reliability::readFile;
using reliability::scaled;
using reliability::ScratchDirectory;
using reliability::writeFile;

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

rkXMLElement* asElement(rkXMLNode* node) { return static_cast<rkXMLElement*>(node); }

// Follows the first child down as long as there is one; counts the steps.
rkXMLElement* deepestFirst(rkXMLNode* from, std::size_t& levels) {
    rkXMLElement* element = asElement(from);
    levels = 0;
    while (element->getChildCount() > 0) {
        element = asElement(element->getChild(0u));
        ++levels;
    }
    return element;
}

// Counts the parent links up to the hidden root, which is its own parent.
std::size_t levelsAbove(rkXMLNode* node) {
    std::size_t levels = 0;
    while (node->getParent() != node) {
        node = node->getParent();
        ++levels;
    }
    return levels;
}

bool holdsFreshRoot(const rkXMLDocument& document) {
    auto* root = asElement(document.getRoot());
    return root->getName() == "?root?" && root->getParent() == root && root->getChildCount() == 0 &&
           root->getValue().empty() && root->getAttributes().empty();
}

// Reads `text` into a fresh document: a tree or a parse error that leaves a fresh root.
::testing::AssertionResult readsSafely(rkXMLFStream& stream, std::string text) {
    rkXMLDocument document;
    try {
        stream.readDocumentFromString(document, text);
    } catch (const std::runtime_error& error) {
        if (typeid(error) != typeid(std::runtime_error)) return ::testing::AssertionFailure() << typeid(error).name();
        if (!holdsFreshRoot(document)) return ::testing::AssertionFailure() << "not emptied after: " << error.what();
    } catch (const std::exception& error) {
        return ::testing::AssertionFailure() << typeid(error).name() << ": " << error.what();
    }
    return ::testing::AssertionSuccess();
}

class HostileInput : public ::testing::Test {
protected:
    ScratchDirectory directory;
    rkXMLFStream stream;
};

TEST_F(HostileInput, MillionNestedStartTags) {
    const std::size_t depth = scaled(1000000);
    std::string closed = repeated("<a>", depth) + "x" + repeated("</a>", depth);
    rkXMLDocument document;
    stream.readDocumentFromString(document, closed);
    std::size_t levels = 0;
    EXPECT_EQ(deepestFirst(document.getRoot(), levels)->getValue(), "x");
    EXPECT_EQ(levels, depth);

    // Never closed: the same chain, accepted as it stands.
    std::string open = repeated("<a>", depth);
    rkXMLDocument unclosed;
    stream.readDocumentFromString(unclosed, open);
    deepestFirst(unclosed.getRoot(), levels);
    EXPECT_EQ(levels, depth);

    const rkXMLDocument copy(document);
    rkXMLDocument assigned = unclosed;
    assigned = copy;
    rkXMLElement* deepest = deepestFirst(assigned.getRoot(), levels);
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(levelsAbove(deepest), depth);

    // The helper functions at the bottom of the chain.
    rkXMLNode* created = rkXMLFactory::createNode(deepest, rkXMLNode::Element, "b", rkXMLElement::npos);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(rkXMLFactory::getSaveChild(deepest, rkXMLNode::Element, "b", 0), created);
    EXPECT_NE(rkXMLFactory::setElement(deepest, "c", true, 0), nullptr);
    EXPECT_TRUE(rkXMLFactory::setComment(deepest, " note ", 0));
    EXPECT_EQ(rkXMLFactory::getComments(deepest).size(), 1u);
    EXPECT_EQ(rkXMLFactory::getElements(deepest, "b").size(), 1u);
    EXPECT_EQ(rkXMLFactory::getElementAsFirst(deepest, "c"), rkXMLFactory::getElement(deepest, 1));
    EXPECT_EQ(levelsAbove(created), depth + 1);
    EXPECT_TRUE(rkXMLFactory::removeElement(created));
    EXPECT_TRUE(rkXMLFactory::removeElement(deepest));

    // Removing the top of the chain destroys it all at once.
    EXPECT_TRUE(rkXMLFactory::removeElement(document.getTopLevelElement()));
    EXPECT_EQ(asElement(document.getRoot())->getChildCount(), 0u);
}

TEST_F(HostileInput, MillionSiblings) {
    const std::size_t count = scaled(1000000);
    std::string text = "<r>" + repeated("<e/>", count) + "</r>";
    rkXMLDocument document;
    document.setFileName(directory / "siblings.xml");
    stream.readDocumentFromString(document, text);
    rkXMLNode* top = document.getTopLevelElement();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(asElement(top)->getChildCount(), count);
    EXPECT_EQ(rkXMLFactory::getElements(top, "e").size(), count);
    EXPECT_TRUE(rkXMLFactory::removeElement(rkXMLFactory::getElement(top, static_cast<unsigned>(count - 1))));

    const rkXMLDocument copy(document);
    EXPECT_EQ(asElement(copy.getTopLevelElement())->getChildCount(), count - 1);
    stream.writeDocument(copy);
    rkXMLDocument reread;
    reread.setFileName(copy.getFileName());
    stream.readDocument(reread);
    EXPECT_EQ(rkXMLFactory::getElements(reread.getTopLevelElement(), "e").size(), count - 1);
}

TEST_F(HostileInput, HundredThousandAttributesOnOneElement) {
    const std::size_t count = scaled(100000);
    // Names in ascending order, then the same in descending order with other
    // values, then a repeat of the first name: later values win.
    const auto nameOf = [](std::size_t i) {
        const std::string digits = std::to_string(i);
        return "n" + std::string(7 - digits.size(), '0') + digits;
    };
    std::string tag = "<e";
    for (std::size_t i = 0; i < count; ++i) tag += " " + nameOf(i) + "=\"" + std::to_string(i) + "\"";
    for (std::size_t i = count; i-- > 0;) tag += " " + nameOf(i) + "=\"d" + std::to_string(i) + "\"";
    tag += " n0000000=\"last\"/>";
    rkXMLDocument document;
    document.setFileName(directory / "attributes.xml");
    stream.readDocumentFromString(document, tag);
    const auto* element = asElement(document.getTopLevelElement());
    const auto& attributes = element->getAttributes();
    EXPECT_EQ(attributes.size(), count);
    std::string value;
    element->getAttribute("n0000000", value);
    EXPECT_EQ(value, "last");
    element->getAttribute("n0000001", value);
    EXPECT_EQ(value, "d1");

    stream.writeDocument(document);
    rkXMLDocument reread;
    reread.setFileName(document.getFileName());
    stream.readDocument(reread);
    EXPECT_EQ(asElement(reread.getTopLevelElement())->getAttributes(), attributes);
}

TEST_F(HostileInput, FiftyMegabyteValueOfEntities) {
    const std::string entities = "&lt;&amp;&#228;&#8364;x&quot;&amp;lt;&auml;";
    const std::string characters = "<&\xE4\x80x\"&lt;&auml;";
    const std::size_t times = scaled(50u << 20) / entities.size();
    std::string text = "<v>" + repeated(entities, times) + "</v>";
    rkXMLDocument document;
    document.setFileName(directory / "value.xml");
    stream.readDocumentFromString(document, text);
    const std::string expected = repeated(characters, times);
    EXPECT_TRUE(asElement(document.getTopLevelElement())->getValue() == expected);

    stream.writeDocument(document);
    rkXMLDocument reread;
    reread.setFileName(document.getFileName());
    stream.readDocument(reread);
    EXPECT_TRUE(asElement(reread.getTopLevelElement())->getValue() == expected);
}

TEST_F(HostileInput, RandomBytesWithZeroBytes) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string noise(scaled(1u << 20), '\0');
    for (char& c : noise) c = static_cast<char>(byte(random));
    ASSERT_NE(noise.find('\0'), std::string::npos);
    EXPECT_TRUE(readsSafely(stream, noise));
    writeFile(directory / "noise.xml", noise);
    rkXMLDocument fromFile;
    fromFile.setFileName(directory / "noise.xml");
    try {
        stream.readDocument(fromFile);
    } catch (const std::runtime_error&) {
        EXPECT_TRUE(holdsFreshRoot(fromFile));
    }

    // Noise made of the format's own pieces gets deeper into the reader.
    const std::vector<std::string> pieces = {"<",  ">",    "/",    "/>",  "</",  "<!--", "-->",  "<?", "?>", "=\"",
                                             "\"", " ",    "\n",   "\r",  "\t",  std::string(1, '\0'), "a", "br",
                                             "BR", "&lt;", "&amp", "<?xml version=\"1.1\"", "\xE4"};
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    for (int round = 0; round < 300; ++round) {
        std::string soup;
        for (int i = 0; i < 200; ++i) soup += pieces[pick(random)];
        ASSERT_TRUE(readsSafely(stream, soup)) << round;
    }
}

TEST_F(HostileInput, EverySeedCutAtEveryLength) {
    const std::string cut = directory / "cut.xml";
    std::size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(RKXML_SEED_DIRECTORY)) {
        const std::string seed = readFile(entry.path().string());
        ++seeds;
        for (std::size_t length = 0; length <= seed.size(); ++length) {
            writeFile(cut, seed.substr(0, length));
            rkXMLDocument document;
            document.setFileName(cut);
            try {
                stream.readDocument(document);
            } catch (const std::runtime_error&) {
                ASSERT_TRUE(holdsFreshRoot(document)) << entry.path() << " cut at " << length;
            }
        }
    }
    EXPECT_GT(seeds, 20u);
}

TEST_F(HostileInput, FileNameThatIsNoReadableFile) {
    // A directory, a file removed after it was named, and a link to nothing:
    // each fails to open, and the document keeps its tree.
    const std::string gone = directory / "gone.xml";
    writeFile(gone, "<a/>");
    std::vector<std::string> names = {directory.str(), gone};
#ifndef _WIN32  // there links need a privilege
    const std::string dangling = directory / "dangling.xml";
    ASSERT_EQ(symlink("nowhere.xml", dangling.c_str()), 0);
    names.push_back(dangling);
#endif
    for (const std::string& name : names) {
        rkXMLDocument document;
        document.setFileName(name);
        document.setStandardHeader();
        if (name == gone) {
            ASSERT_EQ(std::remove(gone.c_str()), 0);
        }
        try {
            stream.readDocument(document);
            ADD_FAILURE() << name << " was read";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "Opening file: " + name + "failed.");
        }
        EXPECT_EQ(asElement(document.getRoot())->getChildCount(), 1u);
    }
}

}  // namespace
