#ifndef RKXML_ELEMENT_H
#define RKXML_ELEMENT_H

#include <list>
#include <map>
#include <string>

#include "rkXMLNode.h"

namespace rkxml_detail {
struct ElementAccess;
}

/// An element node with a tag name, a text value, attributes and an ordered
/// list of child nodes. The element is itself the list of its children
/// (a `std::list<rkXMLNode*>`) and owns every node in it.
///
/// Usage:
///
///     rkXMLElement* item = new rkXMLElement;
///     item->setName("item");
///     item->setAttribute("id", "7");
///     if (item->hasAttribute("id")) item->removeAttribute("id");
///     for (const auto& [name, value] : item->getAttributes()) { ... }   // in name order
///     item->setValue("text");
///     parent->addChild(item, rkXMLElement::npos);   // parent now owns item
///     item->setParent(parent);
///     for (rkXMLNode* child : *item) { ... }        // walk the children
class RKXML_API rkXMLElement : public rkXMLNode, public std::list<rkXMLNode*> {
public:
    /// As a position: the end of a child list (0xFFFFFFFF). Any position not below the count appends.
    /// Not const on purpose: callers' code was built against a plain static member and must keep building.
    static unsigned int npos;

    /// An element without name, children, value or attributes; parent null.
    rkXMLElement();
    /// Destroys every child in document order, each after it is unlinked; no recursion per level.
    ~rkXMLElement() override;

    /// The number of children.
    unsigned int getChildCount() const;
    /// The child at `index` in list order; null if `index` is not below the count.
    rkXMLNode* getChild(unsigned int index) const;
    /// The first child of any kind whose name equals `name`; null if there is none.
    rkXMLNode* getChild(const std::string& name) const;
    /// Takes ownership of `node` and links it before the child at `position`, or at the end if
    /// `position` is not below the count; a null `node` is ignored. The parent link is left alone.
    void addChild(rkXMLNode* node, unsigned int position);
    /// Unlinks and destroys the child at `index`; false if `index` is not below the count.
    bool removeChild(unsigned int index);
    /// Unlinks and destroys `node` if it is a direct child; false (nothing destroyed) otherwise.
    bool removeChild(rkXMLNode* node);

    /// Replaces the text value with a copy of `value`.
    void setValue(const std::string& value);
    /// The text value; empty if never set.
    const std::string& getValue() const;
    /// Sets attribute `name` to `value`, adding it if missing.
    void setAttribute(const std::string& name, const std::string& value);
    /// Stores the value of attribute `name` into `value`, or the empty text if there is none.
    void getAttribute(const std::string& name, std::string& value) const;
    /// Every attribute, name to value, in ascending byte order of the names; empty if there is none.
    const std::map<std::string, std::string>& getAttributes() const;
    /// Whether attribute `name` is present, also when its value is empty.
    bool hasAttribute(const std::string& name) const;
    /// Removes attribute `name`; false if there was none.
    bool removeAttribute(const std::string& name);

private:
    friend struct rkxml_detail::ElementAccess;

    std::string value;
    std::map<std::string, std::string> attributes;
};

#endif
