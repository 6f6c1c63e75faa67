#include "Splice.h"

#include <optional>
#include <string_view>
#include <utility>

#include <rkXMLFactory.h>

#include "Messages.h"

namespace rkxml_cli {
namespace {

using Position = rkXMLFStream::SourcePosition;
using rkXMLFactory::PathSteps;
constexpr std::size_t notFound = std::string::npos;
constexpr std::string_view cdataOpen = "<![CDATA[";
constexpr std::string_view cdataClose = "]]>";

bool isLayoutByte(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isLayout(std::string_view text) {
    for (const char c : text) {
        if (!isLayoutByte(c)) return false;
    }
    return true;
}

// `value` as character data: "&", "<" and ">" as references, so that nothing in it opens markup or ends a
// CDATA section.
std::string asText(const std::string& value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

// `value` as the 8-bit mode's writer writes an element's value: with its table's references.
std::string asEightBitText(const std::string& value) {
    rkXMLFStream stream(rkXMLFStream::Text::EightBit, rkXMLFStream::Log::None);
    rkXMLDocument document;
    rkXMLFactory::asElement(rkXMLFactory::createNode(document.getRoot(), rkXMLNode::Element, "v", rkXMLElement::npos))
        ->setValue(value);
    std::string text;
    stream.writeDocumentToString(document, text);  // "<v>value</v>"
    const std::size_t start = text.find('>') + 1;
    return text.substr(start, text.rfind("</") - start);
}

// Whether `name` can be written as an element's or attribute's name: it holds nothing that ends a name
// or opens markup, and starts no end tag, declaration or comment.
bool isWritableName(const std::string& name) {
    return !name.empty() && name.find_first_of(" \t\r\n<>/=&\"'?!") == notFound;
}

// `value` as one CDATA section, a "]]>" in it split over two.
std::string asCdata(const std::string& value) {
    std::string out(cdataOpen);
    std::size_t from = 0;
    for (std::size_t at = value.find(cdataClose); at != notFound; at = value.find(cdataClose, from)) {
        out.append(value, from, at + 2 - from);
        out += "]]><![CDATA[";
        from = at + 2;
    }
    out.append(value, from, notFound);
    out += cdataClose;
    return out;
}

// `value` between `quote`s. The 8-bit mode reads attribute values as they stand: there a value that holds
// the quote cannot be written (nullopt); the UTF-8 mode decodes references in them.
std::optional<std::string> asAttributeValue(const std::string& value, char quote, Mode mode) {
    if (mode == Mode::EightBit) {
        if (value.find(quote) != notFound) return std::nullopt;
        return value;
    }
    std::string out;
    for (const char c : value) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == quote) {
            out += quote == '"' ? "&quot;" : "&apos;";
        } else {
            out += c;
        }
    }
    return out;
}

// Whether `raw`, an element's text as written, is one CDATA section and nothing else.
bool isOneCdataSection(std::string_view raw) {
    return raw.substr(0, cdataOpen.size()) == cdataOpen && raw.find(cdataClose) == raw.size() - cdataClose.size();
}

// Where the line of `at` starts.
std::size_t lineStart(std::string_view bytes, std::size_t at) {
    while (at > 0 && bytes[at - 1] != '\n') --at;
    return at;
}

// The blanks and tabs before `at` on its line; nullopt where other bytes stand there too.
std::optional<std::string> indentBefore(std::string_view bytes, std::size_t at) {
    const std::size_t start = lineStart(bytes, at);
    const std::string_view indent = bytes.substr(start, at - start);
    if (indent.find_first_not_of(" \t") != notFound) return std::nullopt;
    return std::string(indent);
}

// The file's line end, as its first line ends: CR LF or LF.
std::string lineEndOf(std::string_view bytes) {
    const std::size_t feed = bytes.find('\n');
    return feed != notFound && feed > 0 && bytes[feed - 1] == '\r' ? "\r\n" : "\n";
}

// One step of indentation: the white space that starts the file's first indented tag; two blanks if none is.
std::string indentStepOf(std::string_view bytes) {
    for (std::size_t feed = bytes.find('\n'); feed != notFound; feed = bytes.find('\n', feed + 1)) {
        const std::size_t first = bytes.find_first_not_of(" \t", feed + 1);
        if (first != notFound && first > feed + 1 && bytes[first] == '<') {
            return std::string(bytes.substr(feed + 1, first - feed - 1));
        }
    }
    return "  ";
}

// The white space before the attribute name at `nameAt`, which a new attribute repeats.
std::string separatorBefore(std::string_view bytes, std::size_t nameAt) {
    std::size_t start = nameAt;
    while (start > 0 && isLayoutByte(bytes[start - 1])) --start;
    return std::string(bytes.substr(start, nameAt - start));
}

// `length` bytes at `offset` replaced by `bytes` (length 0: bytes put in).
struct ByteEdit {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::string bytes;
};

// Why a file is not spliced, at its line (from 0).
struct SpliceRefusal {
    std::size_t line = 0;
    std::string reason;
};

// Plans the edit, and makes the same change to the tree.
class Planner {
public:
    Planner(Original& source, ByteEdit& edit, SpliceRefusal& refusal)
        : source(source), bytes(source.bytes), edit(edit), refusal(refusal) {}

