#include "rkXMLHeader.h"

namespace {

const char* const acceptedVersions[] = {"1.0", "1.1", "2.0"};

template <std::size_t N>
bool isOneOf(const std::string& value, const char* const (&accepted)[N]) {
    for (const char* candidate : accepted) {
        if (value == candidate) return true;
    }
    return false;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// An encoding name as XML writes it: a letter, then letters, digits, ".", "_" and "-". Such a
// name is kept whatever it says, since dropping it makes other readers take 8-bit text for UTF-8.
bool isEncodingName(const std::string& name) {
    if (name.empty() || !isAsciiLetter(name.front())) return false;
    for (const char c : name) {
        if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_' && c != '-') return false;
    }
    return true;
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
    encoding = isEncodingName(newEncoding) ? newEncoding : "";
    rebuildText();
}

void rkXMLHeader::decode(const std::string& text) {
    // The version keyword only has to be present: its value is taken from the first equals-quote
    // pair of the text. The encoding is the value of its own keyword after the version's value,
    // so that a pair before it (standalone="no") is never taken for an encoding name.
    std::string newVersion = "1.0";
    std::string newEncoding;
    std::size_t versionClose = 0;
    std::string found;
    if (text.find("version=\"") != std::string::npos && quotedValueAfter(text, 0, found, versionClose)) {
        newVersion = found;
        const std::size_t keyword = text.find("encoding=\"", versionClose);
        std::size_t encodingClose = 0;
        if (keyword != std::string::npos && quotedValueAfter(text, keyword, found, encodingClose)) {
            newEncoding = found;
        }
    }
    setVersion(newVersion);
    setEncodingType(newEncoding);
}

void rkXMLHeader::rebuildText() {
    std::string text = "<?xml version=\"" + version;
    if (!encoding.empty()) text += "\" encoding=\"" + encoding;
    text += "\" ?>";
    setName(text);
}
