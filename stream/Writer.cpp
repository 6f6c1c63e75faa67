// The writer: a document tree as indented XML text, one node per line.
//
// The tree is walked with an explicit stack, so any depth is written without
// a deep call stack. Output is gathered in a buffer that is handed to the file
// in large pieces; the file itself is replaced only when all of it was written.
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "stream/Bytes.h"
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

// Whether `text` holds `byte`; a plain loop, as most attribute values are a few bytes long.
bool holds(std::string_view text, char byte) {
    for (char c : text) {
        if (c == byte) return true;
    }
    return false;
}

// Element names the reader would take for something else or cut short.
bool isWritableElementName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '?' || name.back() == '/') return false;
    if (rkxml_detail::startsWith(name, format::commentMark)) return false;
    for (char c : name) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>') return false;
    }
    return true;
}

// Attribute names that the reader would trim, skip or split differently.
bool isWritableAttributeName(std::string_view name) {
    if (name.empty()) return true;
    const char first = name.front();
    const char last = name.back();
    if (first == ' ' || first == '\t' || first == '\r' || first == '\n' || first == '>') return false;
    if (rkxml_detail::startsWith(name, format::emptyTagClose)) return false;
    if (last == ' ' || last == '\t' || last == '\n') return false;
    return name.find(format::valueOpen) == std::string_view::npos;
}

// The reason why `node` cannot be written so that it reads back as it is; empty if none.
std::string whyNotWritable(const rkXMLNode& node) {
    if (node.getElementType() == rkXMLNode::Comment) {
        const std::string& text = node.getName();
        if (text.find(format::commentClose) != std::string::npos) {
            return "Error: comment holds '-->'.";
        }
        return {};
    }
    if (node.getElementType() != rkXMLNode::Element) return {};
    const std::string& name = node.getName();
    if (!isWritableElementName(name)) return "Error: element name '" + name + "' cannot be written.";
    for (const auto& [attribute, value] : ElementAccess::attributes(asElement(node))) {
        if (holds(value, '"')) return "Error: attribute '" + attribute + "' of element '" + name + "' holds a double quote.";
        if (!isWritableAttributeName(attribute)) {
            return "Error: attribute name '" + attribute + "' of element '" + name + "' cannot be written.";
        }
    }
    return {};
}

// The first reason why the tree below `root` cannot be written so that it reads back; empty if none.
std::string whyTreeNotWritable(const rkXMLElement& root) {
    std::vector<const rkXMLElement*> pending{&root};
    while (!pending.empty()) {
        const rkXMLElement& element = *pending.back();
        pending.pop_back();
        for (const rkXMLNode* child : element) {
            if (child == nullptr) continue;
            std::string reason = whyNotWritable(*child);
            if (!reason.empty()) return reason;
            if (child->getElementType() == rkXMLNode::Element) pending.push_back(&asElement(*child));
        }
    }
    return {};
}

// A tree that cannot be written so that it reads back, met while writing.
struct Refused {
    std::string reason;
};

// Gathers the output in one large block and hands it to the file when full;
// appends are plain copies, as the writer makes many small ones.
class OutputBuffer {
public:
    explicit OutputBuffer(SafeFile& file) : file(file), data(new char[capacity]) {}

    void put(std::string_view bytes) {
        if (bytes.size() > capacity - used) {
            flush();
            if (bytes.size() > capacity) {
                writeToFile(bytes);
                return;
            }
        }
        rkxml_detail::copyBytes(data.get() + used, bytes.data(), bytes.size());
        used += bytes.size();
    }

    void put(char byte) {
        if (used == capacity) flush();
        data[used++] = byte;
    }

    // Whether anything was written to the output so far.
    bool isEmpty() const { return !anythingWritten && used == 0; }

    void flush() {
        if (used == 0) return;
        writeToFile(std::string_view(data.get(), used));
        used = 0;
    }

private:
    static constexpr std::size_t capacity = 1 << 20;

    void writeToFile(std::string_view bytes) {
        if (!file.write(bytes)) throw WriteFailed{};
        anythingWritten = true;
    }

