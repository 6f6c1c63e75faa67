// The symbol table's encoding and decoding walks.
//
// Property:
//  - with the default table, and with the UTF-8 table (utf8Symbols), decoding
//    the encoded form of any byte string gives the byte string back;
//  - a table built from random pairs with addSymbol on the default, the empty
//    or the UTF-8 table (a pair with an empty text is refused with
//    std::invalid_argument and leaves the table as it was) never makes a walk
//    hang, and bounds the output linearly: every byte of the input is either
//    copied or part of a replaced text, so with f and t the longest texts
//    replaced and put in (at least 1), the output of n bytes is at least n / f
//    and at most n * t bytes long; a character reference, which UTF-8 mode
//    decodes, may be of any length (leading zeros) but is never shorter than
//    the bytes it stands for, so there the decoded output is only at least
//    1 byte long when the input is not empty;
//  - where no character references are decoded, both walks give exactly what
//    the plainest walk gives: at each position every pair tried in the
//    table's order, the first that matches replaced;
//  - the reader, run with such a table on the same bytes, returns or throws
//    std::runtime_error.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

#include "FuzzSupport.h"
#include "rkXMLFStream.h"
#include "stream/StreamAccess.h"

namespace {

using rkxml_detail::StreamAccess;

void checkBounds(const char* walk, const std::string& input, const std::string& output, std::size_t longestFrom,
                 std::size_t longestTo) {
    const std::size_t f = std::max<std::size_t>(longestFrom, 1);
    const std::size_t t = std::max<std::size_t>(longestTo, 1);
    if (output.size() * f < input.size() || output.size() > input.size() * t) {
        fuzz::fail(std::string(walk) + " output bounds", std::to_string(input.size()) + " bytes became " +
                                                             std::to_string(output.size()) + " for " +
                                                             fuzz::printable(input));
    }
}

// The walk in its plainest form, against which the codec's index is checked.
std::string walked(const std::map<std::string, std::string>& table, const std::string& text, bool encode) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        bool replaced = false;
        for (const auto& [entity, character] : table) {
            const std::string& from = encode ? character : entity;
            if (text.compare(at, from.size(), from) == 0) {
                out += encode ? entity : character;
                at += from.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[at++];
    }
    return out;
}

void checkAgainstPlainWalk(const char* walk, const std::string& input, const std::string& output,
                           const std::string& expected) {
    if (output != expected) {
        fuzz::fail(
            std::string(walk) + " differs from the plain walk",
            fuzz::printable(input) + " became " + fuzz::printable(output) + ", not " + fuzz::printable(expected));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rkXMLFStream defaults;
    const std::string whole(reinterpret_cast<const char*>(data), size);
    for (const rkXMLFStream* tables : {&defaults, &fuzz::utf8Stream()}) {
        const std::string text = StreamAccess::decoded(*tables, StreamAccess::encoded(*tables, whole));
        if (text != whole) {
            fuzz::fail(tables == &defaults ? "default decode of encode" : "UTF-8 decode of encode",
                       fuzz::printable(whole) + " became " + fuzz::printable(text));
        }
    }

    FuzzedDataProvider provider(data, size);
    rkXMLFStream stream;
    switch (provider.ConsumeIntegralInRange<int>(0, 2)) {
        case 1: stream.clearSymbols(); break;
        case 2: stream.utf8Symbols(); break;
        default: break;
    }
    const int pairs = provider.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < pairs; ++i) {
        const std::string entity = provider.ConsumeRandomLengthString(8);
        const std::string character = provider.ConsumeRandomLengthString(8);
        const std::map<std::string, std::string> before = StreamAccess::symbols(stream);
        try {
            stream.addSymbol(entity, character);
            if (entity.empty() || character.empty())
                fuzz::fail("empty texts refused", fuzz::printable(entity) + " " + fuzz::printable(character));
        } catch (const std::invalid_argument&) {
            if (!entity.empty() && !character.empty())
                fuzz::fail("non-empty texts accepted", fuzz::printable(entity) + " " + fuzz::printable(character));
            if (StreamAccess::symbols(stream) != before)
                fuzz::fail("a refused pair leaves the table", fuzz::printable(entity));
        }
    }
    std::size_t longestEntity = 0;
    std::size_t longestCharacter = 0;
    for (const auto& [entity, character] : StreamAccess::symbols(stream)) {
        longestEntity = std::max(longestEntity, entity.size());
        longestCharacter = std::max(longestCharacter, character.size());
    }

    const std::string rest = provider.ConsumeRemainingBytesAsString();
    const std::string encoded = StreamAccess::encoded(stream, rest);
    checkBounds("encode", rest, encoded, longestCharacter, longestEntity);
    const std::string decoded = StreamAccess::decoded(stream, rest);
    checkBounds("decode", rest, decoded, StreamAccess::isUtf8(stream) ? rest.size() : longestEntity, longestCharacter);
    const auto& table = StreamAccess::symbols(stream);
    checkAgainstPlainWalk("encode", rest, encoded, walked(table, rest, true));
    if (!StreamAccess::isUtf8(stream)) checkAgainstPlainWalk("decode", rest, decoded, walked(table, rest, false));

    rkXMLDocument document;
    std::string source = rest;
    try {
        stream.readDocumentFromString(document, source);
    } catch (const std::runtime_error&) {
        // a parse error: fine
    }
    return 0;
}
