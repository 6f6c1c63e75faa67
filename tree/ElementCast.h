// The two ways the library looks at a node as an element: checked by its type
// tag, or known to be one. A node tagged Element is always an rkXMLElement.
#ifndef RKXML_TREE_ELEMENT_CAST_H
#define RKXML_TREE_ELEMENT_CAST_H

#include "rkXMLElement.h"
#include "rkXMLNode.h"
#include "tree/NodeAccess.h"

namespace rkxml_detail {

// `node` as an element if its type tag says it is one; null for any other node and for null.
// The tag is all that is read: a node tagged Element is always an rkXMLElement.
inline rkXMLElement* elementOrNull(rkXMLNode* node) {
    return node != nullptr && NodeAccess::type(*node) == rkXMLNode::Element ? static_cast<rkXMLElement*>(node)
                                                                            : nullptr;
}
inline const rkXMLElement* elementOrNull(const rkXMLNode* node) {
    return node != nullptr && NodeAccess::type(*node) == rkXMLNode::Element ? static_cast<const rkXMLElement*>(node)
                                                                            : nullptr;
}

// `node`, whose type tag the caller has checked to be Element, as an element.
inline rkXMLElement& knownElement(rkXMLNode& node) { return static_cast<rkXMLElement&>(node); }
inline const rkXMLElement& knownElement(const rkXMLNode& node) { return static_cast<const rkXMLElement&>(node); }

}  // namespace rkxml_detail

#endif
