#include "rkXMLElement.h"

#include <iterator>

#include "tree/ElementCast.h"

unsigned int rkXMLElement::npos = 0xFFFFFFFFu;

rkXMLElement::rkXMLElement() : rkXMLNode(Element) {}

rkXMLElement::~rkXMLElement() {
    // Children go in document order, depth first, each unlinked before it is
    // destroyed; this element's later children stay in its list until their
    // turn. A child element's own children are handed to the front of the
    // pending list before it is deleted, so its destructor finds nothing to
    // destroy and no destructor recurses, however deep the tree is.
    std::list<rkXMLNode*> pending;
    while (!empty()) {
        pending.splice(pending.end(), *this, begin());
        while (!pending.empty()) {
            rkXMLNode* node = pending.front();
            pending.pop_front();
            if (node == nullptr) continue;
            if (rkXMLElement* element = rkxml_detail::elementOrNull(node)) pending.splice(pending.begin(), *element);
            delete node;
        }
    }
}

unsigned int rkXMLElement::getChildCount() const { return static_cast<unsigned int>(size()); }

rkXMLNode* rkXMLElement::getChild(unsigned int index) const {
    if (index >= size()) return nullptr;
    return *std::next(begin(), index);
}

rkXMLNode* rkXMLElement::getChild(const std::string& name) const {
    for (rkXMLNode* child : *this) {
        if (child != nullptr && child->getName() == name) return child;
    }
    return nullptr;
}

void rkXMLElement::addChild(rkXMLNode* node, unsigned int position) {
    // An element in its own list would be a cycle that its destructor walks into freed memory.
    if (node == nullptr || node == this) return;
    if (position < size()) {
        insert(std::next(begin(), position), node);
    } else {
        push_back(node);
    }
}

bool rkXMLElement::removeChild(unsigned int index) {
    if (index >= size()) return false;
    auto entry = std::next(begin(), index);
    rkXMLNode* node = *entry;
    erase(entry);
    delete node;
    return true;
}

bool rkXMLElement::removeChild(rkXMLNode* node) {
    if (node == nullptr) return false;
    for (auto entry = begin(); entry != end(); ++entry) {
        if (*entry == node) {
            erase(entry);
            delete node;
            return true;
        }
    }
    return false;
}

void rkXMLElement::setValue(const std::string& newValue) { value = newValue; }

const std::string& rkXMLElement::getValue() const { return value; }

void rkXMLElement::setAttribute(const std::string& name, const std::string& newValue) {
    attributes.insert_or_assign(name, newValue);
}

void rkXMLElement::getAttribute(const std::string& name, std::string& out) const {
    auto found = attributes.find(name);
    if (found != attributes.end()) {
        out = found->second;
    } else {
        out.clear();
    }
}

const std::map<std::string, std::string>& rkXMLElement::getAttributes() const { return attributes; }

bool rkXMLElement::hasAttribute(const std::string& name) const { return attributes.find(name) != attributes.end(); }

bool rkXMLElement::removeAttribute(const std::string& name) { return attributes.erase(name) != 0; }
