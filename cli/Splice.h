// How `set` changes a file that holds the path's top-level element, the third step
// of its run: one run of the file's bytes replaced (the value as written) or bytes
// put in (a missing attribute or element), planned from where the reader found each
// node. Every other byte stays.
#ifndef RKXML_CLI_SPLICE_H
#define RKXML_CLI_SPLICE_H

#include <string>

#include "Editing.h"
#include "Reading.h"

namespace rkxml_cli {

// The file's bytes with `edit` (in the file's character set) made where its path points, into `text`, and the
// same change made to the file's tree, which the top-level element of the path's name must hold. False, after
// saying why, where the bytes cannot take the value as the reader would give it back (a value joined from
// several pieces, an element without an end tag, a quote that the mode cannot write).
bool splice(Original& original, const Edit& edit, std::string& text);

}  // namespace rkxml_cli

#endif
