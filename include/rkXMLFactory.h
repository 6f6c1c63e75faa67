#ifndef RKXML_FACTORY_H
#define RKXML_FACTORY_H

#include <list>
#include <string>

#include "rkXMLElement.h"
#include "rkXMLExport.h"
#include "rkXMLNode.h"

/// Free functions that make the common walks and edits of a document tree one
/// call each. Every function checks its parent first: a null pointer or a node
/// that is not an element gives null, false or an empty list. Returned pointers
/// are borrowed from the tree.
///
/// Lookups by name match children of every kind, comments included, so cast what
/// they return with asElement, which answers null for anything but an element.
///
/// Usage:
///
///     rkXMLElement* window = rkXMLFactory::asElement(
///         rkXMLFactory::setElement(top, "window", false, rkXMLElement::npos));
///     if (window != nullptr) window->setAttribute("width", "800");
///     rkXMLFactory::setComment(top, " main window ", 0);
///     for (rkXMLNode* item : rkXMLFactory::getElements(top, "item")) { ... }
namespace rkXMLFactory {

/// `node` as an element, or null when it is null or of another kind (a comment, a header).
RKXML_API rkXMLElement* asElement(rkXMLNode* node);

/// Creates an element or comment named `name` under `parent` at `position` (or at the end);
/// null for a null or non-element parent, or a type other than Element and Comment.
RKXML_API rkXMLNode* createNode(rkXMLNode* parent, rkXMLNode::TType type, const std::string& name,
                                unsigned int position);
/// The first child named `name` (of any kind), or else a new node as createNode makes it; null on
/// a null or non-element parent, or when nothing is found and the type cannot be created.
RKXML_API rkXMLNode* getSaveChild(rkXMLNode* parent, rkXMLNode::TType type, const std::string& name,
                                  unsigned int position);
/// The first child of any kind named `name`; null if none or on a null or non-element parent.
RKXML_API rkXMLNode* getElementAsFirst(rkXMLNode* parent, const std::string& name);
/// The child at `index` of any kind; null if out of range or on a null or non-element parent.
RKXML_API rkXMLNode* getElement(rkXMLNode* parent, unsigned int index);
/// A new element (alwaysCreate) or the first child named `name`, else a new element at `position`;
/// null on a null or non-element parent.
RKXML_API rkXMLNode* setElement(rkXMLNode* parent, const std::string& name, bool alwaysCreate, unsigned int position);
/// Unlinks and destroys `node` with its subtree; false (nothing destroyed) if it is null or not in
/// the child list of the element its parent link names.
RKXML_API bool removeElement(rkXMLNode* node);
/// Replaces the text of the comment at `position` (false), or inserts a new comment there or
/// appends one (true); false on a null or non-element parent.
RKXML_API bool setComment(rkXMLNode* parent, const std::string& comment, unsigned int position);
/// The comment children of `parent` in order; empty on a null or non-element parent.
RKXML_API std::list<rkXMLNode*> getComments(rkXMLNode* parent);
/// The element children of `parent` named `name`, in order; empty on a null or non-element parent.
RKXML_API std::list<rkXMLNode*> getElements(rkXMLNode* parent, const std::string& name);

}  // namespace rkXMLFactory

#endif
