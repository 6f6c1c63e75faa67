// Encoding and decoding of texts with a symbol table (entity text -> character text).
//
// Both directions walk the text once. At each position only the pairs whose
// text to replace starts with the byte there are tried, in the table's order
// (ascending entity text), so the first match in that order wins, exactly as
// if every pair were tried; replaced text is never looked at again.
#ifndef RKXML_STREAM_SYMBOL_CODEC_H
#define RKXML_STREAM_SYMBOL_CODEC_H

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace rkxml_detail {

class SymbolCodec {
public:
    using Table = std::map<std::string, std::string>;
    enum class Direction { Encode, Decode };

    // Indexes `table` (which must outlive the codec) for one direction.
    SymbolCodec(const Table& table, Direction direction);

    // Whether `text` holds a byte at which some replacement could start.
    bool mayChange(std::string_view text) const;
    // Hands `text` with every replacement made to `put`, piece by piece (each a std::string_view).
    template <class Sink>
    void convertTo(std::string_view text, Sink&& put) const {
        std::size_t copied = 0;
        std::size_t at = findCandidate(text, 0);
        while (at != std::string_view::npos) {
            const Replacement* match = replacementAt(text, at);
            if (match == nullptr) {
                at = findCandidate(text, at + 1);
                continue;
            }
            put(text.substr(copied, at - copied));
            put(match->to);
            copied = at + match->from.size();
            at = findCandidate(text, copied);
        }
        put(text.substr(copied));
    }
    // Appends `text` to `out` with every replacement made.
    void appendConverted(std::string_view text, std::string& out) const;
    // Replaces `text` by its converted form.
    void convert(std::string& text) const;

private:
    struct Replacement {
        std::string_view from;
        std::string_view to;
    };

    std::size_t findCandidate(std::string_view text, std::size_t from) const;
    const Replacement* replacementAt(std::string_view text, std::size_t at) const;

    std::array<std::vector<Replacement>, 256> byFirstByte;
    std::array<bool, 256> startsReplacement{};
    int onlyStartByte = -1;  // the one byte that starts every replacement, or -1
};

}  // namespace rkxml_detail

#endif
