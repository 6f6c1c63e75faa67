// Encoding and decoding of texts with a symbol table (entity text -> character text).
//
// Both directions walk the text once and build the result anew, so the cost is
// linear in the length of the text. At each position the first pair in the
// table's order (ascending entity text) whose text to replace stands there
// wins, exactly as if every pair were tried in turn; replaced text is never
// looked at again. To find that pair quickly, the pairs are indexed by the
// first two bytes of the text they replace; where every text that a byte starts
// ends with one terminating byte found nowhere else in it (as "&lt;" and "&#228;"
// end with ";"), at most one of them can stand at a position, and it is looked
// up by its whole text in a small hash index instead.
//
// A decoder may also turn character references (&#233; &#xE9;) into the
// character's UTF-8 bytes, or into its byte in an 8-bit character set, where no
// pair matches at the reference's "&". A reference that names no character XML
// allows, or one that the 8-bit set lacks, stays as it is.
#ifndef RKXML_STREAM_SYMBOL_CODEC_H
#define RKXML_STREAM_SYMBOL_CODEC_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stream/ByteSetScan.h"
#include "stream/Bytes.h"

namespace rkxml_detail {

class SymbolCodec {
public:
    using Table = std::map<std::string, std::string>;
    enum class Direction { Encode, Decode };
    // What a decoder does with character references: keeps them, or makes the character's bytes in UTF-8 or in
    // an 8-bit set (ISO-8859-1, Windows-1252, US-ASCII), where that set holds it.
    enum class References { Kept, Utf8, Latin1, Windows1252, Ascii };

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
    // Hands `text` with every replacement made to `put`, a pair of std::string_view at a time: the text
    // before a replacement and the replacement, at the end the rest and an empty one.
    template <class Sink>
    void convertTo(std::string_view text, Sink&& put) const {
        std::size_t copied = 0;
        std::size_t at = 0;
        auto replace = [&](std::size_t length, std::string_view by) {
            put(text.substr(copied, at - copied), by);
            at += length;
            copied = at;
        };
        while ((at = findCandidate(text, at)) != std::string_view::npos) {
            if (const Replacement* match = replacementAt(text, at)) {
                replace(match->from.size(), match->to);
            } else if (const Reference reference = referenceAt(text, at); reference.length != 0) {
                // Bounded, which the size always is, so that GCC 12 sees no overread on 32-bit targets.
                const std::size_t size = std::min(reference.size, sizeof reference.bytes);
                replace(reference.length, std::string_view(reference.bytes, size));
            } else {
                ++at;
            }
        }
        put(text.substr(copied), std::string_view());
    }
    // Appends `text` to `out` with every replacement made.
    void appendConverted(std::string_view text, std::string& out) const;

    // What decoding `text` gives that a writer would not write back as it stood: `note(at, length, kind)` for
    // each "&" that no pair and no character reference starts (Kept: it stays as it is and would be written as
    // "&amp;"; length 1), and for each character reference that becomes a blank, tab, line feed or carriage return
    // (WhiteSpace: written as the character, which XML reads as a blank in an attribute, as a line feed for a
    // carriage return, and the reader trims at the ends of a text).
    enum class Unsaved { Kept, WhiteSpace };
    template <class Note>
    void forEachUnsaved(std::string_view text, Note&& note) const {
        for (std::size_t at = 0; (at = findCandidate(text, at)) != std::string_view::npos;) {
            if (const Replacement* match = replacementAt(text, at)) {
                at += match->from.size();
            } else if (const Reference reference = referenceAt(text, at); reference.length != 0) {
                if (reference.size == 1 && isXmlWhiteSpace(reference.bytes[0])) {
                    note(at, reference.length, Unsaved::WhiteSpace);
                }
                at += reference.length;
            } else {
                if (text[at] == '&') note(at, std::size_t{1}, Unsaved::Kept);
                ++at;
            }
        }
    }

    // Free room that appendShrunk needs after the text's length.
    static constexpr std::size_t shrinkSlack = 32;

private:
    struct Replacement {
        std::string_view from;
        std::string_view to;
        std::size_t rank;            // position of the pair in the table's order
        std::uint64_t head = 0;      // `from` as littleEndianWordAt reads it, for texts of at most 8 bytes
        char toBytes[8] = {};        // `to`, where it has at most 8 bytes
        std::uint64_t headMask = 0;  // the bytes of `head` that count
        unsigned char second = 0;    // the second byte of `from`, if it has one
    };

    // A place in the index of terminated texts: a text (as littleEndianWordAt reads it, 0 for a free place)
    // and where its pair stands in `longer`.
    struct Slot {
        std::uint64_t text = 0;
        std::size_t index = 0;
    };

    // The pairs whose text to replace starts with one byte. Kept small: a codec is
    // made for every read and write, and an allocation of a kilobyte or more makes
    // the allocator sort out every block that the last destroyed tree gave back.
    struct Bucket {
        std::optional<Replacement> single;    // the first one-byte text, which always matches
        std::vector<Replacement> longer;      // the others, by second byte, then rank
        std::vector<std::uint16_t> bySecond;  // where each second byte's run of `longer` starts (257 entries)
        std::vector<Slot> byText;             // `longer` by whole text, where all are terminated; else empty
        std::uint64_t terminator = 0;         // the terminating byte in every byte of a word
    };

