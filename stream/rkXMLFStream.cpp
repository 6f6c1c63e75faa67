#include "rkXMLFStream.h"

#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>

#include "stream/Grammar.h"
#include "stream/ShownName.h"
#include "stream/StandardSymbols.h"
#include "stream/StreamAccess.h"

rkXMLFStream::rkXMLFStream() { defaultSymbols(); }

rkXMLFStream::rkXMLFStream(Text text, Log log) : rkXMLFStream() {
    if (text == Text::Utf8) utf8Symbols();
    if (text == Text::ForeignXml) foreignXml();
    setLogEnabled(log == Log::File);
}

rkXMLFStream::~rkXMLFStream() { clearSymbols(); }

namespace {

using Pair = rkxml_detail::SymbolPair;
using rkxml_detail::windows1252Pairs;
using rkxml_detail::xmlEntityPairs;

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

// Every warning of the reader is about text that it ignored or a text cut off, and an error empties the document.
bool rkXMLFStream::droppedText() const { return !diagnostics.empty(); }

const std::vector<rkXMLFStream::Diagnostic>& rkXMLFStream::getSaveLosses() const { return saveLosses; }

std::size_t rkXMLFStream::Diagnostic::editorLine() const { return line + 1; }

std::string rkXMLFStream::Diagnostic::format(const std::string& fileName) const {
    return rkxml_detail::shown(fileName) + ':' + std::to_string(editorLine()) +
           (kind == Error ? ": error: " : ": warning: ") + text;
}

rkXMLFStream::TextForm rkXMLFStream::getTextForm() const { return textForm; }

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
