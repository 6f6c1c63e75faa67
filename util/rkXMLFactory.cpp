#include "rkXMLFactory.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "rkXMLComment.h"
#include "rkXMLConverter.h"
#include "rkXMLDocument.h"
#include "tree/ElementCast.h"

using rkxml_detail::elementOrNull;

namespace {

// The steps of `text`, or none for a malformed path.
std::optional<rkXMLFactory::PathSteps> split(const std::string& text) {
    rkXMLFactory::PathSteps steps;
    std::string problem;
    if (!rkXMLFactory::parsePath(text, steps, problem)) return std::nullopt;
    return steps;
}

// The element that the path names in `document`, or null when one is missing; for a path that ends in an
// attribute, null also when the element lacks that attribute.
rkXMLElement* found(const rkXMLDocument& document, const rkXMLFactory::PathSteps& path) {
    std::size_t reached = 0;
    rkXMLElement* element = rkXMLFactory::reachPath(document, path, reached);
    if (reached < path.elements.size()) return nullptr;
    if (path.attribute && !element->hasAttribute(*path.attribute)) return nullptr;
    return element;
}

// Sets the text of what `path` names to `value` as valueToString writes it.
template <typename Value>
bool setValue(rkXMLDocument& document, const std::string& path, Value value) {
    std::string text;
    rkXMLConverter::valueToString(value, text);
    return rkXMLFactory::setText(document, path, text);
}

}  // namespace

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

rkXMLElement* findElement(rkXMLNode* parent, const std::string& name) {
    if (rkXMLElement* element = elementOrNull(parent)) {
        for (rkXMLNode* child : *element) {
            rkXMLElement* found = elementOrNull(child);
            if (found != nullptr && found->getName() == name) return found;
        }
    }
    return nullptr;
}

