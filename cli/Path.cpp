#include "Path.h"

#include <utility>

#include <rkXMLFactory.h>

#include "Messages.h"

namespace rkxml_cli {

std::optional<Path> parsePath(const std::string& text, std::string& problem) {
    Path path{text, {}, {}};
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = text.find('/', start);
        const std::string step = text.substr(start, slash == std::string::npos ? slash : slash - start);
        if (path.attribute) {
            problem = "an @attribute must be the last step: " + text;
            return std::nullopt;
        }
        if (step.empty() || step == "@") {
            problem = "empty name in '" + text + "'";
            return std::nullopt;
        }
        if (step.front() == '@') {
            path.attribute = step.substr(1);
        } else {
            path.elements.push_back(step);
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (path.elements.empty()) {
        problem = "names no element: " + text;
        return std::nullopt;
    }
    return path;
}

bool convertPath(Path& path, Charset charset, std::string& unheld) {
    auto convert = [charset, &unheld](std::string& name) {
        Converted converted = fromUtf8(name, charset);
        if (!converted.unheld.empty()) {
            unheld = converted.unheld;
            return false;
        }
        name = std::move(converted.text);
        return true;
    };
    for (std::string& name : path.elements) {
        if (!convert(name)) return false;
    }
    return !path.attribute || convert(*path.attribute);
}

rkXMLElement* follow(const rkXMLDocument& document, const std::string& fileName, const Path& path, bool create) {
    rkXMLElement* element = rkXMLFactory::asElement(document.getTopLevelElement());
    std::string reached = path.elements.front();
    if (element == nullptr && create) {
        element = rkXMLFactory::asElement(
            rkXMLFactory::createNode(document.getRoot(), rkXMLNode::Element, reached, rkXMLElement::npos));
    }
    if (element == nullptr || element->getName() != reached) {
        const std::string top =
            element == nullptr ? "no top-level element" : "the top-level element is " + shown(element->getName());
        complain(shown(fileName) + ": " + shown(reached) + " not found (" + top + ")");
        return nullptr;
    }
    for (std::size_t i = 1; i < path.elements.size(); ++i) {
        const std::string& name = path.elements[i];
        reached += "/" + name;
        rkXMLElement* child = rkXMLFactory::findElement(element, name);
        if (child == nullptr && create) {
            child = rkXMLFactory::asElement(
                rkXMLFactory::createNode(element, rkXMLNode::Element, name, rkXMLElement::npos));
        }
        if (child == nullptr) {
            complain(shown(fileName) + ": " + shown(reached) + " not found");
            return nullptr;
        }
        element = child;
    }
    return element;
}

}  // namespace rkxml_cli
