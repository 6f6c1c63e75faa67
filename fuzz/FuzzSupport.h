// Helpers shared by the fuzz targets: a scratch directory, checks of a
// document's state and a comparison of two trees.
#ifndef RKXML_FUZZ_FUZZ_SUPPORT_H
#define RKXML_FUZZ_FUZZ_SUPPORT_H

#include <functional>
#include <string>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"

namespace fuzz {

// A private directory for the targets' files, on a memory file system when
// there is one; created once (by LLVMFuzzerInitialize, for every target),
// removed with its files when the process exits. The variable Tmp points into
// it, so logs of unnamed documents land there too.
const std::string& scratchDirectory();

// A stream switched to UTF-8 mode (utf8Symbols), made once.
rkXMLFStream& utf8Stream();

// A stream in the mode for files from other programs (foreignXml), made once.
rkXMLFStream& foreignStream();

// Reports a broken property with the input's details and aborts, so that the
// fuzzer keeps the input as a crash.
[[noreturn]] void fail(const std::string& property, const std::string& detail);

// Empty if `document` holds exactly a fresh hidden root, else what is wrong.
std::string whyNotFresh(const rkXMLDocument& document);

// Decides for an element value of the first tree whether it must come back unchanged (true) or may come
// back empty (false).
using ValueKept = std::function<bool(const std::string& value)>;

// Empty if the trees below the two hidden roots are equal (as rkXMLDifference compares them, element values
// as `valueKept` says) and every parent link of the second tree names its holder, else the first fault found.
std::string treeDifference(const rkXMLDocument& expected, const rkXMLDocument& actual, const ValueKept& valueKept);

// The writer's test whether a value is written at all: with the first line feed, carriage return
// and tab made blanks and runs of blanks collapsed, a value that is empty or one blank is left out.
bool isWritten(const std::string& value);

// A byte string as a quoted printable text, control and high bytes as \xNN, cut after 200 bytes.
std::string printable(const std::string& text);

// The file's bytes; empty if it cannot be read.
std::string fileContent(const std::string& path);

}  // namespace fuzz

#endif
