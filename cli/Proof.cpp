#include "Proof.h"

#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <rkXMLDifference.h>
#include <rkXMLFactory.h>
#include <rkXMLWalk.h>

#include "Messages.h"

namespace rkxml_cli {
namespace {

using Diagnostic = rkXMLFStream::Diagnostic;

// The line of `node` of `tree` in `bytes`, the text `tree` was read from: a header's declaration, a
// comment's text, or the start tag of the element with as many of its name before it.
std::optional<std::size_t> lineOf(const std::string& bytes, const rkXMLDocument& tree, const rkXMLNode* node) {
    if (node->getElementType() == rkXMLNode::Header) {
        const std::size_t at = bytes.find("<?xml");
        return at == std::string::npos ? 0 : lineAt(bytes, at);
    }
    if (node->getElementType() == rkXMLNode::Comment) {
        const std::size_t at = bytes.find("<!--" + node->getName() + "-->");
        return at == std::string::npos ? std::nullopt : std::optional<std::size_t>(lineAt(bytes, at));
    }
    const std::string& name = node->getName();
    std::size_t before = 0;  // elements of that name before it, in document order
    for (rkXMLWalk walk(*rkXMLFactory::asElement(tree.getRoot())); walk.next() && walk.node() != node;) {
        if (!walk.isLeaving() && walk.element() != nullptr && walk.node()->getName() == name) ++before;
    }
    const std::string tag = "<" + name;
    for (std::size_t at = bytes.find(tag); at != std::string::npos; at = bytes.find(tag, at + 1)) {
        const std::size_t after = at + tag.size();
        const bool wholeName =
            after == bytes.size() || std::string_view(" \t\r\n/>").find(bytes[after]) != std::string_view::npos;
        if (wholeName && before-- == 0) return lineAt(bytes, at);
    }
    return std::nullopt;
}

// Where two trees first differ; a value of blanks, tabs and line ends equals the empty one (the layout between
// an element's children, which the writer leaves out).
rkXMLDifference differenceOf(const rkXMLDocument& first, const rkXMLDocument& second) {
    const auto isBlank = [](const std::string& value) {
        return value.find_first_not_of(" \t\n\r") == std::string::npos;
    };
    return rkXMLDifference::between(first, second, [&isBlank](const std::string& a, const std::string& b) {
        return a == b || (isBlank(a) && isBlank(b));
    });
}

// The node of the first tree that a difference concerns: for other kinds of nodes, the element holding them.
const rkXMLNode* placeOf(const rkXMLDifference& difference) {
    if (difference.kind != rkXMLDifference::NodeKind) return difference.first;
    return const_cast<rkXMLNode*>(difference.first)->getParent();  // reads only; the node has no const getParent
}

// What a difference found by the proof means, for the message.
std::string describe(const rkXMLDifference& difference) {
    const std::string element = "element '" + shown(placeOf(difference)->getName()) + "'";
    switch (difference.kind) {
        case rkXMLDifference::NodeKind:
        case rkXMLDifference::Children: return "the content of " + element + " would not read back as it stands";
        case rkXMLDifference::Header: return "the XML declaration would not read back as it stands";
        case rkXMLDifference::Name:
            if (difference.first->getElementType() == rkXMLNode::Comment) {
                return "a comment would not read back as it stands";
            }
            return element + " would not read back under its name";
        case rkXMLDifference::Attribute: return "the attributes of " + element + " would not read back as they stand";
        case rkXMLDifference::Value: return "the value of " + element + " would not read back as it stands";
        case rkXMLDifference::None: break;
    }
    return {};
}

// Whether the trees are equal; false after saying where the written text would differ from the file.
bool provesEqual(const Original& original, const rkXMLDocument& tree, const rkXMLDocument& back, const char* how = "") {
    const rkXMLDifference difference = differenceOf(tree, back);
    if (!difference.differs) return true;
    const std::string text = describe(difference) + how;
    const std::optional<std::size_t> line =
        original.exists ? lineOf(original.bytes, tree, placeOf(difference)) : std::nullopt;
    if (!line) return complain(shown(original.fileName) + ": refused: " + text);
    printAtLine(original.fileName, *line, "refused", text);
    return false;
}

// Reads the written text back with `stream` into `back`; false after saying so when that raises anything at all.
bool readsBackCleanly(const Original& original, rkXMLFStream& stream, const std::string& text, rkXMLDocument& back) {
    std::string problem;
    try {
        stream.readDocumentFromString(back, text);
    } catch (const std::runtime_error& error) {
        problem = error.what();
    }
    const std::vector<Diagnostic>& found =
        stream.getDiagnostics().empty() ? stream.getSaveLosses() : stream.getDiagnostics();
    if (problem.empty() && !found.empty()) problem = found.front().text;
    if (problem.empty()) return true;
    return complain(shown(original.fileName) + ": refused: the written text would not read back: " + problem);
}

// Carries the edit into the 8-bit mode's XML reading of the file, with the value that the written text gives
// other XML programs, so that the proof compares everything else.
void carryEdit(Original& original, const rkXMLFactory::PathSteps& path, const rkXMLDocument& back) {
    std::size_t reached = 0;
    const rkXMLElement* written = rkXMLFactory::reachPath(back, path, reached);
    std::string value;
    if (reached == path.elements.size() && path.attribute) written->getAttribute(*path.attribute, value);
    if (reached == path.elements.size() && !path.attribute) value = written->getValue();
    rkXMLElement* element = rkXMLFactory::makePath(original.asXml, path);
    if (element != nullptr && path.attribute) element->setAttribute(*path.attribute, value);
    if (element != nullptr && !path.attribute) element->setValue(value);
}

}  // namespace

bool provesSplice(const Original& original, const std::string& text) {
    rkXMLFStream stream = streamFor(original.mode);
    rkXMLDocument back;
    try {
        stream.readDocumentFromString(back, text);
    } catch (const std::runtime_error&) {
        // The diagnostics say where.
    }
    for (const Diagnostic& diagnostic : stream.getDiagnostics()) {
        if (diagnostic.kind == Diagnostic::Error || !keptBySplice(diagnostic)) {
            printAtLine(original.fileName, diagnostic.line, "refused",
                        "the spliced text would not read back: " + diagnostic.text);
            return false;
        }
    }
    return provesEqual(original, original.document, back);
}

bool provesLossless(Original& original, const std::string& text, const Edit* edited) {
    rkXMLFStream asXml = streamFor(Mode::Utf8);
    rkXMLDocument back;
    if (!readsBackCleanly(original, asXml, text, back)) return false;
    if (original.mode == Mode::Utf8) return provesEqual(original, original.document, back);
    rkXMLFStream eightBit = streamFor(Mode::EightBit);
    rkXMLDocument backInEightBit;
    if (!readsBackCleanly(original, eightBit, text, backInEightBit) ||
        !provesEqual(original, original.document, backInEightBit)) {
        return false;
    }
    if (!original.exists) return true;
    if (edited != nullptr) carryEdit(original, edited->path, back);
    return provesEqual(original, original.asXml, back,
                       " for other XML programs once written in the library's 8-bit mode (for a UTF-8 file, "
                       "leave out --8bit)");
}

}  // namespace rkxml_cli
