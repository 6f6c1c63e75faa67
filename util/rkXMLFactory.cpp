#include "rkXMLFactory.h"

#include <memory>

#include "rkXMLComment.h"
#include "tree/ElementCast.h"

using rkxml_detail::elementOrNull;

namespace rkXMLFactory {

rkXMLElement* asElement(rkXMLNode* node) { return elementOrNull(node); }

rkXMLNode* createNode(rkXMLNode* parent, rkXMLNode::TType type, const std::string& name, unsigned int position) {
    rkXMLElement* element = elementOrNull(parent);
    if (element == nullptr) return nullptr;

    // Held by a smart pointer until it is linked, so a failed allocation in
    // setName or addChild does not leak the node.
    std::unique_ptr<rkXMLNode> node;
    if (type == rkXMLNode::Element) {
        node.reset(new rkXMLElement);
    } else if (type == rkXMLNode::Comment) {
        node.reset(new rkXMLComment);
    } else {
        return nullptr;
    }
    node->setName(name);
    node->setParent(element);
    element->addChild(node.get(), position);
    return node.release();
}

rkXMLNode* getSaveChild(rkXMLNode* parent, rkXMLNode::TType type, const std::string& name, unsigned int position) {
    rkXMLElement* element = elementOrNull(parent);
    if (element == nullptr) return nullptr;
    if (rkXMLNode* found = element->getChild(name)) return found;
    return createNode(element, type, name, position);
}

rkXMLNode* getElementAsFirst(rkXMLNode* parent, const std::string& name) {
    rkXMLElement* element = elementOrNull(parent);
    return element == nullptr ? nullptr : element->getChild(name);
}

rkXMLNode* getElement(rkXMLNode* parent, unsigned int index) {
    rkXMLElement* element = elementOrNull(parent);
    return element == nullptr ? nullptr : element->getChild(index);
}

rkXMLNode* setElement(rkXMLNode* parent, const std::string& name, bool alwaysCreate, unsigned int position) {
    if (alwaysCreate) return createNode(parent, rkXMLNode::Element, name, position);
    return getSaveChild(parent, rkXMLNode::Element, name, position);
}

bool removeElement(rkXMLNode* node) {
    if (node == nullptr) return false;
    // The holder is reachable only through the parent link; a node that was
    // never given one, or whose link names a non-element, is left alone.
    rkXMLElement* holder = elementOrNull(node->getParent());
    return holder != nullptr && holder->removeChild(node);
}

bool setComment(rkXMLNode* parent, const std::string& comment, unsigned int position) {
    rkXMLElement* element = elementOrNull(parent);
    if (element == nullptr) return false;
    if (position < element->getChildCount()) {
        rkXMLNode* existing = element->getChild(position);
        if (existing != nullptr && existing->getElementType() == rkXMLNode::Comment) {
            existing->setName(comment);
            return false;
        }
    }
    return createNode(element, rkXMLNode::Comment, comment, position) != nullptr;
}

std::list<rkXMLNode*> getComments(rkXMLNode* parent) {
    std::list<rkXMLNode*> comments;
    if (rkXMLElement* element = elementOrNull(parent)) {
        for (rkXMLNode* child : *element) {
            if (child != nullptr && child->getElementType() == rkXMLNode::Comment) {
                comments.push_back(child);
            }
        }
    }
    return comments;
}

std::list<rkXMLNode*> getElements(rkXMLNode* parent, const std::string& name) {
    std::list<rkXMLNode*> elements;
    if (rkXMLElement* element = elementOrNull(parent)) {
        for (rkXMLNode* child : *element) {
            if (child != nullptr && child->getElementType() == rkXMLNode::Element && child->getName() == name) {
                elements.push_back(child);
            }
        }
    }
    return elements;
}

}  // namespace rkXMLFactory
