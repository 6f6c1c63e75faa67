// A program outside the project that uses the installed library.
#include <rkXMLConverter.h>
#include <rkXMLDocument.h>
#include <rkXMLFStream.h>
#include <rkXMLFactory.h>

#include <iostream>
#include <string>

// Constructed before main, and in a static link possibly before anything of the library.
rkXMLDocument globalDocument;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: consumer <file to write>\n";
        return 2;
    }
    globalDocument.setFileName(argv[1]);
    globalDocument.setStandardHeader();
    rkXMLElement* top = rkXMLFactory::asElement(
        rkXMLFactory::createNode(globalDocument.getRoot(), rkXMLNode::Element, "consumer", rkXMLElement::npos));
    std::string number;
    rkXMLConverter::valueToString(42, number);
    top->setValue(number);
    rkXMLFStream stream;
    stream.writeDocument(globalDocument);

    rkXMLDocument back;
    back.setFileName(argv[1]);
    stream.readDocument(back);
    const bool ok =
        back.getHeader() != nullptr && rkXMLFactory::asElement(back.getTopLevelElement())->getValue() == "42";
    std::cout << (ok ? "consumer ok" : "consumer FAILED") << '\n';
    return ok ? 0 : 1;
}
