// How `set` changes a file that holds the path's element: one run of the file's
// bytes replaced (the value as written) or bytes put in (a missing attribute or
// element), planned from where the reader found each node. Every other byte stays.
#ifndef RKXML_CLI_SPLICE_H
#define RKXML_CLI_SPLICE_H

#include <cstddef>
#include <string>

#include <rkXMLDocument.h>
#include <rkXMLFStream.h>

#include "Path.h"
#include "Reading.h"

namespace rkxml_cli {

// `length` bytes at `offset` replaced by `bytes` (length 0: bytes put in).
struct ByteEdit {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::string bytes;
};

// Why a file is not spliced, at its line (from 0).
struct SpliceRefusal {
    std::size_t line = 0;
    std::string reason;
};

// What a splice works on: the file's bytes, the tree read from them by `stream`, which recorded positions,
// and the command's mode.
struct SpliceSource {
    const std::string& bytes;
    const rkXMLFStream& stream;
    rkXMLDocument& document;
    Mode mode;
};

// Plans the edit that sets `value` where `path` points (both in the file's character set) and makes the same
// change to the tree, which the top-level element of the path's name must hold. False, with the reason, where
// the bytes cannot take the value as the reader would give it back (a value joined from several pieces, an
// element without an end tag, a quote that the mode cannot write).
bool planSplice(const SpliceSource& source, const Path& path, const std::string& value, ByteEdit& edit,
                SpliceRefusal& refusal);

// `bytes` with `edit` made.
std::string applied(const std::string& bytes, const ByteEdit& edit);

}  // namespace rkxml_cli

#endif
