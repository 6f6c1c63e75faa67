// The writer: a document tree as indented XML text, one node per line.
//
// The tree is walked with an explicit stack, so any depth is written without
// a deep call stack. Output is gathered in a buffer that is handed to the file
// in large pieces; the file itself is replaced only when all of it was written.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "stream/FormatTexts.h"
#include "stream/OpenTagTest.h"
#include "stream/SafeFile.h"
#include "stream/SymbolCodec.h"
#include "tree/NodeAccess.h"

namespace {

namespace format = rkxml_detail::format;
using rkxml_detail::ElementAccess;
using rkxml_detail::OpenTagTest;
using rkxml_detail::SafeFile;
using rkxml_detail::SymbolCodec;

const rkXMLElement& asElement(const rkXMLNode& node) { return static_cast<const rkXMLElement&>(node); }

// A failure of the output file while writing.
struct WriteFailed {};

// Whether the reader would give the value back at all: a value of blanks with
// at most one line feed, one carriage return and one tab among them is not written.
bool isWorthWriting(const std::string& value) {
    int lineFeeds = 0;
    int carriageReturns = 0;
    int tabs = 0;
    for (char c : value) {
        switch (c) {
            case ' ': break;
            case '\n': if (++lineFeeds > 1) return true; break;
            case '\r': if (++carriageReturns > 1) return true; break;
            case '\t': if (++tabs > 1) return true; break;
            default: return true;
        }
    }
    return false;
}

// Element names the reader would take for something else or cut short.
bool isWritableElementName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '?' || name.back() == '/') return false;
    if (name.substr(0, format::commentMark.size()) == format::commentMark) return false;
    return name.find_first_of(" \t\r\n>") == std::string_view::npos;
}

// Attribute names that the reader would trim, skip or split differently.
bool isWritableAttributeName(std::string_view name) {
    if (name.empty()) return true;
    const char first = name.front();
    const char last = name.back();
    if (first == ' ' || first == '\t' || first == '\r' || first == '\n' || first == '>') return false;
    if (name.substr(0, format::emptyTagClose.size()) == format::emptyTagClose) return false;
    if (last == ' ' || last == '\t' || last == '\n') return false;
    return name.find(format::valueOpen) == std::string_view::npos;
}

// The first reason why `root`'s tree cannot be written so that it reads back; empty if none.
std::string whyNotWritable(const rkXMLElement& root) {
    std::vector<const rkXMLElement*> pending{&root};
    while (!pending.empty()) {
        const rkXMLElement& element = *pending.back();
        pending.pop_back();
        for (const rkXMLNode* child : element) {
            if (child == nullptr) continue;
            if (child->getElementType() == rkXMLNode::Comment &&
                child->getName().find(format::commentClose) != std::string::npos) {
                return "Error: comment holds '-->'.";
            }
            if (child->getElementType() != rkXMLNode::Element) continue;
            const rkXMLElement& childElement = asElement(*child);
            const std::string& name = childElement.getName();
            if (!isWritableElementName(name)) return "Error: element name '" + name + "' cannot be written.";
            for (const auto& [attribute, value] : ElementAccess::attributes(childElement)) {
                if (value.find('"') != std::string::npos) {
                    return "Error: attribute '" + attribute + "' of element '" + name + "' holds a double quote.";
                }
                if (!isWritableAttributeName(attribute)) {
                    return "Error: attribute name '" + attribute + "' of element '" + name + "' cannot be written.";
                }
            }
            pending.push_back(&childElement);
        }
    }
    return {};
}

class NodeWriter {
public:
    NodeWriter(SafeFile& file, const SymbolCodec& encoder, OpenTagTest& openTags)
        : file(file), encoder(encoder), openTags(openTags) {
        buffer.reserve(flushSize + flushSize / 4);
    }

    // Writes the children of the hidden root at depth 0, each with its subtree.
    void writeTopLevel(const rkXMLElement& root) {
        struct Open {
            const rkXMLElement* element;
            rkXMLElement::const_iterator next;
            unsigned depth;
            bool isInline;
        };
        std::vector<Open> open{{&root, root.begin(), 0, true}};
        while (!open.empty()) {
            Open& level = open.back();
            if (level.next == level.element->end()) {
                if (open.size() > 1) writeEndTag(*level.element, level.depth - 1, level.isInline);
                open.pop_back();
                continue;
            }
            const rkXMLNode* node = *level.next++;
            if (node == nullptr) continue;
            const unsigned depth = level.depth;
            if (writeNodeStart(*node, depth)) {
                const rkXMLElement& element = asElement(*node);
                open.push_back({&element, element.begin(), depth + 1, element.size() <= 1});
            }
        }
        flush();
    }

private:
    static constexpr std::size_t flushSize = 1 << 20;

