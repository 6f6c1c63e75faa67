#include "rkXMLDifference.h"

#include <map>
#include <utility>
#include <vector>

#include "rkXMLDocument.h"
#include "rkXMLHeader.h"
#include "rkXMLWalk.h"
#include "tree/ElementCast.h"

namespace {

using Difference = rkXMLDifference;

// A text as a reason shows it: quoted, and cut where a long value would drown the line.
std::string quoted(const std::string& text) {
    constexpr std::size_t shown = 40;
    return "\"" + text.substr(0, shown) + (text.size() > shown ? "\"..." : "\"");
}

std::string became(const char* what, const std::string& first, const std::string& second) {
    return std::string(what) + " " + quoted(first) + " became " + quoted(second);
}

const char* kindName(rkXMLNode::TType type) {
    switch (type) {
        case rkXMLNode::Element: return "element";
        case rkXMLNode::Comment: return "comment";
        case rkXMLNode::Header: return "header";
        default: return "node of no kind";
    }
}

// The path step of `node` in its holder's child list: the name for an element that the name finds
// (the first element of that name), else a kind or name with the child position.
std::string stepOf(const rkXMLElement& holder, const rkXMLNode& node) {
    std::size_t position = 0;
    bool sameNameBefore = false;
    for (const rkXMLNode* child : holder) {
        if (child == &node) break;
        ++position;
        sameNameBefore = sameNameBefore || (child != nullptr && child->getElementType() == rkXMLNode::Element &&
                                            child->getName() == node.getName());
    }
    const std::string at = "[" + std::to_string(position) + "]";
    switch (node.getElementType()) {
        case rkXMLNode::Element: return node.getName() + (sameNameBefore ? at : "");
        case rkXMLNode::Comment: return "#comment" + at;
        case rkXMLNode::Header: return "#header" + at;
        default: return "#node" + at;
    }
}

std::size_t nodeCount(const rkXMLElement& element) {
    std::size_t count = 0;
    for (const rkXMLNode* child : element) count += child != nullptr ? 1 : 0;
    return count;
}

// Walks two trees side by side; the elements walked into are kept for the path of a difference.
class Comparison {
public:
    Comparison(const rkXMLElement& first, const rkXMLElement& second, bool rootNamed,
               const Difference::ValueMatch& sameValue)
        : rootNamed(rootNamed), sameValue(sameValue), open{{&first, &second}} {}

    Difference run() {
        if (rootNamed) {
            Difference found = fieldDifference(*open[0].first, *open[0].second);
            if (found.differs) return found;
        }
        rkXMLWalk walkFirst(*open[0].first);
        rkXMLWalk walkSecond(*open[0].second);
        for (;;) {
            const bool moreFirst = walkFirst.next();
            const bool moreSecond = walkSecond.next();
            if (!moreFirst && !moreSecond) return {};
            // Both walks took the same steps so far: one leaving or ending first has fewer children here.
            if (moreFirst != moreSecond || walkFirst.isLeaving() != walkSecond.isLeaving()) return childCount();
            if (walkFirst.isLeaving()) {
                open.pop_back();
                continue;
            }
            const rkXMLNode& first = *walkFirst.node();
            const rkXMLNode& second = *walkSecond.node();
            if (first.getElementType() != second.getElementType()) {
                return found(
                    Difference::NodeKind, pathTo(&first), first, second,
                    std::string(kindName(first.getElementType())) + " became " + kindName(second.getElementType()));
            }
            Difference difference = fieldDifference(first, second);
            if (difference.differs) return difference;
            if (walkFirst.element() != nullptr) open.emplace_back(walkFirst.element(), walkSecond.element());
        }
    }

private:
    static Difference found(Difference::Kind kind, std::string path, const rkXMLNode& first, const rkXMLNode& second,
                            std::string reason) {
        Difference difference;
        difference.differs = true;
        difference.kind = kind;
        difference.path = std::move(path);
        difference.reason = std::move(reason);
        difference.first = &first;
        difference.second = &second;
        return difference;
    }

