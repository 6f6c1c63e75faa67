// The library's one walk through a tree, used by the copy, the writer and the
// document's checks.
#ifndef RKXML_TREE_TREE_WALK_H
#define RKXML_TREE_TREE_WALK_H

#include <type_traits>
#include <vector>

#include "rkXMLElement.h"
#include "rkXMLNode.h"
#include "tree/ElementCast.h"

namespace rkxml_detail {

// Visits every node below `root` in document order, depth first, without
// recursion, so any depth is walked on a small stack. Null entries are skipped.
// `enter(node, depth)` is called for each node (depth 0 for root's children) and
// answers whether to walk into it, which only an element can be; `leave(element,
// depth)` is called after the children of an element that was walked into.
template <class Element, class Enter, class Leave>
void walkDepthFirst(Element& root, Enter&& enter, Leave&& leave) {
    using Node = std::conditional_t<std::is_const_v<Element>, const rkXMLNode, rkXMLNode>;
    struct Level {
        Element* element;
        typename std::conditional_t<std::is_const_v<Element>, rkXMLElement::const_iterator, rkXMLElement::iterator>
            next;
    };
    std::vector<Level> open{{&root, root.begin()}};
    while (!open.empty()) {
        Level& level = open.back();
        if (level.next == level.element->end()) {
            Element* done = level.element;
            open.pop_back();
            if (!open.empty()) leave(*done, static_cast<unsigned>(open.size() - 1));
            continue;
        }
        Node* node = *level.next++;
        if (node == nullptr) continue;
        const auto depth = static_cast<unsigned>(open.size() - 1);
        if (enter(*node, depth)) {
            auto& element = static_cast<Element&>(*node);
            open.push_back({&element, element.begin()});
        }
    }
}

// Whether `node` lies anywhere below `root` (not `root` itself). Only child lists are
// searched, so parent links that were never set do not matter.
inline bool holdsBelow(const rkXMLElement& root, const rkXMLNode* node) {
    bool found = false;
    walkDepthFirst(
        root,
        [&](const rkXMLNode& child, unsigned) {
            found = found || &child == node;
            return !found && child.getElementType() == rkXMLNode::Element;
        },
        [](const rkXMLElement&, unsigned) {});
    return found;
}

}  // namespace rkxml_detail

#endif