    // Writes a node, or for an element with content its start tag and value;
    // true when the element's children and end tag are still to come.
    bool writeNodeStart(const rkXMLNode& node, unsigned depth) {
        switch (node.getElementType()) {
            case rkXMLNode::Header:
                writeIndent(depth);
                buffer += node.getName();
                break;
            case rkXMLNode::Comment:
                writeIndent(depth);
                buffer += format::commentOpen;
                buffer += node.getName();
                buffer += format::commentClose;
                break;
            case rkXMLNode::Element:
                return writeStartTag(asElement(node), depth);
            default:
                break;  // a node of no kind writes nothing, not even a line break
        }
        flushIfFull();
        return false;
    }

    bool writeStartTag(const rkXMLElement& element, unsigned depth) {
        writeIndent(depth);
        buffer += format::tagOpen;
        buffer += element.getName();
        for (const auto& [name, value] : ElementAccess::attributes(element)) {
            buffer += format::attributeSeparator;
            buffer += name;
            buffer += format::valueOpen;
            buffer += value;
            buffer += format::valueClose;
        }
        if (element.empty() && element.getValue().empty()) {
            buffer += openTags.holds(element.getName()) ? format::tagClose : format::emptyTagClose;
            flushIfFull();
            return false;
        }
        buffer += format::tagClose;
        const bool isInline = element.size() <= 1;
        writeValue(element.getValue(), depth + 1, isInline);
        flushIfFull();
        return true;
    }

    void writeEndTag(const rkXMLElement& element, unsigned depth, bool isInline) {
        if (!isInline) writeIndent(depth);
        buffer += format::endTagOpen;
        buffer += element.getName();
        buffer += format::tagClose;
        flushIfFull();
    }

    void writeValue(const std::string& value, unsigned depth, bool isInline) {
        if (!isWorthWriting(value)) return;
        if (!isInline) writeIndent(depth);
        encoder.appendConverted(value, buffer);
    }

    // A line break unless nothing was written yet, then `count` blanks.
    void writeIndent(unsigned count) {
        if (anythingWritten || !buffer.empty()) buffer += '\n';
        for (; count > format::blanks.size(); count -= static_cast<unsigned>(format::blanks.size())) {
            buffer += format::blanks;
        }
        buffer += format::blanks.substr(0, count);
    }

    void flushIfFull() {
        if (buffer.size() >= flushSize) flush();
    }

    void flush() {
        if (buffer.empty()) return;
        if (!file.write(buffer)) throw WriteFailed{};
        anythingWritten = true;
        buffer.clear();
    }

    SafeFile& file;
    const SymbolCodec& encoder;
    OpenTagTest& openTags;
    std::string buffer;
    bool anythingWritten = false;
};

[[noreturn]] void fail(const rkXMLDocument& document, const std::string& message) {
    rkXMLFStream::writeLog(document.getFileName(), message);
    throw std::runtime_error(message);
}

}  // namespace

void rkXMLFStream::writeDocument(const rkXMLDocument& document) {
    const rkXMLNode* root = document.getRoot();
    if (root->getElementType() != rkXMLNode::Element) fail(document, "Error: tree root is not an Element.");
    if (root->getName() != rkXMLDocument::getRootTagName()) fail(document, "Error: tree root is not named ?root?");
    const std::string refusal = whyNotWritable(asElement(*root));
    if (!refusal.empty()) fail(document, refusal);

    const std::string& fileName = document.getFileName();
    SafeFile file(fileName);
    if (!file.open()) fail(document, "Error: cannot open '" + fileName + "' for writing.");
    const SymbolCodec encoder(symbols, SymbolCodec::Direction::Encode);
    OpenTagTest openTagTest(openTags);
    bool written = true;
    try {
        NodeWriter(file, encoder, openTagTest).writeTopLevel(asElement(*root));
    } catch (const WriteFailed&) {
        written = false;
    }
    if (!written || !file.commit()) fail(document, "Error: writing '" + fileName + "' failed.");
}