    static bool isXmlWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    // A character reference and the UTF-8 bytes of the character it names.
    struct Reference {
        std::size_t length = 0;  // of the reference text; 0 where none stands
        char bytes[4] = {};
        std::size_t size = 0;
    };

    // The reference that starts at `at`, if references are decoded and a valid one stands there.
    Reference referenceAt(std::string_view text, std::size_t at) const {
        return decodesReferences ? readReference(text.substr(at), references) : Reference{};
    }
    static Reference readReference(std::string_view text, References references);

    // The first position at or after `from` where a replacement may start, or npos.
    std::size_t findCandidate(std::string_view text, std::size_t from) const {
        if (onlyStartByte >= 0) {
            const void* found = std::memchr(text.data() + from, onlyStartByte, text.size() - from);
            return found == nullptr ? std::string_view::npos
                                    : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        }
        return startScan.find(text, from);
    }

    const Replacement* replacementAt(std::string_view text, std::size_t at) const {
        const Bucket& bucket = buckets[static_cast<std::size_t>(bucketOfByte[static_cast<unsigned char>(text[at])])];
        if (bucket.longer.empty()) return bucket.single ? &*bucket.single : nullptr;  // the usual case when encoding
        if (!bucket.byText.empty()) return terminatedReplacementAt(bucket, text.substr(at));  // the usual decoding
        return longerReplacementAt(bucket, text, at);
    }
    const Replacement* longerReplacementAt(const Bucket& bucket, std::string_view text, std::size_t at) const;
    // appendConverted for a codec that `shrinks`, without checks for room.
    void appendShrunk(std::string_view text, std::string& out) const;

    // The pair of `bucket` that stands at the start of `rest`: the text up to the first terminating
    // byte is the only longer one that can, and it is looked up without a search.
    static const Replacement* terminatedReplacementAt(const Bucket& bucket, std::string_view rest) {
        const std::uint64_t word = rest.size() >= sizeof(std::uint64_t) ? littleEndianWordAt(rest.data())
                                                                        : paddedWord(rest, ~bucket.terminator);
        const std::uint64_t terminators = lowestZeroByte(word ^ bucket.terminator);
        const Replacement* single = bucket.single ? &*bucket.single : nullptr;
        if (terminators == 0) return single;
        // Every byte up to and including the first terminating one (whose top bit is the lowest set).
        const std::uint64_t text = word & (((terminators & (~terminators + 1)) << 1) - 1);
        const Replacement* found = nullptr;
        for (std::size_t i = slotOf(text, bucket.byText.size());; i = (i + 1) & (bucket.byText.size() - 1)) {
            const Slot& slot = bucket.byText[i];
            if (slot.text == text) found = &bucket.longer[slot.index];
            if (slot.text == text || slot.text == 0) break;
        }
        return single != nullptr && (found == nullptr || single->rank < found->rank) ? single : found;
    }
    // Eight bytes from `at` as a number, the first byte the lowest, whatever the machine's byte order.
    static std::uint64_t littleEndianWordAt(const char* at) {
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        std::uint64_t swapped = 0;
        for (std::size_t i = 0; i < sizeof word; ++i, word >>= 8) swapped = swapped << 8 | (word & 0xFF);
        word = swapped;
#endif
        return word;
    }
    // The bytes of `rest` (at most eight) as littleEndianWordAt reads them, the missing ones from `filler`.
    static std::uint64_t paddedWord(std::string_view rest, std::uint64_t filler) {
        char bytes[sizeof(std::uint64_t)];
        std::memcpy(bytes, &filler, sizeof bytes);
        std::memcpy(bytes, rest.data(), rest.size());
        return littleEndianWordAt(bytes);
    }
    // The top bit of the lowest byte of `word` that is zero (bytes above it may have theirs set too), or 0.
    static std::uint64_t lowestZeroByte(std::uint64_t word) {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        return (word - ones) & ~word & (ones << 7);
    }
    // Where the index of `size` places (a power of two) starts looking for `text`.
    static std::size_t slotOf(std::uint64_t text, std::size_t size) {
        return static_cast<std::size_t>((text * 0x9E3779B97F4A7C15u) >> 40) & (size - 1);
    }
    // Makes `bucket.byText`, if all of its longer texts end with one terminating byte found nowhere else in them.
    static void indexTerminatedTexts(Bucket& bucket);
    // The bucket of the pairs whose text to replace starts with `first`, made if missing.
    Bucket& bucketFor(unsigned char first);

    std::vector<Bucket> buckets;
    std::array<std::int16_t, 256> bucketOfByte;  // index into buckets, or -1
    int onlyStartByte = -1;                      // the one byte that starts every replacement, or -1
    ByteSetScan startScan;                       // finds the bytes that start a replacement
    // Whether every text to replace starts with that one byte, is terminated and indexed, and no replacement
    // puts in more than it takes away or more than a word: the usual decoder, whose result is never longer.
    bool shrinks = false;
    References references = References::Kept;
    bool decodesReferences = false;
    bool consumesTrim = false;
    bool producesTrim = false;
};

}  // namespace rkxml_detail

#endif
