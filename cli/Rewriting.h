// Writing a file back, for `format` and `set`: only where rkxml can prove, on the
// file itself, that nothing changes but layout and the one value `set` writes.
//
// `set` on a file that holds a top-level element splices: it changes only the bytes
// of the value (or puts in the missing attribute or element), so that everything
// else stays as written, DOCTYPE, CDATA and all; the spliced text, read again in
// the command's mode, must give the file's tree with that one change. What follows
// is the proof of `format`, which lays the whole file out anew.
//
// The proof: the file is read in the command's mode, and (for the 8-bit mode) also
// as other XML programs read it; nothing may have been dropped or passed over
// (the reader's warnings, and what the mode for files from other programs says a
// save would not keep: a DOCTYPE, processing instructions, CDATA sections, ...);
// the declared character set must be one rkxml converts and the bytes must be of
// it. Then the new text is rendered and read back, and must give the same tree as
// the file did, part for part. Any failure leaves the file as it is.
#ifndef RKXML_CLI_REWRITING_H
#define RKXML_CLI_REWRITING_H

#include <cstdint>
#include <string>

#include "Path.h"
#include "Reading.h"

namespace rkxml_cli {

// What `set` writes: the value of the element or attribute that `path` names, both as given on
// the command line (UTF-8 in UTF-8 mode, bytes in the 8-bit mode).
struct Edit {
    Path path;
    std::string value;
};

struct Rewrite {
    Mode mode = Mode::Utf8;
    std::uint64_t maxSize = 0;   // refused when the written text would be larger
    bool checkOnly = false;      // change nothing; only tell whether the file would change
    const Edit* edit = nullptr;  // for set, which also creates a missing file; null for format
};

enum class Rewritten { Unchanged, Written, WouldChange, Failed };

// Writes the file `fileName` back as `how` says, or says on stderr why not (Failed). A file whose
// bytes already are what would be written is not touched (Unchanged).
Rewritten rewriteFile(const std::string& fileName, const Rewrite& how);

}  // namespace rkxml_cli

#endif
