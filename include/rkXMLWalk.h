#ifndef RKXML_WALK_H
#define RKXML_WALK_H

#include <vector>

#include "rkXMLElement.h"
#include "rkXMLExport.h"
#include "rkXMLNode.h"

namespace rkxml_detail {
struct WalkAccess;
}

/// A walk through every node below an element, depth first in document order,
/// without recursion: its stack grows on the heap, so a million nested elements
/// walk as well as one. Each step stops at one event: a node reached (for an
/// element, before its children) or an element left (after its children). The
/// element the walk starts from gives no event; null entries of a child list are
/// passed over. Nodes must not be added to or removed from the lists that the
/// walk is in; values, names and attributes may change.
///
/// Usage, writing a tree as nested tags:
///
///     for (rkXMLWalk walk(root); walk.next();) {
///         if (walk.isLeaving()) { out << indent(walk.depth()) << "</" << walk.node()->getName() << ">"; continue; }
///         if (walk.element() == nullptr) { out << ...; continue; }   // a comment or a header
///         out << indent(walk.depth()) << "<" << walk.node()->getName() << ">";
///         if (walk.element()->empty()) walk.skipChildren();          // no children, no end tag
///     }
class RKXML_API rkXMLWalk {
public:
    /// A walk that has not started; the first next() stops at the first child of `root`.
    explicit rkXMLWalk(const rkXMLElement& root);

    /// Moves to the next event; false, with node() null, when every node below the root was walked.
    bool next();
    /// Stepped on from the element just reached: its children and its leaving are passed over.
    /// Does nothing at any other event.
    void skipChildren() {
        if (!leaving) entering = nullptr;
    }

    /// The node of the current event; null before the first next() and after the last.
    rkXMLNode* node() const { return current; }
    /// The current node as an element; null if it is another kind of node, or there is none.
    rkXMLElement* element() const { return currentElement; }
    /// Whether the current event leaves an element after its children; false when it reaches a node.
    bool isLeaving() const { return leaving; }
    /// The current node's depth: 0 for a child of the root (and when there is no current node), 1 for a grandchild.
    unsigned depth() const { return open.empty() ? 0 : static_cast<unsigned>(open.size() - 1); }
    /// The element whose child list holds the current node (the root for depth 0); null if there is none.
    const rkXMLElement* holder() const { return current != nullptr ? open.back().element : nullptr; }

private:
    friend struct rkxml_detail::WalkAccess;

    struct Level {
        const rkXMLElement* element;
        rkXMLElement::const_iterator next;
    };

    // The elements walked into, the root first; the last one holds the current node. An element reached
    // is walked into at the next step, so that skipChildren() can still pass over it.
    std::vector<Level> open;
    rkXMLNode* current = nullptr;
    rkXMLElement* currentElement = nullptr;
    const rkXMLElement* entering = nullptr;  // the element reached, walked into at the next step
    bool leaving = false;
};

#endif
