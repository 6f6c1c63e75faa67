// The scan of the default and UTF-8 modes: the grammar that this library's writer
// writes, with its open tags (elements such as "br" that no end tag closes) and
// attributes in double quotes with "=\"" between name and value.
#include <cstddef>
#include <string>
#include <string_view>

#include "rkXMLDocument.h"
#include "rkXMLElement.h"
#include "rkXMLFStream.h"
#include "rkXMLHeader.h"
#include "stream/Grammar.h"
#include "stream/MarkupScan.h"
#include "stream/OpenTagLookup.h"
#include "stream/Reader.h"
#include "stream/SymbolCodec.h"

namespace rkxml_detail {
namespace {

template <bool Records>
class DefaultScan : public MarkupScan<DefaultScan<Records>, Records> {
    using Scan = MarkupScan<DefaultScan<Records>, Records>;
    friend Scan;

public:
    DefaultScan(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder,
                OpenTagLookup& openTags)
        : Scan(stream, document, text, decoder), openTags(openTags) {}

private:
    using Scan::builder;
    using Scan::fail;
    using Scan::position;
    using Scan::text;

    void begin() {}

    std::size_t takeTextBefore(std::size_t tagStart) {
        const std::string_view segment = text.substr(position, tagStart - position);
        builder.takeText(segment, segment, tagStart);
        return tagStart;
    }

    bool readOtherMarkup(std::size_t) { return false; }

    void readHeader(rkXMLHeader& header, std::string_view inner) { header.decode(std::string(inner)); }

    void skipLaterDeclaration(std::size_t) {}

    bool closesAtTagEnd(std::string_view scanned) { return openTags.holds(scanned); }

    // An attribute: its name up to "=\"", then the value up to the next double quote.
    std::size_t readAttribute(rkXMLElement& element, std::size_t at) {
        const std::size_t equals = findMark(text, grammar::valueOpen, at);
        if (equals == notFound) fail(at, "Unspected value form.");
        const std::string_view name = grammar::trimmed(text.substr(at, equals - at));
        const std::size_t valueStart = equals + grammar::valueOpen.size();
        if (valueStart >= text.size()) fail(valueStart, "Unspected EOF.");
        const std::size_t valueEnd = text.find('"', valueStart);
        if (valueEnd == notFound) fail(valueStart, "Unspected value form.");
        const std::string_view value = text.substr(valueStart, valueEnd - valueStart);
        builder.addAttribute(element, name, value, value);
        return valueEnd + 1;
    }

    OpenTagLookup& openTags;
};

}  // namespace

void readDefault(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder) {
    OpenTagLookup openTags(StreamAccess::openTags(stream));
    scanText<DefaultScan>(stream, document, text, decoder, openTags);
}

}  // namespace rkxml_detail
