#ifndef RKXML_NODE_H
#define RKXML_NODE_H

#include <cstdint>
#include <string>

#include "rkXMLExport.h"

namespace rkxml_detail {
struct NodeAccess;
}

/// The common base of every node of a document tree.
///
/// Usage: nodes are heap objects. An element owns the nodes in its child list
/// and destroys them; a node that is linked nowhere belongs to its creator.
///
///     rkXMLComment* note = new rkXMLComment;
///     note->setName(" settings ");          // a comment's text is its name
///     element->addChild(note, rkXMLElement::npos);
///     note->setParent(element);             // linking leaves the parent link alone
class RKXML_API rkXMLNode {
public:
    /// The kind of a node; fixed by the constructor of the node's class.
    enum TType : std::uint32_t { Undefined = 0, Element = 1, Comment = 2, Header = 3 };

    /// A plain node of no kind: parent null, name empty, type Undefined.
    rkXMLNode();
    /// Clears the parent link and the name; does not unlink the node from a child list.
    virtual ~rkXMLNode();

    /// Not copyable: a node has one place in one tree (rkXMLDocument copies a whole tree).
    rkXMLNode(const rkXMLNode&) = delete;
    /// Not assignable, for the same reason.
    rkXMLNode& operator=(const rkXMLNode&) = delete;

    /// The parent link: the element that holds this node, itself for a hidden root, or null.
    rkXMLNode* getParent();
    /// The name: tag name, comment text or declaration text; empty if never set.
    const std::string& getName() const;
    /// The node's kind; never changes.
    TType getElementType() const;
    /// Replaces the name with a copy of `name`; any text is accepted.
    void setName(const std::string& name);
    /// Stores the parent link only; does not link the node into `parent`'s child list.
    void setParent(rkXMLNode* parent);

protected:
    /// Used by the derived classes to fix their kind.
    explicit rkXMLNode(TType type);

private:
    friend struct rkxml_detail::NodeAccess;

    rkXMLNode* parent;
    std::string name;
    TType type;
};

#endif
