#include "WrittenSize.h"

#include <string>
#include <utility>
#include <vector>

#include <rkXMLFactory.h>

namespace rkxml_cli {

std::uint64_t writtenSizeAtLeast(const rkXMLDocument& document) {
    constexpr std::uint64_t tagMarks = 5;        // "<", ">", "</", ">" around a name given twice
    constexpr std::uint64_t emptyTagMarks = 2;   // "<", ">" of an open tag ("/>" of others is one more)
    constexpr std::uint64_t commentMarks = 7;    // "<!--", "-->"
    constexpr std::uint64_t attributeMarks = 4;  // a blank, "=\"", "\""
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
            size += 2 * element->getName().size() + tagMarks + (written ? value.size() : 0);
        }
        for (const auto& [name, value] : element->getAttributes()) size += name.size() + value.size() + attributeMarks;
        for (rkXMLNode* child : *element) pending.emplace_back(child, depth + 1);
    }
    return size;
}

}  // namespace rkxml_cli
