// Internal access to a stream's tables: the reader and the writer use them, tests
// check them and drive the symbol codec directly.
#ifndef RKXML_STREAM_STREAM_ACCESS_H
#define RKXML_STREAM_STREAM_ACCESS_H

#include <string>

#include "rkXMLFStream.h"
#include "stream/SymbolCodec.h"

namespace rkxml_detail {

struct StreamAccess {
    static const std::map<std::string, std::string>& symbols(const rkXMLFStream& stream) { return stream.symbols; }
    static const std::set<std::string, std::less<>>& openTags(const rkXMLFStream& stream) { return stream.openTags; }

    // `text` with the stream's character texts replaced by entity texts, as the writer does it.
    static std::string encoded(const rkXMLFStream& stream, std::string text) {
        SymbolCodec(stream.symbols, SymbolCodec::Direction::Encode).convert(text);
        return text;
    }
    // `text` with the stream's entity texts replaced by character texts, as the reader does it.
    static std::string decoded(const rkXMLFStream& stream, std::string text) {
        SymbolCodec(stream.symbols, SymbolCodec::Direction::Decode).convert(text);
        return text;
    }
};

}  // namespace rkxml_detail

#endif