bool parsePath(const std::string& text, PathSteps& steps, std::string& problem) {
    steps = PathSteps();
    for (std::size_t start = 0;;) {
        const std::size_t slash = text.find('/', start);
        std::string step = text.substr(start, slash == std::string::npos ? slash : slash - start);
        if (steps.attribute) {
            problem = "an @attribute must be the last step: " + text;
            return false;
        }
        if (step.empty() || step == "@") {
            problem = "empty name in '" + text + "'";
            return false;
        }
        if (step.front() == '@') {
            steps.attribute = step.substr(1);
        } else {
            steps.elements.push_back(std::move(step));
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (steps.elements.empty()) {
        problem = "names no element: " + text;
        return false;
    }
    return true;
}

rkXMLElement* reachPath(const rkXMLDocument& document, const PathSteps& steps, std::size_t& reached) {
    reached = 0;
    rkXMLElement* element = elementOrNull(document.getTopLevelElement());
    if (element == nullptr || steps.elements.empty() || element->getName() != steps.elements.front()) return nullptr;
    for (reached = 1; reached < steps.elements.size(); ++reached) {
        rkXMLElement* child = findElement(element, steps.elements[reached]);
        if (child == nullptr) break;
        element = child;
    }
    return element;
}

rkXMLElement* makePath(rkXMLDocument& document, const PathSteps& steps) {
    if (steps.elements.empty()) return nullptr;
    std::size_t reached = 0;
    rkXMLElement* element = reachPath(document, steps, reached);
    if (element == nullptr && document.getTopLevelElement() != nullptr) return nullptr;  // of another name
    if (element == nullptr) {
        element = elementOrNull(
            createNode(document.getRoot(), rkXMLNode::Element, steps.elements.front(), rkXMLElement::npos));
        reached = 1;
    }
    for (; reached < steps.elements.size(); ++reached) {
        element = elementOrNull(createNode(element, rkXMLNode::Element, steps.elements[reached], rkXMLElement::npos));
    }
    if (steps.attribute && !element->hasAttribute(*steps.attribute)) element->setAttribute(*steps.attribute, "");
    return element;
}

rkXMLElement* findPath(const rkXMLDocument& document, const std::string& path) {
    const std::optional<PathSteps> steps = split(path);
    return steps ? found(document, *steps) : nullptr;
}

rkXMLElement* makePath(rkXMLDocument& document, const std::string& path) {
    const std::optional<PathSteps> steps = split(path);
    return steps ? makePath(document, *steps) : nullptr;
}

std::string getText(const rkXMLDocument& document, const std::string& path) {
    const std::optional<PathSteps> steps = split(path);
    const rkXMLElement* element = steps ? found(document, *steps) : nullptr;
    if (element == nullptr) return {};
    return steps->attribute ? element->getAttributes().at(*steps->attribute) : element->getValue();
}

std::vector<std::string> getTexts(const rkXMLDocument& document, const std::string& path) {
    std::vector<std::string> texts;
    std::optional<PathSteps> parsed = split(path);
    if (!parsed) return texts;
    PathSteps& steps = *parsed;
    const std::optional<std::string> attribute = std::move(steps.attribute);
    steps.attribute.reset();
    std::list<rkXMLNode*> named;
    if (steps.elements.size() == 1) {
        named.push_back(found(document, steps));  // a one-step path names the top-level element alone
    } else {
        const std::string last = steps.elements.back();
        steps.elements.pop_back();
        named = getElements(found(document, steps), last);
    }
    for (rkXMLNode* node : named) {
        const rkXMLElement* element = elementOrNull(node);
        if (element == nullptr) continue;
        if (!attribute) {
            texts.push_back(element->getValue());
        } else if (element->hasAttribute(*attribute)) {
            texts.push_back(element->getAttributes().at(*attribute));
        }
    }
    return texts;
}

bool addText(rkXMLDocument& document, const std::string& path, const std::string& text) {
    std::optional<PathSteps> parsed = split(path);
    if (!parsed || parsed->attribute) return false;
    PathSteps& steps = *parsed;
    const std::string last = steps.elements.back();
    rkXMLNode* parent = nullptr;
    if (steps.elements.size() > 1) {
        steps.elements.pop_back();
        parent = makePath(document, steps);
    } else if (document.getTopLevelElement() == nullptr) {
        parent = document.getRoot();  // a document's only top-level element
    }
    rkXMLElement* added = elementOrNull(createNode(parent, rkXMLNode::Element, last, rkXMLElement::npos));
    if (added != nullptr) added->setValue(text);
    return added != nullptr;
}

bool setText(rkXMLDocument& document, const std::string& path, const std::string& text) {
    const std::optional<PathSteps> steps = split(path);
    rkXMLElement* element = steps ? makePath(document, *steps) : nullptr;
    if (element == nullptr) return false;
    if (steps->attribute) {
        element->setAttribute(*steps->attribute, text);
    } else {
        element->setValue(text);
    }
    return true;
}

bool setText(rkXMLDocument& document, const std::string& path, const char* text) {
    return setValue(document, path, text);
}
bool setText(rkXMLDocument& document, const std::string& path, bool value) { return setValue(document, path, value); }
bool setText(rkXMLDocument& document, const std::string& path, int value) { return setValue(document, path, value); }
bool setText(rkXMLDocument& document, const std::string& path, unsigned int value) {
    return setValue(document, path, value);
}
bool setText(rkXMLDocument& document, const std::string& path, long value) { return setValue(document, path, value); }
bool setText(rkXMLDocument& document, const std::string& path, unsigned long value) {
    return setValue(document, path, value);
}
bool setText(rkXMLDocument& document, const std::string& path, long long value) {
    return setValue(document, path, value);
}
bool setText(rkXMLDocument& document, const std::string& path, unsigned long long value) {
    return setValue(document, path, value);
}
bool setText(rkXMLDocument& document, const std::string& path, float value) { return setValue(document, path, value); }
bool setText(rkXMLDocument& document, const std::string& path, double value) { return setValue(document, path, value); }

}  // namespace rkXMLFactory