    // `value` as character data, as the mode's writer would write it.
    std::string asText(const std::string& value) const {
        return source.mode == Mode::EightBit ? asEightBitText(value) : rkxml_cli::asText(value);
    }

    bool plan(const PathSteps& path, const std::string& value) {
        std::size_t step = 0;
        rkXMLElement* element = rkXMLFactory::reachPath(source.document, path, step);
        if (step < path.elements.size()) return addElements(*element, path, step, value);
        if (path.attribute) return setAttribute(*element, *path.attribute, value);
        return setText(*element, value);
    }

private:
    const Position* placeOf(const rkXMLElement& element) {
        const Position* place = source.stream.getSourcePosition(&element);
        if (place == nullptr) refuse(0, "no position was recorded for element '" + shown(element.getName()) + "'");
        return place;
    }

    bool refuse(std::size_t line, std::string reason) {
        refusal = {line == 0 ? 0 : line - 1, std::move(reason)};
        return false;
    }

    bool replace(std::size_t offset, std::size_t length, std::string with) {
        edit = {offset, length, std::move(with)};
        return true;
    }

    bool setAttribute(rkXMLElement& element, const std::string& name, const std::string& value) {
        const Position* place = placeOf(element);
        if (place == nullptr) return false;
        const Position::Attribute* written = place->findAttribute(name);
        const char quote = written != nullptr ? bytes[written->value.offset - 1]
                           : place->attributes.empty() || source.mode == Mode::EightBit
                               ? '"'
                               : bytes[place->attributes.back().value.offset - 1];
        if (written == nullptr && !isWritableName(name)) {
            return refuse(place->line, "attribute name '" + shown(name) + "' cannot be written");
        }
        const std::optional<std::string> encoded = asAttributeValue(value, quote, source.mode);
        if (!encoded) {
            return refuse(place->line, "an attribute value in the library's 8-bit mode cannot hold the quote " +
                                           std::string(1, quote));
        }
        element.setAttribute(name, value);
        if (written != nullptr) return replace(written->value.offset, written->value.length, *encoded);
        const std::string separator =
            place->attributes.empty() ? " " : separatorBefore(bytes, place->attributes.back().nameAt);
        return replace(place->attributesEnd, 0, separator + name + "=" + quote + *encoded + quote);
    }

    bool setText(rkXMLElement& element, const std::string& value) {
        const Position* place = placeOf(element);
        if (place == nullptr) return false;
        element.setValue(value);
        if (place->hasText && holdsTextBetweenChildren(element, *place)) {
            return refuse(place->line, "element '" + shown(element.getName()) +
                                           "' holds text in several places between its children; set would not "
                                           "know which to replace");
        }
        if (place->hasText) {
            const std::string_view raw = std::string_view(bytes).substr(place->text.offset, place->text.length);
            if (raw.find('<') == notFound) return replace(place->text.offset, place->text.length, asText(value));
            if (isOneCdataSection(raw)) return replace(place->text.offset, place->text.length, asCdata(value));
            return refuse(place->line, "the value of element '" + shown(element.getName()) +
                                           "' is joined from several pieces (text, CDATA sections, processing "
                                           "instructions); set would not know which to replace");
        }
        if (value.empty()) return replace(0, 0, "");
        if (place->end == 0) return refuse(place->line, noEndTag(element));
        if (place->end > place->startTagEnd + 2) return replace(place->startTagEnd + 1, 0, asText(value));
        // Closed by its start tag: "/>" becomes ">value</name>".
        const std::optional<std::size_t> slash = slashOf(*place);
        if (!slash) return refuse(place->line, noEndTag(element));
        return replace(*slash, place->end - *slash, ">" + asText(value) + "</" + element.getName() + ">");
    }

