// The scan of the mode for files from other programs (foreignXml): XML's grammar as far
// as this library's tree holds it. Besides the default scan's constructs it reads UTF-16
// with its byte order mark, a DOCTYPE, CDATA sections and processing instructions inside
// text, attributes in either quotes, the declaration's values, character references in
// the 8-bit set that the declaration names, and XML's line ends; it knows no open tags.
// What a save would not write back as it was read is noted as a save loss.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "rkXMLDocument.h"
#include "rkXMLElement.h"
#include "rkXMLFStream.h"
#include "rkXMLHeader.h"
#include "stream/ForeignXml.h"
#include "stream/Grammar.h"
#include "stream/MarkupScan.h"
#include "stream/Reader.h"
#include "stream/ShownName.h"
#include "stream/StreamAccess.h"
#include "stream/SymbolCodec.h"
#include "tree/NodeAccess.h"

namespace rkxml_detail {
namespace {

template <bool Records>
class ForeignScan : public MarkupScan<ForeignScan<Records>, Records> {
    using Scan = MarkupScan<ForeignScan<Records>, Records>;
    friend Scan;

public:
    // `malformed`, for a text converted from UTF-16, says why its conversion stopped at the end.
    ForeignScan(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder,
                const char* malformed)
        : Scan(stream, document, text, decoder), stream(stream), malformed(malformed) {}

private:
    using Scan::builder;
    using Scan::diagnostics;
    using Scan::fail;
    using Scan::position;
    using Scan::text;

    // UTF-16 with its byte order mark comes converted to UTF-8 (up to where it is `malformed`); without the
    // mark it is refused, since its bytes are no XML of this reader's. UTF-8's byte order mark is skipped.
    void begin() {
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
        if (startsWith(text, grammar::byteOrderMark)) {
            diagnostics.noteSaveLoss(0, "Byte order mark is not kept on saving.");
            position = grammar::byteOrderMark.size();
        }
    }

    // The text before the tag at `tagStart`, with the CDATA sections and processing instructions that
    // continue it; returns the position of the tag after them, npos where the text ends first.
    std::size_t takeTextBefore(std::size_t tagStart) {
        if (continuesTextRun(tagStart)) return takeTextRun(tagStart);
        const std::string_view segment = text.substr(position, tagStart - position);
        if (segment.empty()) return tagStart;
        if (builder.takeText(segment, normalised(segment, false), tagStart)) noteTextAfterChild(position);
        if (builder.currentElement() != nullptr) noteUnsavedReferences(segment, position);
        return tagStart;
    }

    bool readOtherMarkup(std::size_t p) {
        if (!startsWith(text.substr(p), foreign::doctypeMark)) return false;
        const std::size_t end = foreign::doctypeEnd(text, p + foreign::doctypeMark.size());
        if (end == notFound) fail(p, "Tag <!DOCTYPE unclosed.");
        diagnostics.noteSaveLoss(p, "DOCTYPE declaration is not kept on saving.");
        position = end;
        return true;
    }

    // The XML declaration (`inner` begins with "xml": other processing instructions are skipped as part of a
    // text run), its values in either quotes. Character references then decode to the character set it
    // declares, so that no bytes of another set go into the tree.
    void readHeader(rkXMLHeader& header, std::string_view inner) {
        const foreign::Declaration declared = foreign::readDeclaration(inner.substr(3));
        header.setVersion(declared.version);
        header.setEncodingType(declared.encoding);
        if (declared.holdsMore || header.getVersion() != declared.version ||
            header.getEncodingType() != declared.encoding) {
            diagnostics.noteSaveLoss(static_cast<std::size_t>(inner.data() - text.data()),
                                     "XML declaration is saved with its version and encoding only.");
        }
        // Text converted from UTF-16 is UTF-8, whatever its declaration says.
        const SymbolCodec::References references = foreign::referencesFor(declared.encoding);
        if (references != SymbolCodec::References::Utf8 &&
            StreamAccess::textForm(stream) == rkXMLFStream::TextForm::Bytes) {
            declaredDecoder.emplace(StreamAccess::decoder(stream, references));
            builder.decodeWith(*declaredDecoder);
        }
    }

    void skipLaterDeclaration(std::size_t p) {
        diagnostics.noteSaveLoss(p, "Second XML declaration is not kept on saving.");
    }

