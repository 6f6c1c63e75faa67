#include "Editing.h"

#include <utility>

#include "Messages.h"

namespace rkxml_cli {
namespace {

// Says that `path` is not found in `document`, from the step `reached` on (0: the top-level element).
void sayMissing(const rkXMLDocument& document, const std::string& fileName, const rkXMLFactory::PathSteps& path,
                std::size_t reached) {
    if (reached == 0) {
        const rkXMLNode* top = document.getTopLevelElement();
        const std::string holds =
            top == nullptr ? "no top-level element" : "the top-level element is " + shown(top->getName());
        complain(shown(fileName) + ": " + shown(path.elements.front()) + " not found (" + holds + ")");
        return;
    }
    std::string steps = path.elements.front();
    for (std::size_t i = 1; i <= reached; ++i) steps += "/" + path.elements[i];
    complain(shown(fileName) + ": " + shown(steps) + " not found");
}

// A file that holds nothing gets the standard declaration.
void giveHeaderIfEmpty(rkXMLDocument& document) {
    if (rkXMLFactory::asElement(document.getRoot())->empty()) document.setStandardHeader();
}

}  // namespace

bool convertPath(rkXMLFactory::PathSteps& path, rkXMLText::Charset charset, std::string& unheld) {
    auto convert = [charset, &unheld](std::string& name) {
        std::string converted;
        if (!rkXMLText::fromUtf8(name, charset, converted, unheld)) return false;
        name = std::move(converted);
        return true;
    };
    for (std::string& name : path.elements) {
        if (!convert(name)) return false;
    }
    return !path.attribute || convert(*path.attribute);
}

rkXMLElement* findElement(const rkXMLDocument& document, const std::string& fileName,
                          const rkXMLFactory::PathSteps& path) {
    std::size_t reached = 0;
    rkXMLElement* element = rkXMLFactory::reachPath(document, path, reached);
    if (reached == path.elements.size()) return element;
    sayMissing(document, fileName, path, reached);
    return nullptr;
}

bool makeEdit(Original& original, const Edit& edit, Edit& inFile) {
    inFile = edit;
    if (original.mode == Mode::Utf8) {
        std::string unheld;
        if (!convertPath(inFile.path, original.charset, unheld) ||
            !rkXMLText::fromUtf8(edit.value, original.charset, inFile.value, unheld)) {
            return complain(shown(original.fileName) + ": " + nameOf(original.charset) + " cannot hold '" +
                            shown(unheld) + "'");
        }
    }
    if (original.splices) {
        if (original.document.getTopLevelElement()->getName() == inFile.path.elements.front()) return true;
        sayMissing(original.document, original.fileName, inFile.path, 0);
        return false;
    }
    giveHeaderIfEmpty(original.document);
    if (original.exists && original.mode == Mode::EightBit) giveHeaderIfEmpty(original.asXml);
    rkXMLElement* element = rkXMLFactory::makePath(original.document, inFile.path);
    if (element == nullptr) {
        sayMissing(original.document, original.fileName, inFile.path, 0);
        return false;
    }
    if (inFile.path.attribute) {
        element->setAttribute(*inFile.path.attribute, inFile.value);
    } else {
        element->setValue(inFile.value);
    }
    return true;
}

}  // namespace rkxml_cli