    // Whether text stands in more than one of the gaps around `element`'s children: mixed content, of which
    // the reader keeps only the last piece.
    bool holdsTextBetweenChildren(const rkXMLElement& element, const Position& place) const {
        if (element.empty() || place.end == 0) return false;
        std::size_t gapStart = place.startTagEnd + 1;
        int gapsWithText = 0;
        auto noteGap = [&](std::size_t gapEnd) {
            if (gapEnd > gapStart && !isLayout(std::string_view(bytes).substr(gapStart, gapEnd - gapStart))) {
                ++gapsWithText;
            }
        };
        for (const rkXMLNode* child : element) {
            const Position* childPlace = source.stream.getSourcePosition(child);
            if (childPlace == nullptr) return true;  // not read from these bytes: nothing to judge by
            noteGap(childPlace->start);
            gapStart = endOf(*child, *childPlace);
        }
        noteGap(bytes.rfind("</", place.end - 1));
        return gapsWithText > 1;
    }

    // Just after `node`'s bytes: a comment's "-->", or where an element ends.
    std::size_t endOf(const rkXMLNode& node, const Position& place) const {
        if (node.getElementType() != rkXMLNode::Comment) return place.end;
        const std::size_t close = bytes.find("-->", place.start + 4);
        return close == notFound ? bytes.size() : close + 3;
    }

    // The "/" of the "/>" that closed an element in its start tag; nullopt for an open tag such as <br>.
    std::optional<std::size_t> slashOf(const Position& place) const {
        if (bytes[place.startTagEnd] == '/') return place.startTagEnd;
        if (place.startTagEnd > 0 && bytes[place.startTagEnd - 1] == '/') return place.startTagEnd - 1;
        return std::nullopt;
    }

    static std::string noEndTag(const rkXMLElement& element) {
        return "element '" + shown(element.getName()) + "' has no end tag to hold a value";
    }

    // Adds the path's elements from `step` on below `parent`, in the tree and in the bytes: after the last
    // element that `parent` holds, on a line of its own where that element stands on one.
    bool addElements(rkXMLElement& parent, const PathSteps& path, std::size_t step, const std::string& value) {
        const Position* parentPlace = placeOf(parent);
        if (parentPlace == nullptr) return false;
        std::string added;
        if (!newElements(path, step, value, added)) return refuse(parentPlace->line, added);
        unsigned int index = 0;
        const rkXMLElement* lastElement = nullptr;
        for (rkXMLNode* child : parent) {
            ++index;
            if (child->getElementType() == rkXMLNode::Element) {
                lastElement = rkXMLFactory::asElement(child);
                afterLastElement = index;
            }
        }
        if (!addToTree(parent, path, step, value)) return refuse(parentPlace->line, "the tree did not take it");
        if (lastElement != nullptr) {
            const Position* place = placeOf(*lastElement);
            if (place == nullptr) return false;
            if (place->end == 0) return refuse(place->line, noEndTag(*lastElement));
            const std::optional<std::string> indent = indentBefore(bytes, place->start);
            return replace(place->end, 0, indent ? lineEndOf(bytes) + *indent + added : added);
        }
        return addFirstChild(parent, *parentPlace, added);
    }

