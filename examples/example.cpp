// Reads a settings file, changes a few values, writes it to a new file and
// reads that back.
//
//   rkxml_example <settings.xml> <edited.xml>
#include <rkXMLConverter.h>
#include <rkXMLDocument.h>
#include <rkXMLFStream.h>
#include <rkXMLFactory.h>

#include <fstream>
#include <iostream>
#include <stdexcept>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: rkxml_example <settings.xml> <edited.xml>\n";
        return 2;
    }
    try {
        rkXMLDocument document;
        document.setFileName(argv[1]);
        rkXMLFStream stream;
        stream.readDocument(document);

        rkXMLNode* settings = document.getTopLevelElement();
        std::cout << "read " << argv[1] << ": top-level element <" << settings->getName() << ">\n";

        // A typed setting with a default: the element is found or created, and an empty
        // value keeps the default (a number reads an empty text as 0).
        rkXMLNode* zoomNode = rkXMLFactory::setElement(settings, "zoom", false, rkXMLElement::npos);
        if (zoomNode->getElementType() != rkXMLNode::Element) throw std::runtime_error("<zoom> is not an element");
        auto* zoom = static_cast<rkXMLElement*>(zoomNode);
        double factor = 1.0;
        if (!zoom->getValue().empty()) rkXMLConverter::stringToValue(zoom->getValue(), factor);
        std::string text;
        rkXMLConverter::valueToString(factor * 2, text);
        zoom->setValue(text);
        std::cout << "zoom " << factor << " -> " << text << '\n';

        // Add a recent file, and replace the comment in front of the settings.
        rkXMLNode* recent = rkXMLFactory::setElement(settings, "recent", false, rkXMLElement::npos);
        // A new element at position 0 becomes the first child.
        auto* file = static_cast<rkXMLElement*>(rkXMLFactory::createNode(recent, rkXMLNode::Element, "file", 0));
        file->setValue("/home/ada/plans/attic <draft>.svg");
        rkXMLFactory::setComment(document.getRoot(), " edited by rkxml_example ", 1);

        document.setFileName(argv[2]);
        stream.writeDocument(document);

        rkXMLDocument check;
        check.setFileName(argv[2]);
        stream.readDocument(check);
        rkXMLNode* recentAgain = rkXMLFactory::getElementAsFirst(check.getTopLevelElement(), "recent");
        const auto files = rkXMLFactory::getElements(recentAgain, "file");
        std::cout << "wrote " << argv[2] << " and read it back: " << files.size() << " recent files, first "
                  << static_cast<rkXMLElement*>(files.front())->getValue() << "\n\n";
        std::cout << std::ifstream(argv[2]).rdbuf() << '\n';
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "rkxml_example: " << error.what() << '\n';
        return 1;
    }
}
