#include "WrittenSize.h"

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <rkXMLFactory.h>

#include "stream/StandardSymbols.h"

namespace rkxml_cli {
namespace {

// How many bytes the writer makes of each byte of a coded text: its entity's length, or 1.
using Lengths = std::array<std::uint64_t, 256>;

Lengths codedLengths(Mode mode) {
    Lengths lengths;
    lengths.fill(1);
    const auto take = [&lengths](const auto& pairs) {
        for (const auto& [entity, character] : pairs)
            lengths[static_cast<unsigned char>(*character)] = std::strlen(entity);
    };
    take(rkxml_detail::xmlEntityPairs);
    if (mode == Mode::EightBit) take(rkxml_detail::windows1252Pairs);
    return lengths;
}

std::uint64_t codedSize(const std::string& text, const Lengths& lengths) {
    std::uint64_t size = 0;
    for (const char c : text) size += lengths[static_cast<unsigned char>(c)];
    return size;
}

}  // namespace

std::uint64_t writtenSizeAtLeast(const rkXMLDocument& document, Mode mode) {
    constexpr std::uint64_t tagMarks = 5;        // "<", ">", "</", ">" around a name given twice
    constexpr std::uint64_t emptyTagMarks = 2;   // "<", ">" of an open tag ("/>" of others is one more)
    constexpr std::uint64_t commentMarks = 7;    // "<!--", "-->"
    constexpr std::uint64_t attributeMarks = 4;  // a blank, "=\"", "\""
    const Lengths values = codedLengths(mode);
    Lengths attributes;  // coded in UTF-8 mode only
    if (mode == Mode::Utf8) {
        attributes = values;
    } else {
        attributes.fill(1);
    }
    std::uint64_t size = 0;
    std::vector<std::pair<rkXMLNode*, std::uint64_t>> pending;  // nodes and their depth
    for (rkXMLNode* node : *rkXMLFactory::asElement(document.getRoot())) pending.emplace_back(node, 0);
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        size += depth + (size == 0 ? 0 : 1);  // the indentation, and a line break before all but the first line
        const rkXMLElement* element = rkXMLFactory::asElement(node);
        if (element == nullptr) {
            size += node->getName().size() + (node->getElementType() == rkXMLNode::Comment ? commentMarks : 0);
            continue;
        }
        const std::string& value = element->getValue();
        const bool written = value.find_first_not_of(" \t\n\r") != std::string::npos;  // blanks alone may not be
        if (element->empty() && !written) {
            size += element->getName().size() + emptyTagMarks;
        } else {
            size += 2 * element->getName().size() + tagMarks + (written ? codedSize(value, values) : 0);
        }
        for (const auto& [name, text] : element->getAttributes()) {
            size += name.size() + codedSize(text, attributes) + attributeMarks;
        }
        for (rkXMLNode* child : *element) pending.emplace_back(child, depth + 1);
    }
    return size;
}

}  // namespace rkxml_cli