    // The text of the path's elements from `step` on, holding the value; false, with the reason in `text`,
    // where the mode cannot write it.
    bool newElements(const PathSteps& path, std::size_t step, const std::string& value, std::string& text) const {
        const std::string& last = path.elements.back();
        for (std::size_t i = step; i < path.elements.size(); ++i) {
            if (!isWritableName(path.elements[i])) {
                text = "element name '" + shown(path.elements[i]) + "' cannot be written";
                return false;
            }
        }
        if (path.attribute && !isWritableName(*path.attribute)) {
            text = "attribute name '" + shown(*path.attribute) + "' cannot be written";
            return false;
        }
        if (path.attribute) {
            const std::optional<std::string> encoded = asAttributeValue(value, '"', source.mode);
            if (!encoded) {
                text = "an attribute value in the library's 8-bit mode cannot hold the quote \"";
                return false;
            }
            text = "<" + last + " " + *path.attribute + "=\"" + *encoded + "\"/>";
        } else {
            text = value.empty() ? "<" + last + "/>" : "<" + last + ">" + asText(value) + "</" + last + ">";
        }
        for (std::size_t i = path.elements.size() - 1; i-- > step;) {
            text = "<" + path.elements[i] + ">" + text + "</" + path.elements[i] + ">";
        }
        return true;
    }

    // The same elements in the tree, the first right after the last element child (as in the bytes).
    bool addToTree(rkXMLElement& parent, const PathSteps& path, std::size_t step, const std::string& value) {
        rkXMLNode* holder = &parent;
        for (std::size_t i = step; i < path.elements.size(); ++i) {
            const unsigned int at = i == step && afterLastElement != 0 ? afterLastElement : rkXMLElement::npos;
            holder = rkXMLFactory::createNode(holder, rkXMLNode::Element, path.elements[i], at);
            if (holder == nullptr) return false;
        }
        rkXMLElement* target = rkXMLFactory::asElement(holder);
        if (path.attribute) {
            target->setAttribute(*path.attribute, value);
        } else {
            target->setValue(value);
        }
        return true;
    }

    // Puts `added` into `parent`, which holds no element yet: before its end tag, or in place of the "/>" that
    // closed it, on a line of its own, one step in, where `parent` stands on a line of its own.
    bool addFirstChild(const rkXMLElement& parent, const Position& place, const std::string& added) {
        if (place.end == 0) return refuse(place.line, noEndTag(parent));
        const std::optional<std::string> indent = indentBefore(bytes, place.start);
        const std::string lineEnd = lineEndOf(bytes);
        const std::string block = indent ? lineEnd + *indent + indentStepOf(bytes) + added + lineEnd + *indent : added;
        if (place.end <= place.startTagEnd + 2) {
            const std::optional<std::size_t> slash = slashOf(place);
            if (!slash) return refuse(place.line, noEndTag(parent));
            return replace(*slash, place.end - *slash, ">" + block + "</" + parent.getName() + ">");
        }
        const std::size_t endTag = bytes.rfind("</", place.end - 1);
        const bool holdsText =
            place.hasText && !isLayout(std::string_view(bytes).substr(place.text.offset, place.text.length));
        if (holdsText) return replace(endTag, 0, added);
        const std::optional<std::string> endIndent = indentBefore(bytes, endTag);
        if (indent && endIndent && lineStart(bytes, endTag) > place.startTagEnd) {
            return replace(lineStart(bytes, endTag), 0, *endIndent + indentStepOf(bytes) + added + lineEnd);
        }
        return replace(endTag, 0, block);
    }

    Original& source;
    const std::string& bytes;
    ByteEdit& edit;
    SpliceRefusal& refusal;
    unsigned int afterLastElement = 0;  // the index after the parent's last element child; 0 if it holds none
};

// `bytes` with `edit` made.
std::string applied(const std::string& bytes, const ByteEdit& edit) {
    std::string out;
    out.reserve(bytes.size() - edit.length + edit.bytes.size());
    out.append(bytes, 0, edit.offset);
    out += edit.bytes;
    out.append(bytes, edit.offset + edit.length, notFound);
    return out;
}

}  // namespace

bool splice(Original& original, const Edit& edit, std::string& text) {
    ByteEdit byteEdit;
    SpliceRefusal refusal;
    if (!Planner(original, byteEdit, refusal).plan(edit.path, edit.value)) {
        printAtLine(original.fileName, refusal.line, "refused", refusal.reason);
        return false;
    }
    text = applied(original.bytes, byteEdit);
    return true;
}

}  // namespace rkxml_cli
