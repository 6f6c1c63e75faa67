// Internal access to node fields that the public interface keeps private:
// the reader moves names and values into nodes, the copy and the writer reach
// an element's whole attribute set. The type tag and the parent link are read
// here, inline, where the library walks or builds a tree: the public accessors
// are calls into the shared library, one or more for every node.
#ifndef RKXML_TREE_NODE_ACCESS_H
#define RKXML_TREE_NODE_ACCESS_H

#include <map>
#include <string>

#include "rkXMLElement.h"
#include "rkXMLNode.h"

namespace rkxml_detail {

struct NodeAccess {
    static std::string& name(rkXMLNode& node) { return node.name; }
    static const std::string& name(const rkXMLNode& node) { return node.name; }
    static rkXMLNode::TType type(const rkXMLNode& node) { return node.type; }
    static rkXMLNode* parent(const rkXMLNode& node) { return node.parent; }
    static void setParent(rkXMLNode& node, rkXMLNode* parent) { node.parent = parent; }
};

struct ElementAccess {
    using Attributes = std::map<std::string, std::string>;

    static Attributes& attributes(rkXMLElement& element) { return element.attributes; }
    static const Attributes& attributes(const rkXMLElement& element) { return element.attributes; }
    static std::string& value(rkXMLElement& element) { return element.value; }
    static const std::string& value(const rkXMLElement& element) { return element.value; }
};

}  // namespace rkxml_detail

#endif
