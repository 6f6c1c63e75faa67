// Finding the first byte of a set in a text, such as the bytes that the writer
// replaces by entities. Sixteen bytes are looked at in one step where the
// compiler offers SSE2 (every x86-64 machine has it), a byte at a time elsewhere.
#ifndef RKXML_STREAM_BYTE_SET_SCAN_H
#define RKXML_STREAM_BYTE_SET_SCAN_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define RKXML_BYTE_SET_SCAN_SSE2 1
#endif

namespace rkxml_detail {

class ByteSetScan {
public:
    // The index of the lowest bit set in `mask` (not 0): where the first hit of a sixteen-byte step stands.
    static unsigned lowestSetBit(unsigned mask) {
        static constexpr unsigned char indexOf[32] = {0,  1,  28, 2,  29, 14, 24, 3, 30, 22, 20, 15, 25, 17, 4,  8,
                                                      31, 27, 13, 23, 21, 19, 16, 7, 26, 12, 18, 6,  11, 5,  10, 9};
        return indexOf[static_cast<std::uint32_t>((mask & (0u - mask)) * 0x077CB531u) >> 27];
    }

    ByteSetScan() : ByteSetScan(std::array<bool, 256>{}) {}  // finds nothing
    // Scans for the bytes marked in `members`.
    explicit ByteSetScan(const std::array<bool, 256>& members) : members(members) {
        std::size_t count = 0;
        for (unsigned byte = 0; byte < 0x80 && wide; ++byte) {
            if (!members[byte]) continue;
            wide = count < asciiMembers.size();  // else too many to compare one by one
            if (wide) asciiMembers[count++] = static_cast<char>(byte);
        }
        // Every place is compared, so the spare ones repeat a member (a match is checked in the table anyway).
        for (std::size_t k = count; k < asciiMembers.size(); ++k)
            asciiMembers[k] = count != 0 ? asciiMembers[0] : '\x80';
        bool anyHigh = false;
        for (unsigned byte = 0x80; byte < 0x100; ++byte) anyHigh = anyHigh || members[byte];
#ifdef RKXML_BYTE_SET_SCAN_SSE2
        for (std::size_t k = 0; k < asciiMembers.size(); ++k) wanted[k] = _mm_set1_epi8(asciiMembers[k]);
        topBits = _mm_set1_epi8(static_cast<char>(anyHigh ? 0x80 : 0));
#endif
    }

    // The position of the first member at or after `from`, or std::string_view::npos.
    std::size_t find(std::string_view text, std::size_t from) const {
#ifdef RKXML_BYTE_SET_SCAN_SSE2
        if (wide) from = skipSixteenAtATime(text, from);
#endif
        for (std::size_t i = from; i < text.size(); ++i) {
            if (isMember(text[i])) return i;
        }
        return std::string_view::npos;
    }

private:
    bool isMember(char byte) const { return members[static_cast<unsigned char>(byte)]; }

#ifdef RKXML_BYTE_SET_SCAN_SSE2
    // Where the first member may stand: past every block of sixteen bytes that holds none, at the first
    // member of a block that holds one, or at the last bytes, fewer than sixteen.
    std::size_t skipSixteenAtATime(std::string_view text, std::size_t from) const {
        for (; from + 16 <= text.size(); from += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
            // A high byte has its top bit set, which is what the mask collects: it is checked in the table.
            auto is = [&block](const __m128i& byte) { return _mm_cmpeq_epi8(block, byte); };
            const __m128i hits = _mm_or_si128(
                _mm_or_si128(_mm_and_si128(block, topBits), _mm_or_si128(is(wanted[0]), is(wanted[1]))),
                _mm_or_si128(_mm_or_si128(is(wanted[2]), is(wanted[3])), _mm_or_si128(is(wanted[4]), is(wanted[5]))));
            for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
                const std::size_t at = from + lowestSetBit(mask);
                if (isMember(text[at])) return at;
            }
        }
        return from;
    }

#endif

    std::array<bool, 256> members{};
    std::array<char, 6> asciiMembers{};  // the members below 0x80, compared one by one
    bool wide = true;                    // whether they are few enough for that
#ifdef RKXML_BYTE_SET_SCAN_SSE2
    __m128i wanted[6];  // each of asciiMembers in every byte
    __m128i topBits;    // 0x80 in every byte if some member is 0x80 or above, else 0
#endif
};

}  // namespace rkxml_detail

#endif
