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
using FileFound = rkXMLFStream::FileFound;

FileFound foundBy(ReadResult result, const rkxml_detail::platform::FileVersion& version) {
    switch (result) {
        case ReadResult::Read: return version.regular ? FileFound::RegularFile : FileFound::OtherFile;
        case ReadResult::Missing: return FileFound::Missing;
        case ReadResult::Directory: return FileFound::Directory;
        case ReadResult::TooLarge: return FileFound::TooLarge;
        case ReadResult::CannotOpen:
        case ReadResult::ReadFailed: break;
    }
    return FileFound::Unreadable;
}

// Reads the file and hands its bytes to `take`. A file or a tree too large for the memory left is a failed
// read: the reader has taken back what it appended, and the file's bytes are given back before the caller
// composes its message. Notes which file was read, its bytes and what was found, before `take` runs.
template <class Take>
ReadResult readWith(rkXMLFStream& stream, const std::string& fileName, const Take& take) {
    // The file errors concern no line of a text: they leave the lists empty.
    StreamAccess::diagnostics(stream).clear();
    StreamAccess::saveLosses(stream).clear();
    StreamAccess::textForm(stream) = rkXMLFStream::TextForm::Bytes;
    StreamAccess::forgetRead(stream);
    StreamAccess::fileFound(stream) = FileFound::Missing;
    if (fileName.empty()) throw std::runtime_error("Invalid/empty filename.");
    ReadResult result = ReadResult::ReadFailed;
    try {
        rkxml_detail::platform::FileContent content;
        rkxml_detail::platform::FileVersion version;
        result = rkxml_detail::platform::readFile(fileName, content, StreamAccess::readLimit(stream), version);
        StreamAccess::noteRead(stream, fileName, version);
        StreamAccess::fileFound(stream) = foundBy(result, version);
        if (result == ReadResult::Read) take(content.text());
    } catch (const std::bad_alloc&) {
        StreamAccess::fileFound(stream) = FileFound::Unreadable;
        result = ReadResult::ReadFailed;
    }
    return result;
}

// Throws the error of a file that was not read.
void throwUnlessRead(rkXMLFStream& stream, const std::string& fileName, ReadResult result) {
    using rkxml_detail::shown;
    switch (result) {
        case ReadResult::Read: return;
        case ReadResult::Missing:
        case ReadResult::Directory:
        // No blank before "failed." on purpose: callers and stored logs match the text as it always was.
        case ReadResult::CannotOpen: throw std::runtime_error("Opening file: " + shown(fileName) + "failed.");
        case ReadResult::TooLarge:
        case ReadResult::ReadFailed: break;
    }
    StreamAccess::diagnostics(stream).clear();  // also what a read cut short by memory had found
    StreamAccess::saveLosses(stream).clear();
    StreamAccess::textForm(stream) = rkXMLFStream::TextForm::Bytes;
    throw std::runtime_error("Reading file: " + shown(fileName) + " failed.");
}

}  // namespace

void rkXMLFStream::readDocument(rkXMLDocument& document) {
    const std::string& fileName = document.getFileName();
    throwUnlessRead(*this, fileName, readWith(*this, fileName, [&](std::string_view text) {
        // An empty file reads like an empty text: nothing is added and nothing logged.
        if (!text.empty()) rkxml_detail::readText(*this, document, text);
    }));
}

void rkXMLFStream::readTextFromFile(const std::string& fileName, std::string& text) {
    throwUnlessRead(*this, fileName, readWith(*this, fileName, [&text](std::string_view bytes) { text = bytes; }));
}

rkXMLFStream::FileFound rkXMLFStream::getFileFound() const { return fileFound; }

void rkXMLFStream::setReadLimit(std::uint64_t bytes) { readLimit = bytes; }

std::uint64_t rkXMLFStream::getReadLimit() const { return readLimit; }

rkXMLFStream::FileLock::FileLock(const rkXMLDocument& document)
    : lock(std::make_unique<rkxml_detail::platform::FileLock>(document.getFileName())) {}

rkXMLFStream::FileLock::~FileLock() = default;

bool rkXMLFStream::FileLock::isHeld() const { return lock->isHeld(); }
