// The step of rkXMLWalk, inline for the library's own walks: the writer and the copy take a step per
// node, and a call into the shared library for each would cost them about a tenth of their time.
#ifndef RKXML_TREE_WALK_ACCESS_H
#define RKXML_TREE_WALK_ACCESS_H

#include "rkXMLWalk.h"
#include "tree/ElementCast.h"

namespace rkxml_detail {

struct WalkAccess {
    // What rkXMLWalk::next() does.
    static bool next(rkXMLWalk& walk) {
        if (walk.entering != nullptr) {
            walk.open.push_back({walk.entering, walk.entering->begin()});
            walk.entering = nullptr;
        }
        while (!walk.open.empty()) {
            rkXMLWalk::Level& level = walk.open.back();
            if (level.next == level.element->end()) {
                const rkXMLElement* done = level.element;
                walk.open.pop_back();
                if (walk.open.empty()) break;  // the root itself gives no event
                // Every element below the root came out of a child list, which holds its nodes as non-const.
                walk.currentElement = const_cast<rkXMLElement*>(done);
                walk.current = walk.currentElement;
                walk.leaving = true;
                return true;
            }
            rkXMLNode* node = *level.next++;
            if (node == nullptr) continue;
            walk.current = node;
            walk.currentElement = elementOrNull(node);
            walk.leaving = false;
            walk.entering = walk.currentElement;
            return true;
        }
        walk.current = nullptr;
        walk.currentElement = nullptr;
        walk.leaving = false;
        return false;
    }
};

}  // namespace rkxml_detail

#endif
