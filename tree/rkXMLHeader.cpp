#include "rkXMLHeader.h"

namespace {

const char* const acceptedVersions[] = {"1.0", "1.1", "2.0"};
const char* const acceptedEncodings[] = {"unicode", "utf-8", "utf-16"};

template <std::size_t N>
bool isOneOf(const std::string& value, const char* const (&accepted)[N]) {
    for (const char* candidate : accepted) {
        if (value == candidate) return true;
    }
    return false;
}

// The text between the first `="` at or after `from` and the next `"` after it.
bool quotedValueAfter(const std::string& text, std::size_t from, std::string& value, std::size_t& close) {
    const std::size_t open = text.find("=\"", from);
    if (open == std::string::npos) return false;
    close = text.find('"', open + 2);
    if (close == std::string::npos) return false;
    value = text.substr(open + 2, close - open - 2);
    return true;
}

}  // namespace

rkXMLHeader::rkXMLHeader() : rkXMLNode(Header) {}

rkXMLHeader::~rkXMLHeader() = default;

const std::string& rkXMLHeader::getVersion() const { return version; }

const std::string& rkXMLHeader::getEncodingType() const { return encoding; }

void rkXMLHeader::setVersion(const std::string& newVersion) {
    version = isOneOf(newVersion, acceptedVersions) ? newVersion : "1.0";
    rebuildText();
}

void rkXMLHeader::setEncodingType(const std::string& newEncoding) {
    encoding = isOneOf(newEncoding, acceptedEncodings) ? newEncoding : "";
    rebuildText();
}

void rkXMLHeader::decode(const std::string& text) {
    // The keywords only have to be present: each value is taken from the first
    // equals-quote pair of the text (for the encoding: after the version's value).
    std::string newVersion = "1.0";
    std::string newEncoding;
    std::size_t versionClose = 0;
    std::string found;
    if (text.find("version=\"") != std::string::npos && quotedValueAfter(text, 0, found, versionClose)) {
        newVersion = found;
        std::size_t encodingClose = 0;
        if (text.find("encoding=\"", versionClose) != std::string::npos &&
            quotedValueAfter(text, versionClose, found, encodingClose)) {
            newEncoding = found;
        }
    }
    setVersion(newVersion);
    setEncodingType(newEncoding);
}

void rkXMLHeader::rebuildText() {
    std::string text = "<?xml version=\"" + version;
    if (encoding.size() >= 2) text += "\" encoding=\"" + encoding;
    text += "\" ?>";
    setName(text);
}
