// The tree half of the reader: what a scan of the text finds, appended to a document.
//
// It knows no grammar: a scan reads the text and tells it what stands where, and it
// makes the nodes, moves through the open elements and warns about text it cannot
// keep. The open elements are the chain of parent links from the current element,
// so there is no stack and no limit on the depth.
#ifndef RKXML_STREAM_TREE_BUILDER_H
#define RKXML_STREAM_TREE_BUILDER_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLElement.h"
#include "rkXMLHeader.h"
#include "stream/Grammar.h"
#include "stream/PositionRecorder.h"
#include "stream/ReadDiagnostics.h"
#include "stream/SymbolCodec.h"
#include "tree/ElementCast.h"
#include "tree/NodeAccess.h"

namespace rkxml_detail {

// GCC and clang inline every call inside a function so marked. The map's insertion that stores an attribute
// is otherwise left a call, which costs a read of many attributes some per cent of its instructions.
#if defined(__GNUC__)
#define RKXML_INLINE_CALLS [[gnu::flatten]]
#else
#define RKXML_INLINE_CALLS
#endif

// With `Records` it records where each node stood; made for each, so that a read that does not record
// pays nothing for it.
template <bool Records>
class TreeBuilder {
public:
    // Appends to the tree of `document` what is found in `text`, decoding text with `decoder` and attribute
    // values too where `decodesAttributes`; records positions into `positions` (Records) and warns into
    // `diagnostics`.
    TreeBuilder(rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder, bool decodesAttributes,
                PositionRecorder::Table* positions, ReadDiagnostics& diagnostics)
        : text(text),
          codec(&decoder),
          decodesAttributes(decodesAttributes),
          diagnostics(diagnostics),
          places(positions, text) {
        root = &knownElement(*document.getRoot());
        current = root;
        if (text.size() >= largeText) decoded.reserve(largeTextScratch);
    }

    // The element that receives text, comments and new elements: the hidden root at first; null only where
    // a parent link names no element.
    const rkXMLElement* currentElement() const { return current; }
    // Whether the current element is the hidden root, outside every element.
    bool atTopLevel() const { return current == root; }

    // The codec that text is decoded with.
    const SymbolCodec& decoder() const { return *codec; }
    // Decodes text with `decoder` from now on; it must outlive the builder.
    void decodeWith(const SymbolCodec& decoder) { codec = &decoder; }

    // The text `raw` before the tag at `tagStart`, as `content` (`raw` itself, or a form of it of the same
    // meaning) decoded and trimmed, becomes the current element's value if anything is left; false if not.
    bool takeText(std::string_view raw, std::string_view content, std::size_t tagStart) {
        if (raw.empty()) return false;
        if (current == nullptr) {
            diagnostics.warnNoCurrentElement(tagStart);
            return false;
        }
        std::string& value = ElementAccess::value(*current);
        const bool heldText = holdsTextOfThisRead(value);
        if (!storeDecoded(content, value)) return false;
        noteStoredText(raw, heldText);
        return true;
    }

    // Like takeText for a text `content` that is decoded already from the source `raw`.
    bool takeDecodedText(std::string_view raw, std::string_view content, std::size_t tagStart) {
        if (current == nullptr) {
            if (!content.empty()) diagnostics.warnNoCurrentElement(tagStart);
            return false;
        }
        std::string& value = ElementAccess::value(*current);
        const bool heldText = holdsTextOfThisRead(value);
        const std::string_view result = grammar::trimmed(content);
        if (result.empty()) return false;
        value.assign(result);
        noteStoredText(raw, heldText);
        return true;
    }

    // Warns about text from `from` on that is not read (`content`, decoded), unless it is white space.
    void noteIgnoredText(std::size_t from, std::string_view content) {
        if (grammar::isBlank(withoutByteOrderMark(from, content))) return;
        if (current == root) {
            diagnostics.warnTextOutside(grammar::firstTextAt(text, from));
        } else {
            diagnostics.warnTextAfterLastTag(grammar::firstTextAt(text, from));
        }
    }

    // A comment whose text is `content` and whose tag starts at `tagStart`, appended to the current element.
    void appendComment(std::string_view content, std::size_t tagStart) {
        if (current == nullptr) {
            diagnostics.warnNoCurrentElement(offsetOf(content));
            return;
        }
        auto comment = std::make_unique<rkXMLComment>();
        NodeAccess::name(*comment).assign(content);
        if constexpr (Records) places.add(*comment, tagStart);
        append(*current, std::move(comment));
    }

    // Whether a declaration becomes a header: only the first of a read does.
    bool takesHeader() const { return !headerTaken; }
    // The header of the declaration at `tagStart`, appended to the hidden root.
    void appendHeader(std::unique_ptr<rkXMLHeader> header, std::size_t tagStart) {
        if constexpr (Records) places.add(*header, tagStart);
        append(*root, std::move(header));
        headerTaken = true;
    }

