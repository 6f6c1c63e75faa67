// The reader's scan, as far as its two grammars agree: one forward pass that searches
// the next "<", hands the text before it to the tree builder, reads one construct
// (comment, declaration, end tag or start tag with its attributes) and repeats.
//
// The scan searches the input in place and copies only what becomes a name, a value
// or an attribute. Line numbers are counted only when a diagnostic is written.
//
// Each grammar is a class derived from MarkupScan, one per mode of the stream,
// that gives the steps in which it differs; they are called directly, never through a
// virtual call, so that the default read keeps its hot steps inline.
#ifndef RKXML_STREAM_MARKUP_SCAN_H
#define RKXML_STREAM_MARKUP_SCAN_H

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

#include "rkXMLDocument.h"
#include "rkXMLElement.h"
#include "rkXMLFStream.h"
#include "rkXMLHeader.h"
#include "stream/Bytes.h"
#include "stream/Grammar.h"
#include "stream/ReadDiagnostics.h"
#include "stream/StreamAccess.h"
#include "stream/SymbolCodec.h"
#include "stream/TreeBuilder.h"

namespace rkxml_detail {

constexpr std::size_t notFound = std::string_view::npos;

// `Derived` is the scan of one grammar. It gives, as members that this class calls:
//   void begin();                             before the first "<" is searched
//   std::size_t takeTextBefore(std::size_t);  takes the text up to the "<" at the position; returns the
//                                             position of the "<" that the loop reads next, npos at the end
//   bool readOtherMarkup(std::size_t);        reads a construct of its own after the "<" before the position
//   void readHeader(rkXMLHeader&, std::string_view);  fills the header from a declaration's inner text
//   void skipLaterDeclaration(std::size_t);   a declaration after the first, at the position of its "?"
//   bool closesAtTagEnd(std::string_view);    whether a start tag so scanned closes its element at its ">"
//   std::size_t readAttribute(rkXMLElement&, std::size_t);  reads one attribute; returns the position after it
template <class Derived, bool Records>
class MarkupScan {
public:
    // Reads the whole text into the document.
    void run() {
        derived().begin();
        while (position < text.size()) {
            std::size_t tagStart = text.find('<', position);
            if (tagStart == notFound) break;  // the rest is trailing text
            tagStart = derived().takeTextBefore(tagStart);
            if (tagStart == notFound) break;
            const std::size_t p = tagStart + 1;
            // "buf EOF" kept as written on purpose: callers and stored logs match the text.
            if (p >= text.size()) fail(p, "Tag started buf EOF found.");
            if (startsWith(text.substr(p), grammar::commentMark)) {
                readComment(p + grammar::commentMark.size());
            } else if (text[p] == '?') {
                readDeclaration(p);
            } else if (text[p] == '/') {
                readEndTag(p);
            } else if (!derived().readOtherMarkup(p)) {
                readStartTag(p);
            }
        }
        builder.finish(position);
    }

protected:
    MarkupScan(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder)
        : text(text),
          diagnostics(StreamAccess::diagnostics(stream), StreamAccess::saveLosses(stream), text, document,
                      StreamAccess::logsEnabled(stream)),
          builder(document, text, decoder, StreamAccess::isUtf8(stream), StreamAccess::recordedPositions(stream),
                  diagnostics) {}

    [[noreturn]] void fail(std::size_t at, const char* message) { diagnostics.fail(at, message); }

    const std::string_view text;
    ReadDiagnostics diagnostics;
    TreeBuilder<Records> builder;
    std::size_t position = 0;  // where the next search for "<" starts

private:
    Derived& derived() { return static_cast<Derived&>(*this); }

    void readComment(std::size_t start) {
        const std::size_t end = findMark(text, grammar::commentClose, start);
        if (end == notFound) fail(start, "Comment tag unclosed.");
        builder.appendComment(text.substr(start, end - start), start - grammar::commentOpen.size());
        position = end + grammar::commentClose.size();
    }

    void readDeclaration(std::size_t p) {
        const std::size_t end = findMark(text, grammar::declarationClose, p + 1);
        if (end == notFound) fail(p, "Tag <? unclosed.");
        if (builder.takesHeader()) {
            // Later declarations of the same text are skipped; the first one goes to the top level.
            auto header = std::make_unique<rkXMLHeader>();
            derived().readHeader(*header, text.substr(p + 1, end - p - 1));
            builder.appendHeader(std::move(header), p - 1);
        } else {
            derived().skipLaterDeclaration(p);
        }
        position = end + grammar::declarationClose.size();
    }

    void readEndTag(std::size_t p) {
        const std::size_t end = text.find('>', p);
        if (end == notFound) fail(p, "Tag unclosed.");
        builder.closeByEndTag(grammar::trimmed(text.substr(p + 1, end - p - 1)), p + 1, end + 1);
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
        const bool closedAtOnce = scanned.back() == '/';  // <name/...
        rkXMLElement& element =
            builder.openElement(closedAtOnce ? scanned.substr(0, scanned.size() - 1) : scanned, p - 1);
        if (closedAtOnce) builder.closeCurrent();
        position = readAttributes(element, scanned, nameEnd);
        builder.startTagRead(element, position);
    }

    // Reads attributes up to the end of the start tag; returns the position after it.
    std::size_t readAttributes(rkXMLElement& element, std::string_view scanned, std::size_t at) {
        for (;;) {
            if (!skipWhiteSpace(at)) fail(text.size(), "Unspected EOF.");
            builder.startTagReadTo(at);
            if (text[at] == '>') {
                if (derived().closesAtTagEnd(scanned)) builder.closeCurrent();
                return at + 1;
            }
            if (startsWith(text.substr(at), grammar::emptyTagClose)) {
                builder.closeCurrent();
                return at + grammar::emptyTagClose.size();
            }
            at = derived().readAttribute(element, at);
        }
    }

    // Skips white space from `at`; false where the text ends first.
    bool skipWhiteSpace(std::size_t& at) const {
        at = grammar::skipWhiteSpace(text, at);
        return at < text.size();
    }

    std::size_t findNameEnd(std::size_t from) const {
        for (std::size_t i = from; i < text.size(); ++i) {
            if (grammar::isNameDelimiter(text[i])) return i;
        }
        return notFound;
    }
};

// Reads `text` with the scan `Scan` (made with the arguments `stream`, `document`, `text`, `decoder` and
// `more`), recording where each node stood if the stream asks for it.
template <template <bool> class Scan, class... More>
void scanText(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder,
              More&&... more) {
    if (StreamAccess::recordedPositions(stream) != nullptr) {
        Scan<true>(stream, document, text, decoder, more...).run();
    } else {
        Scan<false>(stream, document, text, decoder, more...).run();
    }
}

}  // namespace rkxml_detail

#endif
