#include "rkXMLWalk.h"

rkXMLWalk::rkXMLWalk(const rkXMLElement& root) : open{{&root, root.begin()}} {}

bool rkXMLWalk::next() {
    // An element is walked into only now, so that skipChildren() can still pass over it.
    if (enterCurrent) {
        const rkXMLElement* entered = element();
        open.push_back({entered, entered->begin()});
        enterCurrent = false;
    }
    while (!open.empty()) {
        Level& level = open.back();
        if (level.next == level.element->end()) {
            const rkXMLElement* done = level.element;
            open.pop_back();
            if (open.empty()) break;  // the root itself gives no event
            // Every element below the root came out of a child list, which holds its nodes as non-const.
            current = const_cast<rkXMLElement*>(done);
            currentHolder = open.back().element;
            currentDepth = static_cast<unsigned>(open.size() - 1);
            leaving = true;
            return true;
        }
        rkXMLNode* node = *level.next++;
        if (node == nullptr) continue;
        current = node;
        currentHolder = level.element;
        currentDepth = static_cast<unsigned>(open.size() - 1);
        leaving = false;
        enterCurrent = element() != nullptr;
        return true;
    }
    current = nullptr;
    currentHolder = nullptr;
    leaving = false;
    return false;
}

void rkXMLWalk::skipChildren() { enterCurrent = false; }
