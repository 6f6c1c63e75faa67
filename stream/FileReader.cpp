// Loading a document from the file that it names.
#include <stdexcept>
#include <string>

#include "platform/Platform.h"
#include "rkXMLFStream.h"
#include "stream/Reader.h"

void rkXMLFStream::readDocument(rkXMLDocument& document) {
    using rkxml_detail::platform::ReadResult;
    const std::string& fileName = document.getFileName();
    diagnostics.clear();  // the file errors concern no line of a text: they leave the list empty
    if (fileName.empty()) throw std::runtime_error("Invalid/empty filename.");
    rkxml_detail::platform::FileContent content;
    switch (rkxml_detail::platform::readFile(fileName, content)) {
        case ReadResult::CannotOpen:
            throw std::runtime_error("Opening file: " + fileName + "failed.");
        case ReadResult::ReadFailed:
            throw std::runtime_error("Reading file: " + fileName + " failed.");
        case ReadResult::Read:
            break;
    }
    // An empty file reads like an empty text: nothing is added and nothing logged.
    if (!content.text().empty()) rkxml_detail::readText(*this, document, content.text());
}
