// How large a document's written text will be, known before it is written.
#ifndef RKXML_CLI_WRITTEN_SIZE_H
#define RKXML_CLI_WRITTEN_SIZE_H

#include <cstdint>

#include <rkXMLDocument.h>

#include "Reading.h"

namespace rkxml_cli {

// At least the number of bytes that the writer gives for `document` in `mode`: every node's line
// with its indentation (one blank per level, so a deep tree's text grows with the square of its
// depth), names as they stand, values and attributes with each character that the mode writes as
// an entity counted as that entity ("&quot;": 6). One walk, no recursion.
std::uint64_t writtenSizeAtLeast(const rkXMLDocument& document, Mode mode);

}  // namespace rkxml_cli

#endif
