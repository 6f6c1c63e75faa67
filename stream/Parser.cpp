// The reader: one forward scan over the text that appends nodes to a document.
//
// The scan searches the input in place and copies only what becomes a name,
// a value or an attribute. The path of open elements is the chain of parent
// links, so there is no stack and no limit on the depth. Line numbers are
// counted only when a diagnostic is written.
//
// Files from other programs (foreignXml) bring a few constructs more; they are
// told apart only where a "<" or a start tag's attributes begin, so the scan of
// the usual ones stays as it is.
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "stream/Bytes.h"
#include "stream/ForeignXml.h"
#include "stream/Grammar.h"
#include "stream/OpenTagLookup.h"
#include "stream/PositionRecorder.h"
#include "stream/ReadDiagnostics.h"
#include "stream/ReadUndo.h"
#include "stream/Reader.h"
#include "stream/ShownName.h"
#include "stream/StreamAccess.h"
#include "stream/SymbolCodec.h"
#include "tree/ElementCast.h"
#include "tree/NodeAccess.h"

namespace {

namespace foreign = rkxml_detail::foreign;
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

// Whether `text` is white space only: blanks, tabs, line feeds and carriage returns. Text of that kind
// carries nothing, so dropping it needs no warning.
bool isBlank(std::string_view text) {
    for (const char c : text) {
        if (!isSkipByte(c)) return false;
    }
    return true;
}

// The scan for the default and UTF-8 modes, and with `Foreign` for files from other programs; with `Records`,
// it records where each node stood. Made for each, so that what a read does not ask for costs it nothing.
template <bool Foreign, bool Records>
class Parser {
public:
    Parser(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder,
           OpenTagLookup& openTags)
        : stream(stream),
          document(document),
          text(text),
          decoder(&decoder),
          decodesAttributes(StreamAccess::isUtf8(stream)),
          openTags(openTags),
          diagnostics(StreamAccess::diagnostics(stream), StreamAccess::saveLosses(stream), text, document,
                      StreamAccess::logsEnabled(stream)),
          places(StreamAccess::recordedPositions(stream), text) {
        root = &rkxml_detail::knownElement(*document.getRoot());
        current = root;
        if (text.size() >= largeText) decoded.reserve(largeTextScratch);
    }