    // A new element named `name` (a view into the text) whose start tag begins at `tagStart`, appended to
    // the current element and made current. A start tag with no current element fails the read.
    rkXMLElement& openElement(std::string_view name, std::size_t tagStart) {
        if (current == nullptr) diagnostics.fail(offsetOf(name), "No tag active for start tag.");
        auto created = std::make_unique<rkXMLElement>();
        rkXMLElement& element = *created;
        append(*current, std::move(created));
        current = &element;
        if constexpr (Records) {
            elementPlace = &places.add(element, tagStart);
            elementPlace->attributesEnd = offsetOf(name) + name.size();
        }
        NodeAccess::name(element).assign(name);
        return element;
    }

    // The attribute `name` of `element`, the element just opened, with the value `raw` as written, stored as
    // `content` (`raw`, or a form of it of the same meaning) says; false if it replaced a value of that name.
    bool addAttribute(rkXMLElement& element, std::string_view name, std::string_view raw, std::string_view content) {
        const bool added = storeAttribute(ElementAccess::attributes(element), name, content);
        if constexpr (Records) noteAttributePlace(name, raw);
        return added;
    }

    // The start tag just opened is read up to `at`, where it may end.
    void startTagReadTo(std::size_t at) {
        if constexpr (Records) elementPlace->startTagEnd = at;
    }

    // The start tag of `element` ends just before `end`; if it closed the element, so does the element.
    void startTagRead(const rkXMLElement& element, std::size_t end) {
        if constexpr (Records) {
            if (current != &element) elementPlace->end = end;
        }
    }

    // Closes the current element: its parent becomes current.
    void closeCurrent() { current = elementAbove(current); }

    // Closes the current element by an end tag named `name` (starting at `nameAt`) that ends just before
    // `end`; a name that differs, or no current element, fails the read.
    void closeByEndTag(std::string_view name, std::size_t nameAt, std::size_t end) {
        if (current == nullptr) diagnostics.fail(nameAt, "Closing tag when no tag???");
        if (name != NodeAccess::name(*current)) diagnostics.fail(nameAt, "Closing tag differs from open tag.");
        if (Records && current != root) places.of(*current).end = end;
        closeCurrent();
    }

    // Ends the read: warns about text from `rest` on, after the last tag, and about elements left open, then
    // logs the warnings.
    void finish(std::size_t rest) {
        noteTrailingText(rest);
        noteOpenElements();
        diagnostics.finish();
    }

private:
    // A large text's scratch is made at once, in a block far above glibc's per-thread cache. Besides
    // room for long values, that makes the allocator merge the small blocks that freed trees left
    // behind before this tree is built, so that its nodes are carved one after another instead of
    // scattered over those blocks: writing and destroying the tree then run up to twice as fast. A
    // small text's tree gains more from the cached blocks as they are, which come fastest.
    static constexpr std::size_t largeText = 256 * 1024;
    static constexpr std::size_t largeTextScratch = 64 * 1024;

    // The element that a parent link names, or null if the link names no element.
    static rkXMLElement* elementAbove(const rkXMLNode* node) { return elementOrNull(NodeAccess::parent(*node)); }

    void append(rkXMLElement& holder, std::unique_ptr<rkXMLNode> node) {
        NodeAccess::setParent(*node, &holder);
        holder.push_back(node.get());
        node.release();
    }

    // Decodes and trims `segment` into `value`; false, `value` unchanged, when nothing is left.
    bool storeDecoded(std::string_view segment, std::string& value) {
        if (codec->consumesTrimBytes()) return storeExactly(segment, value);
        // No replacement takes away a byte that trimming removes, so the trimmed
        // text decodes to what the whole one does, up to trim bytes at the ends.
        const std::string_view result = grammar::trimmed(segment);
        if (result.empty()) return false;
        if (!codec->mayChange(result)) {
            value.assign(result);
        } else if (codec->producesTrimBytes()) {
            return storeExactly(result, value);  // "&#32;" and the like may leave blanks at the ends
        } else {
            value.clear();  // decoded straight into the value
            codec->appendConverted(result, value);
        }
        return true;
    }

    // The text decoded, then trimmed, for tables in which that order matters.
    bool storeExactly(std::string_view segment, std::string& value) {
        decoded.clear();
        codec->appendConverted(segment, decoded);
        const std::string_view result = grammar::trimmed(decoded);
        if (result.empty()) return false;
        value.assign(result);
        return true;
    }

    // Whether the current element holds text that this read gave it and that a new text would drop.
    // Elements are made empty, so any other value than white space is such text; the hidden root may
    // hold a value from before, and its text is told apart anyway (noteDroppedText).
    bool holdsTextOfThisRead(const std::string& value) const {
        return !value.empty() && current != root && !grammar::isBlank(value);
    }

