#include "rkXMLFStream.h"

#include <iterator>
#include <stdexcept>
#include <utility>

#include "stream/Grammar.h"
#include "stream/StreamAccess.h"

rkXMLFStream::rkXMLFStream() { defaultSymbols(); }

rkXMLFStream::~rkXMLFStream() { clearSymbols(); }

namespace {

using Pair = std::pair<const char*, const char*>;

// XML's own entities: all that UTF-8 mode needs, as every other byte is written as it is.
const Pair xmlEntityPairs[] = {
    {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"},
};

// The numeric entities carry the Unicode code point; the byte is the same
// character in the Windows-1252 code page.
const Pair windows1252Pairs[] = {
    {"&#246;", "\xF6"}, {"&#252;", "\xFC"}, {"&#228;", "\xE4"}, {"&#214;", "\xD6"},
    {"&#220;", "\xDC"}, {"&#196;", "\xC4"}, {"&#223;", "\xDF"}, {"&#8364;", "\x80"},
};

template <std::size_t count>
void assignPairs(std::map<std::string, std::string>& table, const Pair (&pairs)[count]) {
    for (const auto& [entity, character] : pairs) table[entity] = character;
}

// Whether `table` holds every one of the pairs.
template <std::size_t count>
bool holdsAll(const std::map<std::string, std::string>& table, const Pair (&pairs)[count]) {
    for (const auto& [entity, character] : pairs) {
        const auto found = table.find(entity);
        if (found == table.end() || found->second != character) return false;
    }
    return true;
}

}  // namespace

bool rkxml_detail::StreamAccess::hasStandardTable(const rkXMLFStream& stream) {
    const auto& table = stream.symbols;
    if (stream.utf8) return table.size() == std::size(xmlEntityPairs) && holdsAll(table, xmlEntityPairs);
    return table.size() == std::size(xmlEntityPairs) + std::size(windows1252Pairs) && holdsAll(table, xmlEntityPairs) &&
           holdsAll(table, windows1252Pairs);
}

void rkXMLFStream::defaultSymbols() {
    assignPairs(symbols, xmlEntityPairs);
    assignPairs(symbols, windows1252Pairs);
    openTags.insert("br");
    utf8 = false;
    foreign = false;
}

void rkXMLFStream::utf8Symbols() {
    symbols.clear();
    assignPairs(symbols, xmlEntityPairs);
    utf8 = true;
    foreign = false;
}

void rkXMLFStream::foreignXml() {
    utf8Symbols();
    foreign = true;
}

bool rkXMLFStream::isForeignXml() const { return foreign; }

void rkXMLFStream::addSymbol(const std::string& entity, const std::string& character) {
    // An empty text would match at every position and never let a walk end.
    if (entity.empty()) throw std::invalid_argument("rkXMLFStream::addSymbol: empty entity text");
    if (character.empty()) throw std::invalid_argument("rkXMLFStream::addSymbol: empty character text");
    symbols[entity] = character;
}

void rkXMLFStream::clearSymbols() {
    symbols.clear();
    openTags.clear();
    utf8 = false;
    foreign = false;
}

void rkXMLFStream::addOpenTag(std::string name) {
    const std::size_t zero = name.find('\0');
    if (zero != std::string::npos) name.resize(zero);
    rkxml_detail::grammar::toLower(name);
    openTags.insert(std::move(name));
}

const std::vector<rkXMLFStream::Diagnostic>& rkXMLFStream::getDiagnostics() const { return diagnostics; }

const std::vector<rkXMLFStream::Diagnostic>& rkXMLFStream::getSaveLosses() const { return saveLosses; }

void rkXMLFStream::setLogEnabled(bool enabled) { logEnabled = enabled; }

bool rkXMLFStream::isLogEnabled() const { return logEnabled; }

void rkXMLFStream::setPositionsRecorded(bool recorded) {
    positionsRecorded = recorded;
    if (!recorded) positions.clear();
}

bool rkXMLFStream::isPositionsRecorded() const { return positionsRecorded; }

const rkXMLFStream::SourcePosition* rkXMLFStream::getSourcePosition(const rkXMLNode* node) const {
    const auto found = positions.find(node);
    return found == positions.end() ? nullptr : &found->second;
}

const rkXMLFStream::SourcePosition::Attribute* rkXMLFStream::SourcePosition::findAttribute(
    const std::string& name) const {
    for (auto attribute = attributes.rbegin(); attribute != attributes.rend(); ++attribute) {
        if (attribute->name == name) return &*attribute;
    }
    return nullptr;
}