    // Reads the text; `malformed`, for a text converted from UTF-16, says why its conversion stopped at the end.
    void run(const char* malformed = nullptr) {
        if constexpr (Foreign) startForeignText(malformed);
        while (position < text.size()) {
            std::size_t tagStart = text.find('<', position);
            if (tagStart == notFound) break;  // the rest is trailing text
            if (Foreign && continuesTextRun(tagStart)) {
                tagStart = takeTextRun(tagStart);
                if (tagStart == notFound) break;
            } else {
                takeText(tagStart);
            }
            const std::size_t p = tagStart + 1;
            // "buf EOF" kept as written on purpose: callers and stored logs match the text.
            if (p >= text.size()) fail(p, "Tag started buf EOF found.");
            if (startsWith(text.substr(p), grammar::commentMark)) {
                readComment(p + grammar::commentMark.size());
            } else if (text[p] == '?') {
                readDeclaration(p);
            } else if (text[p] == '/') {
                readEndTag(p);
            } else if (Foreign && startsWith(text.substr(p), foreign::doctypeMark)) {
                skipDoctype(p);
            } else {
                readStartTag(p);
            }
        }
        noteTrailingText();
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

    // The text before a tag: decoded, trimmed, and if anything is left, the current element's value.
    void takeText(std::size_t tagStart) {
        const std::string_view segment = text.substr(position, tagStart - position);
        if (segment.empty()) return;
        if (current == nullptr) {
            diagnostics.warnNoCurrentElement(tagStart);
            return;
        }
        std::string& value = ElementAccess::value(*current);
        const bool heldText = holdsTextOfThisRead(value);
        const bool stored = storeDecoded(Foreign ? normalised(segment, false) : segment, value);
        if (stored && (heldText || current == root)) noteDroppedText(heldText, position);
        if (Records && stored) noteTextPlace(segment);
        if constexpr (Foreign) {
            if (stored) noteTextAfterChild(position);
            noteUnsavedReferences(segment, position);
        }
    }

    // Decodes and trims `segment` into `value`; false, `value` unchanged, when nothing is left.
    bool storeDecoded(std::string_view segment, std::string& value) {
        if (decoder->consumesTrimBytes()) return storeExactly(segment, value);
        // No replacement takes away a byte that trimming removes, so the trimmed
        // text decodes to what the whole one does, up to trim bytes at the ends.
        const std::string_view result = trimmed(segment);
        if (result.empty()) return false;
        if (!decoder->mayChange(result)) {
            value.assign(result);
        } else if (decoder->producesTrimBytes()) {
            return storeExactly(result, value);  // "&#32;" and the like may leave blanks at the ends
        } else {
            value.clear();  // decoded straight into the value
            decoder->appendConverted(result, value);
        }
        return true;
    }

    // The text decoded, then trimmed, for tables in which that order matters.
    bool storeExactly(std::string_view segment, std::string& value) {
        decoded.clear();
        decoder->appendConverted(segment, decoded);
        const std::string_view result = trimmed(decoded);
        if (result.empty()) return false;
        value.assign(result);
        return true;
    }

    // Whether the current element holds text that this read gave it and that a new text would drop.
    // Elements are made empty, so any other value than white space is such text; the hidden root may
    // hold a value from before, and its text is told apart anyway (noteDroppedText).
    bool holdsTextOfThisRead(const std::string& value) const {
        return !value.empty() && current != root && !isBlank(value);
    }

    // Warns about the text just stored at `from`: at the top level it is outside every element and never
    // written; elsewhere it replaced earlier text of the element (`heldText`).
    void noteDroppedText(bool heldText, std::size_t from) {
        if (current == root) {
            if (!isBlank(withoutByteOrderMark(from, ElementAccess::value(*root)))) {
                diagnostics.warnTextOutside(firstTextAt(from));
            }
        } else if (heldText) {
            diagnostics.warnTextReplaced(firstTextAt(from), NodeAccess::name(*current));
        }
    }

    // Text after the last tag is not read; it warns unless it is white space (or a lone byte order mark).
    void noteTrailingText() {
        if (position >= text.size()) return;
        const std::string_view rest = text.substr(position);
        if (isBlank(withoutByteOrderMark(position, rest)) && !decoder->consumesTrimBytes()) return;
        decoded.clear();
        decoder->appendConverted(rest, decoded);
        noteIgnoredText(position, decoded);
    }

    // Warns about text from `from` on that is not read (`content`, decoded), unless it is white space.
    void noteIgnoredText(std::size_t from, std::string_view content) {
        if (isBlank(withoutByteOrderMark(from, content))) return;
        if (current == root) {
            diagnostics.warnTextOutside(firstTextAt(from));
        } else {
            diagnostics.warnTextAfterLastTag(firstTextAt(from));
        }
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

    // `content` without the byte order mark that starts the text at `from`: the default mode keeps it as
    // the hidden root's value, and it says nothing a writer would have to keep. Only a mark at the very start
    // of the text is one; after white space it is text.
    std::string_view withoutByteOrderMark(std::size_t from, std::string_view content) const {
        if (from == 0 && startsWith(text, foreign::byteOrderMark) && startsWith(content, foreign::byteOrderMark))
            content.remove_prefix(foreign::byteOrderMark.size());
        return content;
    }

    // The first byte from `from` on that is not white space nor the byte order mark, where a warning points.
    std::size_t firstTextAt(std::size_t from) const {
        if (from == 0 && startsWith(text, foreign::byteOrderMark)) from = foreign::byteOrderMark.size();
        while (from < text.size() && isSkipByte(text[from])) ++from;
        return from;
    }

    void readComment(std::size_t start) {
        const std::size_t end = findMark(text, grammar::commentClose, start);
        if (end == notFound) fail(start, "Comment tag unclosed.");
        if (current != nullptr) {
            auto comment = std::make_unique<rkXMLComment>();
            NodeAccess::name(*comment).assign(text.substr(start, end - start));
            if constexpr (Records) places.add(*comment, start - grammar::commentOpen.size());
            append(*current, std::move(comment));
            if constexpr (Foreign) textFollows = "a comment";  // the writer puts the value before it too
        } else {
            diagnostics.warnNoCurrentElement(start);
        }
        position = end + grammar::commentClose.size();
    }

    void readDeclaration(std::size_t p) {
        const std::size_t end = findMark(text, grammar::declarationClose, p + 1);
        if (end == notFound) fail(p, "Tag <? unclosed.");
        if (Foreign && declarationTaken) diagnostics.noteSaveLoss(p, "Second XML declaration is not kept on saving.");
        if (!declarationTaken) {
            // Later declarations of the same text are skipped; the first one goes to the top level.
            auto header = std::make_unique<rkXMLHeader>();
            if constexpr (Records) places.add(*header, p - 1);
            if constexpr (Foreign) {
                readForeignDeclaration(*header, text.substr(p + 1, end - p - 1));
            } else {
                header->decode(std::string(text.substr(p + 1, end - p - 1)));
            }
            append(*root, std::move(header));
            declarationTaken = true;
        }
        position = end + grammar::declarationClose.size();
    }

    void readEndTag(std::size_t p) {
        const std::size_t end = text.find('>', p);
        if (end == notFound) fail(p, "Tag unclosed.");
        const std::string_view name = trimmed(text.substr(p + 1, end - p - 1));
        if (current == nullptr) fail(p + 1, "Closing tag when no tag???");
        if (name != NodeAccess::name(*current)) fail(p + 1, "Closing tag differs from open tag.");
        if (Records && current != root) places.of(*current).end = end + 1;
        moveUp();
        position = end + 1;
    }

    void readStartTag(std::size_t p) {
        std::size_t at = p;
        // "Unspected" kept as written on purpose: callers and stored logs match these texts.
        if (!skipWhiteSpace(at)) fail(text.size(), "Unspected EOF.");
        const std::size_t nameEnd = findNameEnd(at);
        if (nameEnd == notFound) fail(at, "Unspected EOF.");
        const std::string_view scanned = text.substr(at, nameEnd - at);
        if (scanned.empty()) fail(at, "Empty tag name.");
        if (current == nullptr) fail(at, "No tag active for start tag.");

        auto created = std::make_unique<rkXMLElement>();
        rkXMLElement& element = *created;
        append(*current, std::move(created));
        current = &element;
        if constexpr (Foreign) textFollows = nullptr;
        if constexpr (Records) {
            elementPlace = &places.add(element, p - 1);
            elementPlace->attributesEnd = scanned.back() == '/' ? nameEnd - 1 : nameEnd;
        }
        if (scanned.back() == '/') {
            // <name/...: the element closes at once.
            NodeAccess::name(element).assign(scanned.substr(0, scanned.size() - 1));
            moveUp();
        } else {
            NodeAccess::name(element).assign(scanned);
        }
        position = readAttributes(element, scanned, nameEnd);
        if (Records && current != &element) elementPlace->end = position;  // closed by its start tag
    }

    // Reads attributes up to the end of the start tag; returns the position after it.
    std::size_t readAttributes(rkXMLElement& element, std::string_view scanned, std::size_t at) {
        auto& attributes = ElementAccess::attributes(element);
        for (;;) {
            if (!skipWhiteSpace(at)) fail(text.size(), "Unspected EOF.");
            if (std::size_t after = endOfStartTag(scanned, at)) return after;
            if constexpr (Foreign) {
                at = readForeignAttribute(element, attributes, at);
                continue;
            }
            const std::size_t equals = findMark(text, grammar::valueOpen, at);
            if (equals == notFound) fail(at, "Unspected value form.");
            const std::string_view name = trimmed(text.substr(at, equals - at));
            const std::size_t valueStart = equals + grammar::valueOpen.size();
            if (valueStart >= text.size()) fail(valueStart, "Unspected EOF.");
            const std::size_t valueEnd = text.find('"', valueStart);
            if (valueEnd == notFound) fail(valueStart, "Unspected value form.");
            storeAttribute(attributes, name, text.substr(valueStart, valueEnd - valueStart));
            at = valueEnd + 1;
            if constexpr (Records) noteAttributePlace(name, text.substr(valueStart, valueEnd - valueStart));
        }
    }

    // If the start tag ends at `at` (">" or "/>"), closes what it closes and returns the position after it;
    // else 0.
    std::size_t endOfStartTag(std::string_view scanned, std::size_t at) {
        if constexpr (Records) elementPlace->startTagEnd = at;
        if (text[at] == '>') {
            if (!Foreign && openTags.holds(scanned)) moveUp();  // XML has no open tags
            return at + 1;
        }
        if (startsWith(text.substr(at), grammar::emptyTagClose)) {
            moveUp();
            return at + grammar::emptyTagClose.size();
        }
        return 0;
    }

    // Stores an attribute; false when the element had one of that name, whose value it replaced.
    bool storeAttribute(ElementAccess::Attributes& attributes, std::string_view name, std::string_view written) {
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
        if (!decodesAttributes || !decoder->mayChange(written)) return written;
        decoded.clear();
        decoder->appendConverted(written, decoded);
        return decoded;
    }

    // ---- Files from other programs: the constructs that only foreignXml reads.

    // UTF-16 with its byte order mark comes converted to UTF-8 (up to where it is `malformed`); without the
    // mark it is refused, since its bytes are no XML of this reader's. UTF-8's byte order mark is skipped.
    void startForeignText(const char* malformed) {
        using TextForm = rkXMLFStream::TextForm;
        const TextForm form = StreamAccess::textForm(stream);
        if (form != TextForm::Bytes) {
            diagnostics.noteSaveLoss(0, form == TextForm::Utf16LittleEndian
                                            ? "UTF-16 text (little-endian, with a byte order mark) is saved as UTF-8."
                                            : "UTF-16 text (big-endian, with a byte order mark) is saved as UTF-8.");
            if (malformed != nullptr) fail(text.size(), malformed);
            return;
        }
        if (foreign::isUtf16(text)) fail(0, "Text in UTF-16 is not read; convert it to UTF-8.");
        if (startsWith(text, foreign::byteOrderMark)) {
            diagnostics.noteSaveLoss(0, "Byte order mark is not kept on saving.");
            position = foreign::byteOrderMark.size();
        }
    }

    // The XML declaration (`inner` begins with "xml": other processing instructions are skipped as part of a
    // text run), its values in either quotes. Character references then decode to the character set it
    // declares, so that no bytes of another set go into the tree.
    void readForeignDeclaration(rkXMLHeader& header, std::string_view inner) {
        const foreign::Declaration declared = foreign::readDeclaration(inner.substr(3));
        header.setVersion(declared.version);
        header.setEncodingType(declared.encoding);
        if (declared.holdsMore || header.getVersion() != declared.version ||
            header.getEncodingType() != declared.encoding) {
            diagnostics.noteSaveLoss(inner.data() - text.data(),
                                     "XML declaration is saved with its version and encoding only.");
        }
        // Text converted from UTF-16 is UTF-8, whatever its declaration says.
        const SymbolCodec::References references = foreign::referencesFor(declared.encoding);
        if (references != SymbolCodec::References::Utf8 &&
            StreamAccess::textForm(stream) == rkXMLFStream::TextForm::Bytes) {
            declaredDecoder.emplace(StreamAccess::decoder(stream, references));
            decoder = &*declaredDecoder;
        }
    }

    // An attribute by XML's grammar (quotes of either kind, white space around "="); returns the position
    // after it. Malformed attributes fail with the messages of the usual ones.
    std::size_t readForeignAttribute(const rkXMLElement& element, ElementAccess::Attributes& attributes,
                                     std::size_t at) {
        const foreign::Attribute attribute = foreign::readAttribute(text, at);
        if (attribute.error != nullptr) fail(attribute.errorAt, attribute.error);
        if (!storeAttribute(attributes, attribute.name, normalised(attribute.value, true))) {
            diagnostics.noteSaveLoss(at, "Attribute '" + rkxml_detail::shown(attribute.name) + "' of element '" +
                                             rkxml_detail::shown(NodeAccess::name(element)) +
                                             "' is given twice; only the last value is kept.");
        }
        noteUnsavedReferences(attribute.value, static_cast<std::size_t>(attribute.value.data() - text.data()));
        if constexpr (Records) noteAttributePlace(attribute.name, attribute.value);
        return attribute.end;
    }

    void skipDoctype(std::size_t p) {
        const std::size_t end = foreign::doctypeEnd(text, p + foreign::doctypeMark.size());
        if (end == notFound) fail(p, "Tag <!DOCTYPE unclosed.");
        diagnostics.noteSaveLoss(p, "DOCTYPE declaration is not kept on saving.");
        position = end;
    }

    // The writer puts an element's value before its children: text that followed a child would move.
    void noteTextAfterChild(std::size_t from) {
        if (textFollows == nullptr || current == root || isBlank(ElementAccess::value(*current))) return;
        diagnostics.noteSaveLoss(firstTextAt(from), "Text of element '" +
                                                        rkxml_detail::shown(NodeAccess::name(*current)) + "' after " +
                                                        textFollows + " is saved before its children.");
    }

    // Notes the references of `segment`, which starts at `from` in the text, that a save would not write
    // back as they stand.
    void noteUnsavedReferences(std::string_view segment, std::size_t from) {
        using Unsaved = SymbolCodec::Unsaved;
        decoder->forEachUnsaved(segment, [&](std::size_t at, std::size_t length, Unsaved kind) {
            if (kind == Unsaved::WhiteSpace) {
                diagnostics.noteSaveLoss(from + at, "Reference '" + std::string(segment.substr(at, length)) +
                                                        "' to white space is saved as the character itself.");
                return;
            }
            // An "&" that starts no reference (AT&T) means itself to a lenient reader, and "&amp;" to all.
            const std::string kept = rkxml_detail::shown(referenceLike(segment.substr(at)));
            if (kept.empty()) return;
            diagnostics.noteSaveLoss(from + at,
                                     "'" + kept + "' is kept as written and saved as '&amp;" + kept.substr(1) + "'.");
        });
    }

    // The start of `rest` up to the ";" that ends a reference-like name after its "&", or nothing.
    static std::string_view referenceLike(std::string_view rest) {
        constexpr std::size_t longest = 40;
        for (std::size_t i = 1; i < rest.size() && i < longest; ++i) {
            if (rest[i] == ';') return i > 1 ? rest.substr(0, i + 1) : std::string_view();
            if (isSkipByte(rest[i]) || rest[i] == '&' || rest[i] == '<' || rest[i] == '"' || rest[i] == '\'') break;
        }
        return {};
    }

    // Whether the "<" at `tagStart` opens a CDATA section or a processing instruction, which belong to the
    // text run around them.
    bool continuesTextRun(std::size_t tagStart) const {
        const std::string_view rest = text.substr(tagStart + 1);
        if (startsWith(rest, foreign::cdataMark)) return true;
        return !rest.empty() && rest.front() == '?' && !foreign::isXmlDeclaration(rest.substr(1));
    }

    // The character data and CDATA sections up to the next other tag as one text, stored as takeText stores
    // a segment (CDATA as it stands, the rest decoded); processing instructions in it are skipped. Returns
    // that tag's position, or npos where the text ends first: the run is then trailing text.
    std::size_t takeTextRun(std::size_t tagStart) {
        const std::size_t runStart = position;
        textRun.clear();
        do {
            takeRunPiece(tagStart);
            position = skipRunMarkup(tagStart + 1);
            tagStart = text.find('<', position);
        } while (tagStart != notFound && continuesTextRun(tagStart));
        const std::size_t end = tagStart == notFound ? text.size() : tagStart;
        takeRunPiece(end);
        position = end;
        if (tagStart == notFound) {
            noteIgnoredText(runStart, textRun);
        } else if (current == nullptr) {
            if (!textRun.empty()) diagnostics.warnNoCurrentElement(tagStart);
        } else {
            std::string& value = ElementAccess::value(*current);
            const bool heldText = holdsTextOfThisRead(value);
            const std::string_view result = trimmed(textRun);
            if (!result.empty()) {
                value.assign(result);
                if (heldText || current == root) noteDroppedText(heldText, runStart);
                if constexpr (Records) noteTextPlace(text.substr(runStart, end - runStart));
                noteTextAfterChild(runStart);
            }
        }
        return tagStart;
    }

    // The character data from the position up to `end`, decoded onto the run.
    void takeRunPiece(std::size_t end) {
        const std::string_view piece = text.substr(position, end - position);
        decoder->appendConverted(normalised(piece, false), textRun);
        noteUnsavedReferences(piece, position);
    }

    // Skips the CDATA section or processing instruction whose "<" stands before `p`, a section's content
    // appended to the run; returns the position after it.
    std::size_t skipRunMarkup(std::size_t p) {
        if (text[p] == '?') {
            const std::size_t end = findMark(text, grammar::declarationClose, p + 1);
            if (end == notFound) fail(p, "Tag <? unclosed.");
            diagnostics.noteSaveLoss(p, "Processing instruction is not kept on saving.");
            return end + grammar::declarationClose.size();
        }
        const std::size_t start = p + foreign::cdataMark.size();
        const std::size_t end = findMark(text, foreign::cdataClose, start);
        if (end == notFound) fail(p, "Tag <![CDATA[ unclosed.");
        diagnostics.noteSaveLoss(p, "CDATA section is saved as text.");
        textRun.append(normalised(text.substr(start, end - start), false));
        return end + foreign::cdataClose.size();
    }

    // `raw` with XML's line ends, and in an attribute value its tabs, as blanks where they stand (see
    // foreign::appendNormalised); mostly `raw` itself, as few texts hold any of them.
    std::string_view normalised(std::string_view raw, bool attributeValue) {
        if (!foreign::needsNormalising(raw, attributeValue)) return raw;
        normalisedText.clear();
        foreign::appendNormalised(raw, attributeValue, normalisedText);
        return normalisedText;
    }

    // ---- Positions, for a stream that records them.

    // The raw text that gave the current element its value, without the bytes that trimming removes.
    void noteTextPlace(std::string_view raw) {
        if (current == root) return;
        rkXMLFStream::SourcePosition& place = places.of(*current);
        place.hasText = true;
        const std::string_view kept = trimmed(raw);
        place.text = {places.offsetOf(kept), kept.size()};
    }

    // `name` and `value`, views into the text, as the element's last attribute; a new one goes after it.
    void noteAttributePlace(std::string_view name, std::string_view value) {
        const std::size_t valueAt = places.offsetOf(value);
        elementPlace->attributes.push_back({std::string(name), places.offsetOf(name), {valueAt, value.size()}});
        elementPlace->attributesEnd = valueAt + value.size() + 1;  // past the closing quote
    }

    // ---- The tree and the scan.

    void append(rkXMLElement& holder, std::unique_ptr<rkXMLNode> node) {
        NodeAccess::setParent(*node, &holder);
        holder.push_back(node.get());
        node.release();
    }

    void moveUp() {
        current = elementAbove(current);
        // The element just closed is a child of the current one.
        if constexpr (Foreign) textFollows = "a child element";
    }

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

    [[noreturn]] void fail(std::size_t at, const char* message) { diagnostics.fail(at, message); }

    rkXMLFStream& stream;
    rkXMLDocument& document;
    const std::string_view text;
    const SymbolCodec* decoder;
    std::optional<SymbolCodec> declaredDecoder;  // for the character set a file from another program declares
    const bool decodesAttributes;
    OpenTagLookup& openTags;
    rkxml_detail::ReadDiagnostics diagnostics;
    rkxml_detail::PositionRecorder places;
    rkXMLFStream::SourcePosition* elementPlace = nullptr;  // Records: the start tag being read
    rkXMLElement* root = nullptr;
    rkXMLElement* current = nullptr;
    std::size_t position = 0;
    bool declarationTaken = false;
    // Files from other programs: the kind of child of the current element that its text follows, if any.
    const char* textFollows = nullptr;
    std::string decoded;         // a decoded text before it is trimmed or stored
    std::string textRun;         // a text run of a file from another program
    std::string normalisedText;  // a text or attribute value of such a file with XML's line ends
};

// Reads `text`, recording where each node stood if the stream asks for it; `malformed` as Parser::run takes it.
template <bool Foreign>
void scan(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder,
          OpenTagLookup& openTags, const char* malformed = nullptr) {
    if (StreamAccess::recordedPositions(stream) != nullptr) {
        Parser<Foreign, true>(stream, document, text, decoder, openTags).run(malformed);
    } else {
        Parser<Foreign, false>(stream, document, text, decoder, openTags).run(malformed);
    }
}

// Reads a text in the mode for files from other programs: UTF-16 that starts with its byte order mark as its
// UTF-8 text, so that the scan, its positions and its lines are those of UTF-8.
void readForeign(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder,
                 OpenTagLookup& openTags) {
    const rkXMLFStream::TextForm form = foreign::utf16Form(text);
    StreamAccess::textForm(stream) = form;
    if (form == rkXMLFStream::TextForm::Bytes) {
        scan<true>(stream, document, text, decoder, openTags);
        return;
    }
    const foreign::Utf8FromUtf16 converted = foreign::utf8FromUtf16(text.substr(2), form);
    scan<true>(stream, document, converted.utf8, decoder, openTags, converted.error);
}

}  // namespace

void rkxml_detail::readText(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text) {
    const SymbolCodec decoder = StreamAccess::decoder(stream);
    OpenTagLookup openTagLookup(StreamAccess::openTags(stream));
    rkxml_detail::ReadUndo undo(document);
    StreamAccess::textForm(stream) = rkXMLFStream::TextForm::Bytes;
    try {
        if (StreamAccess::isForeign(stream)) {
            readForeign(stream, document, text, decoder, openTagLookup);
        } else {
            scan<false>(stream, document, text, decoder, openTagLookup);
        }
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
