// The reader's entry for text in any memory, such as a file's bytes.
#ifndef RKXML_STREAM_READER_H
#define RKXML_STREAM_READER_H

#include <string_view>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"

namespace rkxml_detail {

// Reads `text` into `document` with the tables and mode of `stream`, as readDocumentFromString does;
// the read's diagnostics go to the stream.
void readText(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text);

}  // namespace rkxml_detail

#endif
