// Loading a document from the file that it names, and locking that file.
#include <new>
#include <stdexcept>
#include <string>

#include "platform/Platform.h"
#include "rkXMLFStream.h"
#include "stream/Reader.h"
#include "stream/ShownName.h"
#include "stream/StreamAccess.h"

namespace {

using rkxml_detail::StreamAccess;
using rkxml_detail::platform::ReadResult;

// Reads the file into the document. A file or a tree too large for the memory left is
// a failed read: the reader has taken back what it appended, and the file's bytes are
// given back before the caller composes its message.
// Notes which file was read, and its bytes, before parsing them.
ReadResult readInto(rkXMLFStream& stream, rkXMLDocument& document, const std::string& fileName) {
    try {
        rkxml_detail::platform::FileContent content;
        rkxml_detail::platform::FileVersion version;
        const ReadResult result =
            rkxml_detail::platform::readFile(fileName, content, StreamAccess::readLimit(stream), version);
        StreamAccess::noteRead(stream, fileName, version);
        // An empty file reads like an empty text: nothing is added and nothing logged.
        if (result == ReadResult::Read && !content.text().empty()) {
            rkxml_detail::readText(stream, document, content.text());
        }
        return result;
    } catch (const std::bad_alloc&) {
        return ReadResult::ReadFailed;
    }
}

}  // namespace

void rkXMLFStream::readDocument(rkXMLDocument& document) {
    using rkxml_detail::shown;
    const std::string& fileName = document.getFileName();
    diagnostics.clear();  // the file errors concern no line of a text: they leave the lists empty
    saveLosses.clear();
    lastRead.reset();
    textForm = TextForm::Bytes;
    if (fileName.empty()) throw std::runtime_error("Invalid/empty filename.");
    switch (readInto(*this, document, fileName)) {
        // No blank before "failed." on purpose: callers and stored logs match the text as it always was.
        case ReadResult::CannotOpen: throw std::runtime_error("Opening file: " + shown(fileName) + "failed.");
        case ReadResult::ReadFailed:
            diagnostics.clear();  // also what a read cut short by memory had found
            saveLosses.clear();
            textForm = TextForm::Bytes;
            throw std::runtime_error("Reading file: " + shown(fileName) + " failed.");
        case ReadResult::Read: break;
    }
}

void rkXMLFStream::setReadLimit(std::uint64_t bytes) { readLimit = bytes; }

std::uint64_t rkXMLFStream::getReadLimit() const { return readLimit; }

rkXMLFStream::FileLock::FileLock(const rkXMLDocument& document)
    : lock(std::make_unique<rkxml_detail::platform::FileLock>(document.getFileName())) {}

rkXMLFStream::FileLock::~FileLock() = default;

bool rkXMLFStream::FileLock::isHeld() const { return lock->isHeld(); }
