// The reader: one forward scan over the text that appends nodes to a document.
//
// The scan searches the input in place and copies only what becomes a name,
// a value or an attribute. The path of open elements is the chain of parent
// links, so there is no stack and no limit on the depth. Line numbers are
// counted only when a diagnostic is written.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "stream/Bytes.h"
#include "stream/DiagnosticLog.h"
#include "stream/Grammar.h"
#include "stream/OpenTagLookup.h"
#include "stream/ReadUndo.h"
#include "stream/Reader.h"
#include "stream/StreamAccess.h"
#include "stream/SymbolCodec.h"
#include "tree/NodeAccess.h"
#include "tree/ElementCast.h"

namespace {

namespace grammar = rkxml_detail::grammar;
using grammar::isNameDelimiter;
using grammar::isSkipByte;
using grammar::trimmed;
using rkxml_detail::ElementAccess;
using rkxml_detail::NodeAccess;
using rkxml_detail::OpenTagLookup;
using rkxml_detail::startsWith;
using rkxml_detail::StreamAccess;
using rkxml_detail::SymbolCodec;

constexpr std::size_t notFound = std::string_view::npos;

// The first `mark` at or after `from`: memchr finds the first byte, far
// cheaper than a general substring search for these two- and three-byte marks.
std::size_t findMark(std::string_view text, std::string_view mark, std::size_t from) {
    while (from < text.size()) {
        const void* found = std::memchr(text.data() + from, mark.front(), text.size() - from);
        if (found == nullptr) return notFound;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        if (startsWith(text.substr(at), mark)) return at;
        from = at + 1;
    }
    return notFound;
}

// The element that a parent link names, or null if the link names no element.
rkXMLElement* elementAbove(const rkXMLNode* node) { return rkxml_detail::elementOrNull(NodeAccess::parent(*node)); }

class Parser {
public:
    Parser(rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder, bool decodesAttributes,
           OpenTagLookup& openTags)
        : document(document), text(text), decoder(decoder), decodesAttributes(decodesAttributes), openTags(openTags) {
        root = &rkxml_detail::knownElement(*document.getRoot());
        current = root;
        if (text.size() >= largeText) decoded.reserve(largeTextScratch);
    }

    void run() {
        while (position < text.size()) {
            const std::size_t tagStart = text.find('<', position);
            if (tagStart == notFound) break;  // trailing text is ignored
            takeText(tagStart);
            const std::size_t p = tagStart + 1;
            if (p >= text.size()) fail(p, ": Tag started buf EOF found.");
            if (startsWith(text.substr(p), grammar::commentMark)) {
                readComment(p + grammar::commentMark.size());
            } else if (text[p] == '?') {
                readDeclaration(p);
            } else if (text[p] == '/') {
                readEndTag(p);
            } else {
                readStartTag(p);
            }
        }
        rkxml_detail::writeLog(document.getFileName(), diagnostics);
    }

private:
    // A large text's scratch is made at once, in a block far above glibc's per-thread cache. Besides
    // room for long values, that makes the allocator merge the small blocks that freed trees left
    // behind before this tree is built, so that its nodes are carved one after another instead of
    // scattered over those blocks: writing and destroying the tree then run up to twice as fast. A
    // small text's tree gains more from the cached blocks as they are, which come fastest.
    static constexpr std::size_t largeText = 256 * 1024;
    static constexpr std::size_t largeTextScratch = 64 * 1024;

    // The text before a tag: decoded, trimmed, and if anything is left, the current element's value.
    void takeText(std::size_t tagStart) {
        const std::string_view segment = text.substr(position, tagStart - position);
        if (segment.empty()) return;
        if (current == nullptr) {
            warnNoCurrentElement(tagStart);
            return;
        }
        if (decoder.consumesTrimBytes()) {
            takeTextExactly(segment);
            return;
        }
        // No replacement takes away a byte that trimming removes, so the trimmed
        // text decodes to what the whole one does, up to trim bytes at the ends.
        const std::string_view result = trimmed(segment);
        if (result.empty()) return;
        std::string& value = ElementAccess::value(*current);
        if (!decoder.mayChange(result)) {
            value.assign(result);
        } else if (decoder.producesTrimBytes()) {
            takeTextExactly(result);  // "&#32;" and the like may leave blanks at the ends
        } else {
            value.clear();  // decoded straight into the value
            decoder.appendConverted(result, value);
        }
    }

