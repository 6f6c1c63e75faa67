// The proof of `format` and `set`, the step before the save: the text to write,
// read again, must give the file's tree (with the one change `set` makes), part
// for part. What fails is said at the file's line, and the file is left as it is.
#ifndef RKXML_CLI_PROOF_H
#define RKXML_CLI_PROOF_H

#include <string>

#include "Editing.h"
#include "Reading.h"

namespace rkxml_cli {

// The proof of a splice: `text`, read again in the command's mode, holds the file's tree, which the splice
// changed. False after saying where it differs.
bool provesSplice(const Original& original, const std::string& text);

// The proof of a file laid out anew: `text` reads back cleanly as XML (and, in the 8-bit mode, in that mode)
// and gives the file's tree, which holds `edited` (null for format); in the 8-bit mode other XML programs must
// also read what they read from the file, but the edit. False after saying where it differs.
bool provesLossless(Original& original, const std::string& text, const Edit* edited);

}  // namespace rkxml_cli

#endif
