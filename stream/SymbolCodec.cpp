#include "stream/SymbolCodec.h"

#include <algorithm>
#include <cstring>

#include "stream/Grammar.h"

namespace rkxml_detail {
namespace {

unsigned char byteAt(std::string_view text, std::size_t at) { return static_cast<unsigned char>(text[at]); }

// Eight bytes of `text` from `at` as one word (in memory order, whatever the byte order).
std::uint64_t wordAt(const char* text) {
    std::uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return word;
}

}  // namespace

SymbolCodec::SymbolCodec(const Table& table, Direction direction) {
    bucketOfByte.fill(-1);
    std::size_t rank = 0;
    for (const auto& [entity, character] : table) {
        Replacement replacement = direction == Direction::Encode ? Replacement{character, entity, rank}
                                                                 : Replacement{entity, character, rank};
        if (replacement.from.empty()) continue;  // the table refuses empty texts; never loop on one
        ++rank;
        if (grammar::holdsTrimByte(replacement.from) || grammar::holdsTrimByte(replacement.to)) anyTrimByte = true;
        if (replacement.from.size() <= sizeof(std::uint64_t)) {
            char bytes[sizeof(std::uint64_t)] = {};
            char mask[sizeof(std::uint64_t)] = {};
            std::memcpy(bytes, replacement.from.data(), replacement.from.size());
            std::memset(mask, 0xFF, replacement.from.size());
            replacement.head = wordAt(bytes);
            replacement.headMask = wordAt(mask);
        }

        std::int16_t& index = bucketOfByte[byteAt(replacement.from, 0)];
        if (index < 0) {
            index = static_cast<std::int16_t>(buckets.size());
            buckets.emplace_back();
        }
        Bucket& bucket = buckets[static_cast<std::size_t>(index)];
        if (replacement.from.size() > 1) {
            replacement.second = byteAt(replacement.from, 1);
            bucket.longer.push_back(replacement);
        } else if (!bucket.single) {
            bucket.single = replacement;
        }
    }
    for (Bucket& bucket : buckets) {
        std::stable_sort(bucket.longer.begin(), bucket.longer.end(),
                         [](const Replacement& a, const Replacement& b) { return a.second < b.second; });
        if (bucket.longer.empty() || bucket.longer.size() > 0xFFFF) continue;
        bucket.bySecond.resize(257);
        std::size_t next = 0;
        for (unsigned second = 0; second <= 256; ++second) {
            while (next < bucket.longer.size() && bucket.longer[next].second < second) ++next;
            bucket.bySecond[second] = static_cast<std::uint16_t>(next);
        }
    }
    if (buckets.size() == 1) {
        onlyStartByte = static_cast<int>(std::find(bucketOfByte.begin(), bucketOfByte.end(), 0) - bucketOfByte.begin());
    }
}

const SymbolCodec::Replacement* SymbolCodec::longerReplacementAt(const Bucket& bucket, std::string_view text,
                                                                 std::size_t at) const {
    const Replacement* best = bucket.single ? &*bucket.single : nullptr;
    if (at + 1 >= text.size()) return best;
    // Every pair that matches here has this second byte, or is the one-byte pair:
    // of those the one earliest in the table wins.
    const std::string_view rest = text.substr(at);
    const bool wordFits = rest.size() >= sizeof(std::uint64_t);
    const std::uint64_t word = wordFits ? wordAt(rest.data()) : 0;
    const unsigned char second = byteAt(text, at + 1);
    auto candidate = bucket.bySecond.empty()
                         ? std::lower_bound(bucket.longer.begin(), bucket.longer.end(), second,
                                            [](const Replacement& r, unsigned char b) { return r.second < b; })
                         : bucket.longer.begin() + bucket.bySecond[second];
    for (; candidate != bucket.longer.end() && candidate->second == second; ++candidate) {
        if (best != nullptr && candidate->rank > best->rank) break;
        const bool matches = wordFits && candidate->headMask != 0 ? (word & candidate->headMask) == candidate->head
                                                                  : startsWith(rest, candidate->from);
        if (matches) return &*candidate;
    }
    return best;
}

bool SymbolCodec::mayChange(std::string_view text) const {
    return !text.empty() && findCandidate(text, 0) != std::string_view::npos;
}

void SymbolCodec::appendConverted(std::string_view text, std::string& out) const {
    // Pieces are copied into room made ahead, as most of them are a few bytes long.
    std::size_t used = out.size();
    out.resize(used + text.size() + 16);  // room for the usual case: decoding shrinks a text
    convertTo(text, [&out, &used](std::string_view piece) {
        if (piece.size() > out.size() - used) out.resize(std::max(out.size() * 2, used + piece.size()));
        copyBytes(&out[used], piece.data(), piece.size());
        used += piece.size();
    });
    out.resize(used);
}

void SymbolCodec::convert(std::string& text) const {
    if (!mayChange(text)) return;
    // Counted first, so that a text that grows a lot (encoding) is built in one block.
    std::size_t size = 0;
    convertTo(text, [&size](std::string_view piece) { size += piece.size(); });
    std::string converted(size, '\0');
    std::size_t used = 0;
    convertTo(text, [&converted, &used](std::string_view piece) {
        copyBytes(&converted[used], piece.data(), piece.size());
        used += piece.size();
    });
    text.swap(converted);
}

}  // namespace rkxml_detail