    // The text decoded, then trimmed, for tables in which that order matters.
    void takeTextExactly(std::string_view segment) {
        decoded.clear();
        decoder.appendConverted(segment, decoded);
        const std::string_view result = trimmed(decoded);
        if (!result.empty()) ElementAccess::value(*current).assign(result);
    }

    void readComment(std::size_t start) {
        const std::size_t end = findMark(text, grammar::commentClose, start);
        if (end == notFound) fail(start, ": Comment tag unclosed.");
        if (current != nullptr) {
            auto comment = std::make_unique<rkXMLComment>();
            NodeAccess::name(*comment).assign(text.substr(start, end - start));
            append(*current, std::move(comment));
        } else {
            warnNoCurrentElement(start);
        }
        position = end + grammar::commentClose.size();
    }

    void readDeclaration(std::size_t p) {
        const std::size_t end = findMark(text, grammar::declarationClose, p + 1);
        if (end == notFound) fail(p, ": Tag <? unclosed.");
        if (!declarationTaken) {
            // Later declarations of the same text are skipped; the first one goes to the top level.
            auto header = std::make_unique<rkXMLHeader>();
            header->decode(std::string(text.substr(p + 1, end - p - 1)));
            append(*root, std::move(header));
            declarationTaken = true;
        }
        position = end + grammar::declarationClose.size();
    }

    void readEndTag(std::size_t p) {
        const std::size_t end = text.find('>', p);
        if (end == notFound) fail(p, ": Tag unclosed.");
        const std::string_view name = trimmed(text.substr(p + 1, end - p - 1));
        if (current == nullptr) fail(p + 1, ": Closing tag when no tag???");
        if (name != NodeAccess::name(*current)) fail(p + 1, ": Closing tag differs from open tag.");
        current = elementAbove(current);
        position = end + 1;
    }

    void readStartTag(std::size_t p) {
        std::size_t at = p;
        if (!skipWhiteSpace(at)) fail(text.size(), ": Unspected EOF.");
        const std::size_t nameEnd = findNameEnd(at);
        if (nameEnd == notFound) fail(at, ": Unspected EOF.");
        const std::string_view scanned = text.substr(at, nameEnd - at);
        if (scanned.empty()) fail(at, ": Empty tag name.");
        if (current == nullptr) fail(at, ": No tag active for start tag.");

        auto created = std::make_unique<rkXMLElement>();
        rkXMLElement& element = *created;
        append(*current, std::move(created));
        current = &element;
        if (scanned.back() == '/') {
            // <name/...: the element closes at once.
            NodeAccess::name(element).assign(scanned.substr(0, scanned.size() - 1));
            moveUp();
        } else {
            NodeAccess::name(element).assign(scanned);
        }
        position = readAttributes(element, scanned, nameEnd);
    }

    // Reads attributes up to the end of the start tag; returns the position after it.
    std::size_t readAttributes(rkXMLElement& element, std::string_view scanned, std::size_t at) {
        auto& attributes = ElementAccess::attributes(element);
        for (;;) {
            if (!skipWhiteSpace(at)) fail(text.size(), ": Unspected EOF.");
            if (text[at] == '>') {
                if (openTags.holds(scanned)) moveUp();
                return at + 1;
            }
            if (startsWith(text.substr(at), grammar::emptyTagClose)) {
                moveUp();
                return at + grammar::emptyTagClose.size();
            }
            const std::size_t equals = findMark(text, grammar::valueOpen, at);
            if (equals == notFound) fail(at, ": Unspected value form.");
            const std::string_view name = trimmed(text.substr(at, equals - at));
            const std::size_t valueStart = equals + grammar::valueOpen.size();
            if (valueStart >= text.size()) fail(valueStart, ": Unspected EOF.");
            const std::size_t valueEnd = text.find('"', valueStart);
            if (valueEnd == notFound) fail(valueStart, ": Unspected value form.");
            const std::string_view value = attributeValue(text.substr(valueStart, valueEnd - valueStart));
            // Attributes mostly arrive in name order: then the hint at the end spares the search.
            // A name given twice keeps its last value.
            const std::size_t before = attributes.size();
            const auto placed = attributes.emplace_hint(attributes.end(), std::piecewise_construct,
                                                        std::forward_as_tuple(name), std::forward_as_tuple(value));
            if (attributes.size() == before) placed->second.assign(value);
            at = valueEnd + 1;
        }
    }

