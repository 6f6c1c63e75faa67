#include "rkXMLDocument.h"

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLWalk.h"
#include "tree/ElementCast.h"
#include "tree/NodeAccess.h"
#include "tree/WalkAccess.h"

namespace {

using rkxml_detail::knownElement;

std::unique_ptr<rkXMLElement> newHiddenRoot() {
    auto root = std::make_unique<rkXMLElement>();
    root->setParent(root.get());
    root->setName(rkXMLDocument::getRootTagName());
    return root;
}

// A new node of the source's kind, named like it; headers and elements get
// their own fields too (an element's children are copied by the caller).
std::unique_ptr<rkXMLNode> copyOfNode(const rkXMLNode& source) {
    switch (source.getElementType()) {
        case rkXMLNode::Element: {
            const rkXMLElement& from = knownElement(source);
            auto copy = std::make_unique<rkXMLElement>();
            copy->setName(from.getName());
            copy->setValue(from.getValue());
            rkxml_detail::ElementAccess::attributes(*copy) = from.getAttributes();
            return copy;
        }
        case rkXMLNode::Comment: {
            auto copy = std::make_unique<rkXMLComment>();
            copy->setName(source.getName());
            return copy;
        }
        case rkXMLNode::Header: {
            const auto& from = static_cast<const rkXMLHeader&>(source);
            auto copy = std::make_unique<rkXMLHeader>();
            // The text is rebuilt from version and encoding, whatever the source's name says.
            copy->setEncodingType(from.getEncodingType());
            copy->setVersion(from.getVersion());
            return copy;
        }
        default: throw std::runtime_error("Unknown element type");
    }
}

// A deep copy of the tree below `source`, every node linked to its new holder.
// On failure the partial copy is released with the returned root's owner.
std::unique_ptr<rkXMLElement> copyOfTree(const rkXMLNode& source) {
    std::unique_ptr<rkXMLNode> rootNode = copyOfNode(source);
    std::unique_ptr<rkXMLElement> root(&knownElement(*rootNode.release()));
    root->setParent(root.get());
    std::vector<rkXMLElement*> holders{root.get()};  // the copy of each element walked into
    for (rkXMLWalk walk(knownElement(source)); rkxml_detail::WalkAccess::next(walk);) {
        if (walk.isLeaving()) {
            holders.pop_back();
            continue;
        }
        std::unique_ptr<rkXMLNode> copy = copyOfNode(*walk.node());
        rkXMLNode* linked = copy.get();
        linked->setParent(holders.back());
        holders.back()->push_back(copy.release());
        if (walk.element() != nullptr) holders.push_back(&knownElement(*linked));
    }
    return root;
}

// Whether `node` lies anywhere below `root` (not `root` itself). Only child lists are
// searched, so parent links that were never set do not matter.
bool holdsBelow(const rkXMLElement& root, const rkXMLNode* node) {
    for (rkXMLWalk walk(root); walk.next();) {
        if (walk.node() == node) return true;
    }
    return false;
}

}  // namespace

rkXMLDocument::rkXMLDocument() : root(nullptr) { makeEmpty(); }

rkXMLDocument::rkXMLDocument(const rkXMLDocument& other) : root(nullptr), fileName(other.fileName) {
    if (other.root != nullptr) root = copyOfTree(*other.root).release();
}

rkXMLDocument::rkXMLDocument(rkXMLDocument&& other) noexcept : root(other.root), fileName(std::move(other.fileName)) {
    other.root = nullptr;
    other.fileName.clear();
}

rkXMLDocument::~rkXMLDocument() { delete root; }

rkXMLDocument& rkXMLDocument::operator=(const rkXMLDocument& other) {
    if (this != &other) {
        rkXMLDocument copy(other);
        swap(copy);
    }
    return *this;
}

rkXMLDocument& rkXMLDocument::operator=(rkXMLDocument&& other) noexcept {
    if (this != &other) {
        delete root;
        root = std::exchange(other.root, nullptr);
        fileName = std::move(other.fileName);
        other.fileName.clear();
    }
    return *this;
}

void rkXMLDocument::swap(rkXMLDocument& other) noexcept {
    std::swap(root, other.root);
    fileName.swap(other.fileName);
}

const std::string& rkXMLDocument::getRootTagName() {
    // Made on first use, so that a document constructed by another static initialiser gets it too.
    static const std::string name = "?root?";
    return name;
}

rkXMLNode* rkXMLDocument::getRoot() const {
    // A moved-from document gives its tree away without making a new one, so that moving cannot fail.
    if (root == nullptr) root = newHiddenRoot().release();
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
    for (rkXMLNode* child : knownElement(*root)) {
        if (child != nullptr && child->getElementType() == rkXMLNode::Element) return child;
    }
    return nullptr;
}

bool rkXMLDocument::setTopLevelElement(rkXMLNode* element) {
    rkXMLElement& top = knownElement(*getRoot());
    if (element == &top) return false;
    auto current = top.begin();
    while (current != top.end() && rkxml_detail::elementOrNull(*current) == nullptr) ++current;
    rkXMLNode* old = current != top.end() ? *current : nullptr;
    // Any other node of this tree would be linked twice, or destroyed with the old element and then linked.
    if (element != nullptr && element != old && holdsBelow(top, element)) return false;
    if (old != nullptr) {
        top.erase(current);
        // The current top-level element given again is moved, not destroyed.
        if (old != element) delete old;
    }
    top.addChild(element, rkXMLElement::npos);
    return true;
}

rkXMLHeader* rkXMLDocument::getHeader() const {
    if (root == nullptr) return nullptr;
    for (rkXMLNode* child : knownElement(*root)) {
        if (child != nullptr && child->getElementType() == rkXMLNode::Header) {
            return static_cast<rkXMLHeader*>(child);
        }
    }
    return nullptr;
}

bool rkXMLDocument::setHeader(const std::string& version, const std::string& encoding) {
    rkXMLHeader* header = getHeader();
    if (header == nullptr) {
        auto created = std::make_unique<rkXMLHeader>();
        created->setParent(getRoot());
        knownElement(*root).push_front(created.get());
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
    knownElement(*root).removeChild(header);
    return true;
}

void rkXMLDocument::setFileName(const std::string& name) { fileName = name; }

const std::string& rkXMLDocument::getFileName() const { return fileName; }
