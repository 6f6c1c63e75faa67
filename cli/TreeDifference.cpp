#include "TreeDifference.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <rkXMLFactory.h>
#include <rkXMLHeader.h>

namespace rkxml_cli {
namespace {

bool isBlank(const std::string& value) { return value.find_first_not_of(" \t\n\r") == std::string::npos; }

bool sameValue(const std::string& first, const std::string& second) {
    return first == second || (isBlank(first) && isBlank(second));
}

// Compares two nodes of the same kind, leaving children to the walk.
Difference::Kind differenceOf(rkXMLNode& first, rkXMLNode& second) {
    if (first.getElementType() == rkXMLNode::Header) {
        const auto& a = static_cast<const rkXMLHeader&>(first);
        const auto& b = static_cast<const rkXMLHeader&>(second);
        const bool same = a.getVersion() == b.getVersion() && a.getEncodingType() == b.getEncodingType();
        return same ? Difference::None : Difference::Header;
    }
    if (first.getElementType() == rkXMLNode::Comment) {
        return first.getName() == second.getName() ? Difference::None : Difference::Comment;
    }
    const rkXMLElement* a = rkXMLFactory::asElement(&first);
    const rkXMLElement* b = rkXMLFactory::asElement(&second);
    if (a == nullptr || b == nullptr) return Difference::None;  // nodes of no kind write nothing
    if (a->getName() != b->getName()) return Difference::Name;
    if (a->getAttributes() != b->getAttributes()) return Difference::Attributes;
    if (!sameValue(a->getValue(), b->getValue())) return Difference::Value;
    return Difference::None;
}

}  // namespace

Difference firstDifference(const rkXMLDocument& first, const rkXMLDocument& second) {
    using Pair = std::pair<rkXMLElement*, rkXMLElement*>;
    std::vector<Pair> pending{{rkXMLFactory::asElement(first.getRoot()), rkXMLFactory::asElement(second.getRoot())}};
    if (!sameValue(pending[0].first->getValue(), pending[0].second->getValue())) {
        return {Difference::Value, pending[0].first};
    }
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        if (a->size() != b->size()) return {Difference::Children, a};
        const std::size_t childPairs = pending.size();
        for (auto x = a->begin(), y = b->begin(); x != a->end(); ++x, ++y) {
            if ((*x)->getElementType() != (*y)->getElementType()) return {Difference::Children, a};
            const Difference::Kind kind = differenceOf(**x, **y);
            if (kind != Difference::None) return {kind, *x};
            rkXMLElement* childOfA = rkXMLFactory::asElement(*x);
            if (childOfA != nullptr) pending.emplace_back(childOfA, rkXMLFactory::asElement(*y));
        }
        // The first child is compared next, so that differences are found in document order.
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(childPairs), pending.end());
    }
    return {};
}

}  // namespace rkxml_cli