    bool closesAtTagEnd(std::string_view) { return false; }  // XML has no open tags

    // An attribute by XML's grammar (quotes of either kind, white space around "="); returns the position
    // after it. Malformed attributes fail with the messages of the default grammar's.
    std::size_t readAttribute(rkXMLElement& element, std::size_t at) {
        const foreign::Attribute attribute = foreign::readAttribute(text, at);
        if (attribute.error != nullptr) fail(attribute.errorAt, attribute.error);
        if (!builder.addAttribute(element, attribute.name, attribute.value, normalised(attribute.value, true))) {
            diagnostics.noteSaveLoss(at, "Attribute '" + shown(attribute.name) + "' of element '" +
                                             shown(NodeAccess::name(element)) +
                                             "' is given twice; only the last value is kept.");
        }
        noteUnsavedReferences(attribute.value, static_cast<std::size_t>(attribute.value.data() - text.data()));
        return attribute.end;
    }

    // The writer puts an element's value before its children: text that followed a child would move.
    void noteTextAfterChild(std::size_t from) {
        const rkXMLElement& element = *builder.currentElement();
        if (builder.atTopLevel() || element.empty() || grammar::isBlank(ElementAccess::value(element))) return;
        const char* child = NodeAccess::type(*element.back()) == rkXMLNode::Comment ? "a comment" : "a child element";
        diagnostics.noteSaveLoss(grammar::firstTextAt(text, from), "Text of element '" +
                                                                       shown(NodeAccess::name(element)) + "' after " +
                                                                       child + " is saved before its children.");
    }

    // Notes the references of `segment`, which starts at `from` in the text, that a save would not write
    // back as they stand.
    void noteUnsavedReferences(std::string_view segment, std::size_t from) {
        using Unsaved = SymbolCodec::Unsaved;
        builder.decoder().forEachUnsaved(segment, [&](std::size_t at, std::size_t length, Unsaved kind) {
            if (kind == Unsaved::WhiteSpace) {
                diagnostics.noteSaveLoss(from + at, "Reference '" + std::string(segment.substr(at, length)) +
                                                        "' to white space is saved as the character itself.");
                return;
            }
            // An "&" that starts no reference (AT&T) means itself to a lenient reader, and "&amp;" to all.
            const std::string kept = shown(referenceLike(segment.substr(at)));
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
            if (grammar::isSkipByte(rest[i]) || rest[i] == '&' || rest[i] == '<' || rest[i] == '"' || rest[i] == '\'')
                break;
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

    // The character data and CDATA sections up to the next other tag as one text, stored as a segment is
    // stored (CDATA as it stands, the rest decoded); processing instructions in it are skipped. Returns that
    // tag's position, or npos where the text ends first: the run is then trailing text.
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
            builder.noteIgnoredText(runStart, textRun);
        } else if (builder.takeDecodedText(text.substr(runStart, end - runStart), textRun, tagStart)) {
            noteTextAfterChild(runStart);
        }
        return tagStart;
    }

    // The character data from the position up to `end`, decoded onto the run.
    void takeRunPiece(std::size_t end) {
        const std::string_view piece = text.substr(position, end - position);
        builder.decoder().appendConverted(normalised(piece, false), textRun);
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

    rkXMLFStream& stream;
    const char* const malformed;
    std::optional<SymbolCodec> declaredDecoder;  // for the character set that the declaration names
    std::string textRun;                         // the text of a run, decoded
    std::string normalisedText;                  // a text or attribute value with XML's line ends
};

}  // namespace

void readForeign(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder) {
    const rkXMLFStream::TextForm form = foreign::utf16Form(text);
    StreamAccess::textForm(stream) = form;
    if (form == rkXMLFStream::TextForm::Bytes) {
        scanText<ForeignScan>(stream, document, text, decoder, nullptr);
        return;
    }
    // UTF-16 is read as its UTF-8 text, so that the scan, its positions and its lines are those of UTF-8.
    const foreign::Utf8FromUtf16 converted = foreign::utf8FromUtf16(text.substr(2), form);
    scanText<ForeignScan>(stream, document, converted.utf8, decoder, converted.error);
}

}  // namespace rkxml_detail
