#include "stream/SymbolCodec.h"

#include <algorithm>
#include <cstring>

#include "stream/CharacterSets.h"
#include "stream/Grammar.h"

namespace rkxml_detail {
namespace {

unsigned char byteAt(std::string_view text, std::size_t at) { return static_cast<unsigned char>(text[at]); }

// The value of `c` as a digit of `base` (10 or 16), or -1.
int digitValue(char c, unsigned base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The byte of an 8-bit character set that stands for `codePoint`, or -1 where the set lacks it.
int byteIn(SymbolCodec::References set, std::uint32_t codePoint) {
    using charsets::DeclaredSet;
    using References = SymbolCodec::References;
    const DeclaredSet declared = set == References::Latin1        ? DeclaredSet::Latin1
                                 : set == References::Windows1252 ? DeclaredSet::Windows1252
                                                                  : DeclaredSet::Ascii;
    return charsets::byteIn(declared, codePoint);
}

}  // namespace

SymbolCodec::SymbolCodec(const Table& table, Direction direction, References references)
    : references(direction == Direction::Decode ? references : References::Kept),
      decodesReferences(this->references != References::Kept),
      producesTrim(decodesReferences) {
    bucketOfByte.fill(-1);
    const bool encodes = direction == Direction::Encode;
    // Every block is made in its final size: a reader of small files makes a codec for each, and a
    // block above glibc's per-thread cache (about a kilobyte) makes it merge the blocks freed trees left.
    std::array<bool, 256> isFirstByte{};  // of some text to replace
    std::array<std::size_t, 256> longerStartingWith{};
    for (const auto& [entity, character] : table) {
        const std::string& from = encodes ? character : entity;
        if (from.empty()) continue;
        isFirstByte[byteAt(from, 0)] = true;
        if (from.size() > 1) ++longerStartingWith[byteAt(from, 0)];
    }
    // One bucket for each first byte, and one for the references' "&".
    buckets.reserve(1 + static_cast<std::size_t>(std::count(isFirstByte.begin(), isFirstByte.end(), true)));
    std::size_t rank = 0;
    for (const auto& [entity, character] : table) {
        Replacement replacement = encodes ? Replacement{character, entity, rank} : Replacement{entity, character, rank};
        if (replacement.from.empty()) continue;  // the table refuses empty texts; never loop on one
        ++rank;
        consumesTrim = consumesTrim || grammar::holdsTrimByte(replacement.from);
        producesTrim = producesTrim || grammar::holdsTrimByte(replacement.to);
        if (replacement.from.size() <= sizeof(std::uint64_t)) {
            const std::string_view mask("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", replacement.from.size());
            replacement.head = paddedWord(replacement.from, 0);
            replacement.headMask = paddedWord(mask, 0);
        }

        if (replacement.to.size() <= sizeof replacement.toBytes) {
            std::memcpy(replacement.toBytes, replacement.to.data(), replacement.to.size());
        }
        Bucket& bucket = bucketFor(byteAt(replacement.from, 0));
        if (replacement.from.size() > 1) {
            replacement.second = byteAt(replacement.from, 1);
            if (bucket.longer.empty()) bucket.longer.reserve(longerStartingWith[byteAt(replacement.from, 0)]);
            bucket.longer.push_back(replacement);
        } else if (!bucket.single) {
            bucket.single = replacement;
        }
    }
    if (decodesReferences) bucketFor('&');  // a reference's "&" must be a candidate, pair or not
    for (Bucket& bucket : buckets) {
        // Decoding tables arrive in that order already; the sort would still allocate.
        auto bySecondByte = [](const Replacement& a, const Replacement& b) { return a.second < b.second; };
        if (!std::is_sorted(bucket.longer.begin(), bucket.longer.end(), bySecondByte)) {
            std::stable_sort(bucket.longer.begin(), bucket.longer.end(), bySecondByte);
        }
        indexTerminatedTexts(bucket);
        // The terminated texts' index serves every position; otherwise the runs by second byte.
        if (!bucket.byText.empty() || bucket.longer.empty() || bucket.longer.size() > 0xFFFF) continue;
        bucket.bySecond.resize(257);
        std::size_t next = 0;
        for (unsigned second = 0; second <= 256; ++second) {
            while (next < bucket.longer.size() && bucket.longer[next].second < second) ++next;
            bucket.bySecond[second] = static_cast<std::uint16_t>(next);
        }
    }
    std::array<bool, 256> startBytes{};
    for (unsigned byte = 0; byte < startBytes.size(); ++byte) startBytes[byte] = bucketOfByte[byte] >= 0;
    startScan = ByteSetScan(startBytes);
    if (buckets.size() == 1) {
        onlyStartByte = static_cast<int>(std::find(bucketOfByte.begin(), bucketOfByte.end(), 0) - bucketOfByte.begin());
        const Bucket& bucket = buckets.front();
        // A character reference is never shorter than the UTF-8 bytes it stands for.
        shrinks = !bucket.single && !bucket.byText.empty() &&
                  std::all_of(bucket.longer.begin(), bucket.longer.end(), [](const Replacement& replacement) {
                      return replacement.to.size() <= std::min(replacement.from.size(), sizeof replacement.toBytes);
                  });
    }
}

SymbolCodec::Bucket& SymbolCodec::bucketFor(unsigned char first) {
    std::int16_t& index = bucketOfByte[first];
    if (index < 0) {
        index = static_cast<std::int16_t>(buckets.size());
        buckets.emplace_back();
    }
    return buckets[static_cast<std::size_t>(index)];
}

void SymbolCodec::indexTerminatedTexts(Bucket& bucket) {
    if (bucket.longer.empty()) return;
    const char terminator = bucket.longer.front().from.back();
    for (const Replacement& replacement : bucket.longer) {
        const std::string_view from = replacement.from;
        if (from.size() > sizeof(std::uint64_t) || from.back() != terminator ||
            from.find(terminator) != from.size() - 1) {
            return;
        }
    }
    std::size_t size = 4;
    while (size < 2 * bucket.longer.size()) size *= 2;
    bucket.byText.resize(size);
    bucket.terminator = 0x0101010101010101u * static_cast<unsigned char>(terminator);
    for (std::size_t index = 0; index < bucket.longer.size(); ++index) {
        const std::uint64_t text = paddedWord(bucket.longer[index].from, 0);
        std::size_t i = slotOf(text, size);
        while (bucket.byText[i].text != 0 && bucket.byText[i].text != text) i = (i + 1) & (size - 1);
        // Texts are unique in a table; the earliest pair keeps its place all the same.
        if (bucket.byText[i].text == 0) bucket.byText[i] = Slot{text, index};
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
    const std::uint64_t word = wordFits ? littleEndianWordAt(rest.data()) : 0;
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

SymbolCodec::Reference SymbolCodec::readReference(std::string_view text, References references) {
    // "&#" decimal digits ";" or "&#x" hexadecimal digits ";", as XML has them.
    Reference reference;
    if (text.size() < 4 || text[1] != '#') return reference;
    const unsigned base = text[2] == 'x' ? 16 : 10;
    const std::size_t digits = base == 16 ? 3 : 2;
    std::size_t at = digits;
    std::uint32_t codePoint = 0;
    for (int digit; at < text.size() && (digit = digitValue(text[at], base)) >= 0; ++at) {
        // Capped beyond the last code point, so that long digit runs cannot overflow.
        codePoint = std::min<std::uint32_t>(codePoint * base + static_cast<std::uint32_t>(digit), 0x110000);
    }
    if (at == digits || at == text.size() || text[at] != ';' || !charsets::isXmlCharacter(codePoint)) return reference;
    if (references == References::Utf8) {
        reference.size = charsets::putUtf8(codePoint, reference.bytes);
    } else {
        const int byte = byteIn(references, codePoint);
        if (byte < 0) return reference;  // the set lacks it: the reference stays, no other set's bytes go in
        reference.bytes[0] = static_cast<char>(static_cast<unsigned char>(byte));
        reference.size = 1;
    }
    reference.length = at + 1;
    return reference;
}

bool SymbolCodec::mayPut(char byte) const {
    if (decodesReferences) return true;
    const std::int16_t index = bucketOfByte[static_cast<unsigned char>(byte)];
    if (index < 0 || !buckets[static_cast<std::size_t>(index)].single) return true;
    for (const Bucket& bucket : buckets) {
        if (bucket.single && bucket.single->to.find(byte) != std::string_view::npos) return true;
        for (const Replacement& replacement : bucket.longer) {
            if (replacement.to.find(byte) != std::string_view::npos) return true;
        }
    }
    return false;
}

bool SymbolCodec::mayChange(std::string_view text) const {
    return !text.empty() && findCandidate(text, 0) != std::string_view::npos;
}

void SymbolCodec::appendShrunk(std::string_view text, std::string& out) const {
    const std::size_t used = out.size();
    out.resize(used + text.size() + shrinkSlack);
    char* to = &out[used];
    const char* from = text.data();
    const char* const end = from + text.size();
    // The bytes before a replacement, mostly a few words, copied a whole block at a time where that
    // reads and writes only what the text and the room hold: the result is never ahead of the text.
    auto copyUpTo = [&to, &from, end](const char* stop) {
        const auto size = static_cast<std::size_t>(stop - from);
        if (size <= shrinkSlack && end - from >= static_cast<std::ptrdiff_t>(shrinkSlack)) {
            std::memcpy(to, from, shrinkSlack);
        } else {
            std::memcpy(to, from, size);
        }
        to += size;
    };
    const Bucket& bucket = buckets.front();
    const char* found;
    while ((found = static_cast<const char*>(std::memchr(from, onlyStartByte, static_cast<std::size_t>(end - from))))) {
        copyUpTo(found);
        const std::string_view rest(found, static_cast<std::size_t>(end - found));
        if (const Replacement* match = terminatedReplacementAt(bucket, rest)) {
            std::memcpy(to, match->toBytes, sizeof match->toBytes);
            to += match->to.size();
            from = found + match->from.size();
        } else if (const Reference reference = referenceAt(rest, 0); reference.length != 0) {
            std::memcpy(to, reference.bytes, sizeof reference.bytes);
            to += reference.size;
            from = found + reference.length;
        } else {
            *to++ = *found;
            from = found + 1;
        }
    }
    copyUpTo(end);
    out.resize(static_cast<std::size_t>(to - out.data()));
}

void SymbolCodec::appendConverted(std::string_view text, std::string& out) const {
    if (shrinks) {
        appendShrunk(text, out);
        return;
    }
    // Pieces are copied into room made ahead, as most of them are a few bytes long.
    std::size_t used = out.size();
    out.resize(used + text.size() + 16);  // room for a text that does not grow
    convertTo(text, [&out, &used](std::string_view before, std::string_view by) {
        const std::size_t size = before.size() + by.size();
        if (size > out.size() - used) out.resize(std::max(out.size() * 2, used + size));
        copyBytes(&out[used], before.data(), before.size());
        copyBytes(&out[used + before.size()], by.data(), by.size());
        used += size;
    });
    out.resize(used);
}

}  // namespace rkxml_detail
