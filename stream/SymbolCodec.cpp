#include "stream/SymbolCodec.h"

#include <cstring>

namespace rkxml_detail {

SymbolCodec::SymbolCodec(const Table& table, Direction direction) {
    int startByteCount = 0;
    for (const auto& [entity, character] : table) {
        Replacement replacement = direction == Direction::Encode ? Replacement{character, entity}
                                                                 : Replacement{entity, character};
        if (replacement.from.empty()) continue;  // the table refuses empty texts; never loop on one
        const auto first = static_cast<unsigned char>(replacement.from.front());
        if (!startsReplacement[first]) {
            startsReplacement[first] = true;
            ++startByteCount;
            onlyStartByte = first;
        }
        byFirstByte[first].push_back(replacement);
    }
    if (startByteCount != 1) onlyStartByte = -1;
}

std::size_t SymbolCodec::findCandidate(std::string_view text, std::size_t from) const {
    if (onlyStartByte >= 0) {
        const void* found = std::memchr(text.data() + from, onlyStartByte, text.size() - from);
        return found == nullptr ? std::string_view::npos
                                : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    }
    for (std::size_t i = from; i < text.size(); ++i) {
        if (startsReplacement[static_cast<unsigned char>(text[i])]) return i;
    }
    return std::string_view::npos;
}

bool SymbolCodec::mayChange(std::string_view text) const {
    return !text.empty() && findCandidate(text, 0) != std::string_view::npos;
}

const SymbolCodec::Replacement* SymbolCodec::replacementAt(std::string_view text, std::size_t at) const {
    const std::string_view rest = text.substr(at);
    for (const Replacement& candidate : byFirstByte[static_cast<unsigned char>(text[at])]) {
        if (rest.substr(0, candidate.from.size()) == candidate.from) return &candidate;
    }
    return nullptr;
}

void SymbolCodec::appendConverted(std::string_view text, std::string& out) const {
    convertTo(text, [&out](std::string_view piece) { out.append(piece); });
}

void SymbolCodec::convert(std::string& text) const {
    if (!mayChange(text)) return;
    std::string converted;
    converted.reserve(text.size() + text.size() / 8);
    appendConverted(text, converted);
    text.swap(converted);
}

}  // namespace rkxml_detail
