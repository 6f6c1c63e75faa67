#include "rkXMLDocument.h"

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "rkXMLComment.h"
#include "tree/NodeAccess.h"

namespace {

const std::string rootTagName = "?root?";

rkXMLElement* asElement(rkXMLNode* node) { return static_cast<rkXMLElement*>(node); }

std::unique_ptr<rkXMLElement> newHiddenRoot() {
    auto root = std::make_unique<rkXMLElement>();
    root->setParent(root.get());
    root->setName(rootTagName);
    return root;
}

// A new node of the source's kind, named like it; headers and elements get
// their own fields too (an element's children are copied by the caller).
std::unique_ptr<rkXMLNode> copyOfNode(rkXMLNode& source) {
    switch (source.getElementType()) {
        case rkXMLNode::Element: {
            auto& from = *asElement(&source);
            auto copy = std::make_unique<rkXMLElement>();
            copy->setName(from.getName());
            copy->setValue(from.getValue());
            rkxml_detail::ElementAccess::attributes(*copy) = rkxml_detail::ElementAccess::attributes(from);
            return copy;
        }
        case rkXMLNode::Comment: {
            auto copy = std::make_unique<rkXMLComment>();
            copy->setName(source.getName());
            return copy;
        }
        case rkXMLNode::Header: {
            auto& from = static_cast<rkXMLHeader&>(source);
            auto copy = std::make_unique<rkXMLHeader>();
            // The text is rebuilt from version and encoding, whatever the source's name says.
            copy->setEncodingType(from.getEncodingType());
            copy->setVersion(from.getVersion());
            return copy;
        }
        default:
            throw std::runtime_error("Unknown element type");
    }
}

// A deep copy of the tree below `source`, every node linked to its new holder.
// Walks with an explicit stack, so the depth of the tree does not matter; on
// failure the partial copy is released with the returned root's owner.
std::unique_ptr<rkXMLElement> copyOfTree(rkXMLNode& source) {
    std::unique_ptr<rkXMLNode> rootNode = copyOfNode(source);
    std::unique_ptr<rkXMLElement> root(asElement(rootNode.release()));
    root->setParent(root.get());

    struct Level {
        const rkXMLElement* source;
        rkXMLElement::const_iterator next;
        rkXMLElement* copy;
    };
    const auto* sourceRoot = asElement(&source);
    std::vector<Level> stack{{sourceRoot, sourceRoot->begin(), root.get()}};
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.source->end()) {
            stack.pop_back();
            continue;
        }
        rkXMLNode* child = *level.next++;
        if (child == nullptr) continue;
        std::unique_ptr<rkXMLNode> copy = copyOfNode(*child);
        rkXMLNode* linked = copy.get();
        linked->setParent(level.copy);
        level.copy->push_back(copy.release());
        if (child->getElementType() == rkXMLNode::Element) {
            const auto* childSource = asElement(child);
            stack.push_back({childSource, childSource->begin(), asElement(linked)});
        }
    }
    return root;
}

}  // namespace

rkXMLDocument::rkXMLDocument() : root(nullptr) { makeEmpty(); }

rkXMLDocument::rkXMLDocument(const rkXMLDocument& other) : root(nullptr), fileName(other.fileName) {
    if (other.root != nullptr) root = copyOfTree(*other.root).release();
}

rkXMLDocument::~rkXMLDocument() { delete root; }

rkXMLDocument& rkXMLDocument::operator=(const rkXMLDocument& other) {
    if (this != &other) {
        rkXMLDocument copy(other);
        swap(copy);
    }
    return *this;
}

void rkXMLDocument::swap(rkXMLDocument& other) noexcept {
    std::swap(root, other.root);
    fileName.swap(other.fileName);
}

const std::string& rkXMLDocument::getRootTagName() { return rootTagName; }

rkXMLNode* rkXMLDocument::getRoot() const {
    if (root == nullptr) throw std::runtime_error("invalid document root");
    return root;
}

void rkXMLDocument::makeEmpty() {
    // The new root exists before the old tree goes, so a failed allocation
    // leaves the document as it was.
    rkXMLElement* fresh = newHiddenRoot().release();
    delete root;
    root = fresh;
}

rkXMLNode* rkXMLDocument::getTopLevelElement() const {
    if (root == nullptr) return nullptr;
    for (rkXMLNode* child : *asElement(root)) {
        if (child != nullptr && child->getElementType() == rkXMLNode::Element) return child;
    }
    return nullptr;
}

bool rkXMLDocument::setTopLevelElement(rkXMLNode* element) {
    if (root == nullptr) return false;
    rkXMLElement& top = *asElement(root);
    for (auto entry = top.begin(); entry != top.end(); ++entry) {
        rkXMLNode* child = *entry;
        if (child != nullptr && child->getElementType() == rkXMLNode::Element) {
            top.erase(entry);
            // The current top-level element given again is moved, not destroyed.
            if (child != element) delete child;
            break;
        }
    }
    top.addChild(element, rkXMLElement::npos);
    return true;
}

rkXMLHeader* rkXMLDocument::getHeader() const {
    if (root == nullptr) return nullptr;
    for (rkXMLNode* child : *asElement(root)) {
        if (child != nullptr && child->getElementType() == rkXMLNode::Header) {
            return static_cast<rkXMLHeader*>(child);
        }
    }
    return nullptr;
}

bool rkXMLDocument::setHeader(const std::string& version, const std::string& encoding) {
    // A document never lacks a root through its own operations; should it, it gets one.
    if (root == nullptr) makeEmpty();
    rkXMLHeader* header = getHeader();
    if (header == nullptr) {
        auto created = std::make_unique<rkXMLHeader>();
        created->setParent(root);
        asElement(root)->push_front(created.get());
        header = created.release();
    }
    header->setEncodingType(encoding);
    header->setVersion(version);
    return true;
}

bool rkXMLDocument::setStandardHeader() { return setHeader("1.0", ""); }

bool rkXMLDocument::removeHeader() {
    rkXMLHeader* header = getHeader();
    if (header == nullptr) return false;
    // Taken from the hidden root, where it was found, whatever its parent link says:
    // a header that a caller linked without setting the link is removed all the same.
    asElement(root)->removeChild(header);
    return true;
}

void rkXMLDocument::setFileName(const std::string& name) { fileName = name; }

const std::string& rkXMLDocument::getFileName() const { return fileName; }
