#include "rkXMLNode.h"

rkXMLNode::rkXMLNode() : rkXMLNode(Undefined) {}

rkXMLNode::rkXMLNode(TType type) : parent(nullptr), type(type) {}

rkXMLNode::~rkXMLNode() {
    parent = nullptr;
    name.clear();
}

rkXMLNode* rkXMLNode::getParent() { return parent; }

const std::string& rkXMLNode::getName() const { return name; }

rkXMLNode::TType rkXMLNode::getElementType() const { return type; }

void rkXMLNode::setName(const std::string& newName) { name = newName; }

void rkXMLNode::setParent(rkXMLNode* newParent) { parent = newParent; }