    // The value as it stands, or decoded where attribute values are.
    std::string_view attributeValue(std::string_view written) {
        if (!decodesAttributes || !decoder.mayChange(written)) return written;
        decoded.clear();
        decoder.appendConverted(written, decoded);
        return decoded;
    }

    void append(rkXMLElement& holder, std::unique_ptr<rkXMLNode> node) {
        NodeAccess::setParent(*node, &holder);
        holder.push_back(node.get());
        node.release();
    }

    void moveUp() { current = elementAbove(current); }

    bool skipWhiteSpace(std::size_t& at) const {
        while (at < text.size() && isSkipByte(text[at])) ++at;
        return at < text.size();
    }

    std::size_t findNameEnd(std::size_t from) const {
        for (std::size_t i = from; i < text.size(); ++i) {
            if (isNameDelimiter(text[i])) return i;
        }
        return notFound;
    }

    // The number of line feeds before `at`, counted on from the last diagnostic's
    // position, so that many warnings cost one pass over the text, not one each.
    std::string lineOf(std::size_t at) {
        const std::size_t end = std::min(at, text.size());
        if (end < linesCountedTo) {
            linesCountedTo = 0;
            linesBefore = 0;
        }
        linesBefore += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(linesCountedTo),
                                                           text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
        linesCountedTo = end;
        return std::to_string(linesBefore);
    }

    void warnNoCurrentElement(std::size_t at) {
        diagnostics += "Warning at line " + lineOf(at) +
                       ": No tag active but text found, must be at the start, ignoring.\n";
    }

    [[noreturn]] void fail(std::size_t at, const char* message) {
        diagnostics += "Error at line " + lineOf(at) + message + "\n";
        rkxml_detail::writeLog(document.getFileName(), diagnostics);
        document.makeEmpty();
        throw std::runtime_error(diagnostics);
    }

    rkXMLDocument& document;
    const std::string_view text;
    const SymbolCodec& decoder;
    const bool decodesAttributes;
    OpenTagLookup& openTags;
    rkXMLElement* root = nullptr;
    rkXMLElement* current = nullptr;
    std::size_t position = 0;
    bool declarationTaken = false;
    std::string diagnostics;
    std::string decoded;  // a decoded text before it is trimmed or stored
    std::size_t linesCountedTo = 0;
    std::size_t linesBefore = 0;
};

}  // namespace

void rkxml_detail::readText(const rkXMLFStream& stream, rkXMLDocument& document, std::string_view text) {
    const SymbolCodec decoder = StreamAccess::decoder(stream);
    OpenTagLookup openTagLookup(StreamAccess::openTags(stream));
    rkxml_detail::ReadUndo undo(document);
    try {
        Parser(document, text, decoder, StreamAccess::isUtf8(stream), openTagLookup).run();
    } catch (const std::bad_alloc&) {
        undo.undo();  // no half-built tree
        throw;
    }
}

void rkXMLFStream::readDocumentFromString(rkXMLDocument& document, const std::string& text) {
    rkxml_detail::readText(*this, document, text);
}

void rkXMLFStream::readDocumentFromString(rkXMLDocument& document, std::string& text) {
    readDocumentFromString(document, static_cast<const std::string&>(text));
}
