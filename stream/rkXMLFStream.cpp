#include "rkXMLFStream.h"

#include <stdexcept>
#include <utility>

#include "stream/Grammar.h"

rkXMLFStream::rkXMLFStream() { defaultSymbols(); }

rkXMLFStream::~rkXMLFStream() { clearSymbols(); }

namespace {

// The numeric entities carry the Unicode code point; the byte is the same
// character in the Windows-1252 code page.
const std::pair<const char*, const char*> defaultPairs[] = {
    {"&lt;", "<"},         {"&gt;", ">"},         {"&quot;", "\""},     {"&apos;", "'"},     {"&amp;", "&"},
    {"&#246;", "\xF6"},    {"&#252;", "\xFC"},    {"&#228;", "\xE4"},    {"&#214;", "\xD6"},  {"&#220;", "\xDC"},
    {"&#196;", "\xC4"},    {"&#223;", "\xDF"},    {"&#8364;", "\x80"},
};

}  // namespace

void rkXMLFStream::defaultSymbols() {
    for (const auto& [entity, character] : defaultPairs) symbols[entity] = character;
    openTags.insert("br");
}

void rkXMLFStream::addSymbol(const std::string& entity, const std::string& character) {
    // An empty text would match at every position and never let a walk end.
    if (entity.empty()) throw std::invalid_argument("rkXMLFStream::addSymbol: empty entity text");
    if (character.empty()) throw std::invalid_argument("rkXMLFStream::addSymbol: empty character text");
    symbols[entity] = character;
}

void rkXMLFStream::clearSymbols() {
    symbols.clear();
    openTags.clear();
}

void rkXMLFStream::addOpenTag(std::string name) {
    const std::size_t zero = name.find('\0');
    if (zero != std::string::npos) name.resize(zero);
    rkxml_detail::grammar::toLower(name);
    openTags.insert(std::move(name));
}