    // Warns about what the text from `raw`, just stored, dropped, and records where it stood.
    void noteStoredText(std::string_view raw, bool heldText) {
        if (heldText || current == root) noteDroppedText(heldText, offsetOf(raw));
        if constexpr (Records) noteTextPlace(raw);
    }

    // Warns about the text just stored at `from`: at the top level it is outside every element and never
    // written; elsewhere it replaced earlier text of the element (`heldText`).
    void noteDroppedText(bool heldText, std::size_t from) {
        if (current == root) {
            if (!grammar::isBlank(withoutByteOrderMark(from, ElementAccess::value(*root)))) {
                diagnostics.warnTextOutside(grammar::firstTextAt(text, from));
            }
        } else if (heldText) {
            diagnostics.warnTextReplaced(grammar::firstTextAt(text, from), NodeAccess::name(*current));
        }
    }

    // Text after the last tag is not read; it warns unless it is white space (or a lone byte order mark).
    void noteTrailingText(std::size_t rest) {
        if (rest >= text.size()) return;
        const std::string_view trailing = text.substr(rest);
        if (grammar::isBlank(withoutByteOrderMark(rest, trailing)) && !codec->consumesTrimBytes()) return;
        decoded.clear();
        codec->appendConverted(trailing, decoded);
        noteIgnoredText(rest, decoded);
    }

    // Elements still open at the end lose nothing of the tree, but the text that closed them is missing:
    // a file cut off. One warning names the innermost and says how many are open.
    void noteOpenElements() {
        if (current == nullptr || current == root) return;
        std::size_t open = 0;
        for (const rkXMLElement* element = current; element != nullptr && element != root;
             element = elementAbove(element)) {
            ++open;
        }
        diagnostics.warnOpenElements(text.size(), NodeAccess::name(*current), open);
    }

    // `content` without the byte order mark that starts the text at `from`: the hidden root keeps it as its
    // value, and it says nothing a writer would have to keep. Only a mark at the very start of the text is
    // one; after white space it is text.
    std::string_view withoutByteOrderMark(std::size_t from, std::string_view content) const {
        if (from == 0 && startsWith(text, grammar::byteOrderMark) && startsWith(content, grammar::byteOrderMark))
            content.remove_prefix(grammar::byteOrderMark.size());
        return content;
    }

    // Stores an attribute; false when the element had one of that name, whose value it replaced.
    RKXML_INLINE_CALLS bool storeAttribute(ElementAccess::Attributes& attributes, std::string_view name,
                                           std::string_view written) {
        const std::string_view value = attributeValue(written);
        // Attributes mostly arrive in name order: then the hint at the end spares the search.
        // A name given twice keeps its last value.
        const std::size_t before = attributes.size();
        const auto placed = attributes.emplace_hint(attributes.end(), std::piecewise_construct,
                                                    std::forward_as_tuple(name), std::forward_as_tuple(value));
        if (attributes.size() != before) return true;
        placed->second.assign(value);
        return false;
    }

    // The value as it stands, or decoded where attribute values are.
    std::string_view attributeValue(std::string_view written) {
        if (!decodesAttributes || !codec->mayChange(written)) return written;
        decoded.clear();
        codec->appendConverted(written, decoded);
        return decoded;
    }

    // ---- Positions, for a read that records them.

    // The raw text that gave the current element its value, without the bytes that trimming removes.
    void noteTextPlace(std::string_view raw) {
        if (current == root) return;
        rkXMLFStream::SourcePosition& place = places.of(*current);
        place.hasText = true;
        const std::string_view kept = grammar::trimmed(raw);
        place.text = {offsetOf(kept), kept.size()};
    }

    // `name` and `value`, views into the text, as the element's last attribute; a new one goes after it.
    void noteAttributePlace(std::string_view name, std::string_view value) {
        const std::size_t valueAt = offsetOf(value);
        elementPlace->attributes.push_back({std::string(name), offsetOf(name), {valueAt, value.size()}});
        elementPlace->attributesEnd = valueAt + value.size() + 1;  // past the closing quote
    }

    // The offset of `part`, a view into the text.
    std::size_t offsetOf(std::string_view part) const { return static_cast<std::size_t>(part.data() - text.data()); }

    const std::string_view text;
    const SymbolCodec* codec;
    const bool decodesAttributes;
    ReadDiagnostics& diagnostics;
    PositionRecorder places;
    rkXMLFStream::SourcePosition* elementPlace = nullptr;  // Records: the start tag being read
    rkXMLElement* root = nullptr;
    rkXMLElement* current = nullptr;
    bool headerTaken = false;
    std::string decoded;  // a decoded text before it is trimmed or stored
};

}  // namespace rkxml_detail

#endif
