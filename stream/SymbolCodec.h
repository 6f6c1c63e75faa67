// Encoding and decoding of texts with a symbol table (entity text -> character text).
//
// Both directions walk the text once and build the result anew, so the cost is
// linear in the length of the text. At each position the first pair in the
// table's order (ascending entity text) whose text to replace stands there
// wins, exactly as if every pair were tried in turn; replaced text is never
// looked at again. To find that pair quickly, the pairs are indexed by the
// first two bytes of the text they replace.
//
// A decoder may also turn character references (&#233; &#xE9;) into the
// character's UTF-8 bytes, where no pair matches at the reference's "&". A
// reference that names no character XML allows stays as it is.
#ifndef RKXML_STREAM_SYMBOL_CODEC_H
#define RKXML_STREAM_SYMBOL_CODEC_H

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stream/Bytes.h"

namespace rkxml_detail {

class SymbolCodec {
public:
    using Table = std::map<std::string, std::string>;
    enum class Direction { Encode, Decode };
    enum class References { Kept, Decoded };  // what a decoder does with character references

    // Indexes `table` (which must outlive the codec) for one direction.
    SymbolCodec(const Table& table, Direction direction, References references = References::Kept);

    // Whether some replaced text holds a blank, a tab or a line feed (none of the default ones does).
    bool consumesTrimBytes() const { return consumesTrim; }
    // Whether some replacement may put in a blank, a tab or a line feed (a character reference may).
    bool producesTrimBytes() const { return producesTrim; }
    // Whether a converted text may hold `byte`: it is not always replaced, or a replacement puts it in.
    bool mayPut(char byte) const;
    // Whether `text` holds a byte at which some replacement could start.
    bool mayChange(std::string_view text) const;
    // Hands `text` with every replacement made to `put`, piece by piece (each a std::string_view).
    template <class Sink>
    void convertTo(std::string_view text, Sink&& put) const {
        std::size_t copied = 0;
        std::size_t at = 0;
        auto replace = [&](std::size_t length, std::string_view by) {
            if (at > copied) put(text.substr(copied, at - copied));
            put(by);
            at += length;
            copied = at;
        };
        while ((at = findCandidate(text, at)) != std::string_view::npos) {
            if (const Replacement* match = replacementAt(text, at)) {
                replace(match->from.size(), match->to);
            } else if (const Reference reference = referenceAt(text, at); reference.length != 0) {
                replace(reference.length, std::string_view(reference.bytes, reference.size));
            } else {
                ++at;
            }
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
        std::size_t rank;                // position of the pair in the table's order
        std::uint64_t head = 0;          // `from` as a word, for texts of at most 8 bytes
        std::uint64_t headMask = 0;      // the bytes of `head` that count
        unsigned char second = 0;        // the second byte of `from`, if it has one
    };

    // The pairs whose text to replace starts with one byte. Kept small: a codec is
    // made for every read and write, and an allocation of a kilobyte or more makes
    // the allocator sort out every block that the last destroyed tree gave back.
    struct Bucket {
        std::optional<Replacement> single;    // the first one-byte text, which always matches
        std::vector<Replacement> longer;      // the others, by second byte, then rank
        std::vector<std::uint16_t> bySecond;  // where each second byte's run of `longer` starts (257 entries)
    };

    // A character reference and the UTF-8 bytes of the character it names.
    struct Reference {
        std::size_t length = 0;  // of the reference text; 0 where none stands
        char bytes[4] = {};
        std::size_t size = 0;
    };

    // The reference that starts at `at`, if references are decoded and a valid one stands there.
    Reference referenceAt(std::string_view text, std::size_t at) const {
        return decodesReferences ? readReference(text.substr(at)) : Reference{};
    }
    static Reference readReference(std::string_view text);

    // The first position at or after `from` where a replacement may start, or npos.
    std::size_t findCandidate(std::string_view text, std::size_t from) const {
        if (onlyStartByte >= 0) {
            const void* found = std::memchr(text.data() + from, onlyStartByte, text.size() - from);
            return found == nullptr ? std::string_view::npos
                                    : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        }
        for (std::size_t i = from; i < text.size(); ++i) {
            if (bucketOfByte[static_cast<unsigned char>(text[i])] >= 0) return i;
        }
        return std::string_view::npos;
    }

    const Replacement* replacementAt(std::string_view text, std::size_t at) const {
        const Bucket& bucket = buckets[static_cast<std::size_t>(bucketOfByte[static_cast<unsigned char>(text[at])])];
        if (bucket.longer.empty()) return bucket.single ? &*bucket.single : nullptr;  // the usual case when encoding
        return longerReplacementAt(bucket, text, at);
    }
    const Replacement* longerReplacementAt(const Bucket& bucket, std::string_view text, std::size_t at) const;
    // The bucket of the pairs whose text to replace starts with `first`, made if missing.
    Bucket& bucketFor(unsigned char first);

    std::vector<Bucket> buckets;
    std::array<std::int16_t, 256> bucketOfByte;  // index into buckets, or -1
    int onlyStartByte = -1;                      // the one byte that starts every replacement, or -1
    bool decodesReferences = false;
    bool consumesTrim = false;
    bool producesTrim = false;
};

}  // namespace rkxml_detail

#endif