    // The path of `node`, a child of the innermost open element, or of that element itself when null.
    std::string pathTo(const rkXMLNode* node) const {
        std::string path = rootNamed ? open[0].first->getName() : std::string();
        auto append = [&path](const std::string& step) { path += (path.empty() ? "" : "/") + step; };
        for (std::size_t level = 1; level < open.size(); ++level)
            append(stepOf(*open[level - 1].first, *open[level].first));
        if (node != nullptr) append(stepOf(*open.back().first, *node));
        return path;
    }

    Difference childCount() const {
        const auto [first, second] = open.back();
        return found(Difference::Children, pathTo(nullptr), *first, *second,
                     std::to_string(nodeCount(*first)) + " children became " + std::to_string(nodeCount(*second)));
    }

    // Compares two nodes of one kind, apart from their children.
    Difference fieldDifference(const rkXMLNode& first, const rkXMLNode& second) const {
        const bool isRoot = &first == open[0].first;
        auto path = [&] { return isRoot ? pathTo(nullptr) : pathTo(&first); };
        switch (first.getElementType()) {
            case rkXMLNode::Element: break;
            case rkXMLNode::Header: {
                const auto& a = static_cast<const rkXMLHeader&>(first);
                const auto& b = static_cast<const rkXMLHeader&>(second);
                if (a.getVersion() != b.getVersion()) {
                    return found(Difference::Header, path(), first, second,
                                 became("version", a.getVersion(), b.getVersion()));
                }
                if (a.getEncodingType() != b.getEncodingType()) {
                    return found(Difference::Header, path(), first, second,
                                 became("encoding", a.getEncodingType(), b.getEncodingType()));
                }
                return {};
            }
            default:
                if (first.getName() == second.getName()) return {};
                return found(Difference::Name, path(), first, second,
                             became(first.getElementType() == rkXMLNode::Comment ? "text" : "name", first.getName(),
                                    second.getName()));
        }
        const rkXMLElement& a = rkxml_detail::knownElement(first);
        const rkXMLElement& b = rkxml_detail::knownElement(second);
        if (a.getName() != b.getName()) {
            return found(Difference::Name, path(), first, second, became("name", a.getName(), b.getName()));
        }
        if (a.getAttributes() != b.getAttributes()) return attributeDifference(path(), a, b);
        const bool valuesMatch = sameValue ? sameValue(a.getValue(), b.getValue()) : a.getValue() == b.getValue();
        if (!valuesMatch) {
            return found(Difference::Value, path(), first, second, became("value", a.getValue(), b.getValue()));
        }
        return {};
    }

    // The first attribute, in name order, that is missing on one side or has another value.
    static Difference attributeDifference(const std::string& elementPath, const rkXMLElement& first,
                                          const rkXMLElement& second) {
        const auto& a = first.getAttributes();
        const auto& b = second.getAttributes();
        auto x = a.begin();
        auto y = b.begin();
        while (x != a.end() && y != b.end() && *x == *y) ++x, ++y;
        const bool onlyInSecond = x == a.end() || (y != b.end() && y->first < x->first);
        const std::string& name = onlyInSecond ? y->first : x->first;
        std::string reason;
        if (onlyInSecond) {
            reason = "only in the second tree";
        } else if (y == b.end() || x->first < y->first) {
            reason = "missing in the second tree";
        } else {
            reason = became("value", x->second, y->second);
        }
        return found(Difference::Attribute, elementPath + (elementPath.empty() ? "@" : "/@") + name, first, second,
                     reason);
    }

    const bool rootNamed;
    const Difference::ValueMatch& sameValue;
    std::vector<std::pair<const rkXMLElement*, const rkXMLElement*>> open;  // [0] the roots
};

}  // namespace

rkXMLDifference rkXMLDifference::between(const rkXMLDocument& first, const rkXMLDocument& second,
                                         const ValueMatch& sameValue) {
    // A hidden root is always an element.
    return Comparison(rkxml_detail::knownElement(*first.getRoot()), rkxml_detail::knownElement(*second.getRoot()),
                      false, sameValue)
        .run();
}

rkXMLDifference rkXMLDifference::between(const rkXMLElement& first, const rkXMLElement& second,
                                         const ValueMatch& sameValue) {
    return Comparison(first, second, true, sameValue).run();
}