    SafeFile& file;
    std::unique_ptr<char[]> data;
    std::size_t used = 0;
    bool anythingWritten = false;
};

class NodeWriter {
public:
    NodeWriter(SafeFile& file, const SymbolCodec& encoder, OpenTagTest& openTags)
        : out(file), encoder(encoder), openTags(openTags) {}

    // Check every node before it is written (when the tree was not checked beforehand).
    void checkNodes() { checking = true; }

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
        out.flush();
    }

private:
    // Writes a node, or for an element with content its start tag and value;
    // true when the element's children and end tag are still to come.
    bool writeNodeStart(const rkXMLNode& node, unsigned depth) {
        if (checking) {
            std::string reason = whyNotWritable(node);
            if (!reason.empty()) throw Refused{std::move(reason)};
        }
        switch (node.getElementType()) {
            case rkXMLNode::Header:
                writeIndent(depth);
                out.put(node.getName());
                break;
            case rkXMLNode::Comment:
                writeIndent(depth);
                out.put(format::commentOpen);
                out.put(node.getName());
                out.put(format::commentClose);
                break;
            case rkXMLNode::Element:
                return writeStartTag(asElement(node), depth);
            default:
                break;  // a node of no kind writes nothing, not even a line break
        }
        return false;
    }

    bool writeStartTag(const rkXMLElement& element, unsigned depth) {
        writeIndent(depth);
        out.put(format::tagOpen);
        out.put(element.getName());
        for (const auto& [name, value] : ElementAccess::attributes(element)) {
            out.put(format::attributeSeparator);
            out.put(name);
            out.put(format::valueOpen);
            out.put(value);
            out.put(format::valueClose);
        }
        if (element.empty() && element.getValue().empty()) {
            out.put(openTags.holds(element.getName()) ? format::tagClose : format::emptyTagClose);
            return false;
        }
        out.put(format::tagClose);
        const bool isInline = element.size() <= 1;
        writeValue(element.getValue(), depth + 1, isInline);
        return true;
    }

    void writeEndTag(const rkXMLElement& element, unsigned depth, bool isInline) {
        if (!isInline) writeIndent(depth);
        out.put(format::endTagOpen);
        out.put(element.getName());
        out.put(format::tagClose);
    }

    void writeValue(const std::string& value, unsigned depth, bool isInline) {
        if (!isWorthWriting(value)) return;
        if (!isInline) writeIndent(depth);
        encoder.convertTo(value, [this](std::string_view piece) { out.put(piece); });
    }

    // A line break unless nothing was written yet, then `count` blanks.
    void writeIndent(unsigned count) {
        if (!out.isEmpty()) out.put('\n');
        for (; count > format::blanks.size(); count -= static_cast<unsigned>(format::blanks.size())) {
            out.put(format::blanks);
        }
        out.put(format::blanks.substr(0, count));
    }

    OutputBuffer out;
    const SymbolCodec& encoder;
    OpenTagTest& openTags;
    bool checking = false;
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
    const rkXMLElement& top = asElement(*root);
    const std::string& fileName = document.getFileName();
    // Nodes are checked while they are written, into the temporary file, so the
    // tree is walked once; a device or a pipe is written in place and is
    // therefore checked first.
    const bool checkFirst = SafeFile::isWrittenInPlace(fileName);
    if (checkFirst) {
        const std::string reason = whyTreeNotWritable(top);
        if (!reason.empty()) fail(document, reason);
    }

    SafeFile file(fileName);
    if (!file.open()) fail(document, "Error: cannot open '" + fileName + "' for writing.");
    const SymbolCodec encoder(symbols, SymbolCodec::Direction::Encode);
    OpenTagTest openTagTest(openTags);
    NodeWriter writer(file, encoder, openTagTest);
    if (!checkFirst) writer.checkNodes();
    bool written = true;
    try {
        writer.writeTopLevel(top);
    } catch (const WriteFailed&) {
        written = false;
    } catch (Refused& refused) {
        fail(document, refused.reason);  // the temporary file goes with `file`; the target is untouched
    }
    if (!written || !file.commit()) fail(document, "Error: writing '" + fileName + "' failed.");
}
