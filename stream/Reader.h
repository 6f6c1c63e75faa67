// The reader's entry for text in any memory, such as a file's bytes.
#ifndef RKXML_STREAM_READER_H
#define RKXML_STREAM_READER_H

#include <string_view>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "stream/SymbolCodec.h"

namespace rkxml_detail {

// Reads `text` into `document` with the tables and mode of `stream`, as readDocumentFromString does;
// the read's diagnostics go to the stream.
void readText(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text);

// The scans that readText chooses from, with `decoder` made from the stream's table: readDefault for the
// default and UTF-8 modes, readForeign for files from other programs.
void readDefault(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder);
void readForeign(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text, const SymbolCodec& decoder);

}  // namespace rkxml_detail

#endif
