// A program outside the project that uses the library, installed or built as part of its own project;
// it answers 0 if its file reads back.
#include <rkXMLConverter.h>
#include <rkXMLDocument.h>
#include <rkXMLFStream.h>
#include <rkXMLFactory.h>

#include <string>

// Its project asks for C++14: linking rkxml gives it C++17, the standard of rkxml's headers.
#ifdef _MSVC_LANG
static_assert(_MSVC_LANG >= 201703L, "rkxml's target passes C++17 on to its users");
#else
static_assert(__cplusplus >= 201703L, "rkxml's target passes C++17 on to its users");
#endif

// Constructed before main, and in a static link possibly before anything of the library.
rkXMLDocument globalDocument;

int main(int argc, char** argv) {
    if (argc != 2) return 2;  // usage: consumer <file to write>
    globalDocument.setFileName(argv[1]);
    globalDocument.setStandardHeader();
    rkXMLElement* top = rkXMLFactory::asElement(
        rkXMLFactory::createNode(globalDocument.getRoot(), rkXMLNode::Element, "consumer", rkXMLElement::npos));
    std::string number;
    rkXMLConverter::valueToString(42, number);
    top->setValue(number);
    rkXMLFStream().writeDocument(globalDocument);
    rkXMLDocument back;
    back.setFileName(argv[1]);
    rkXMLFStream().readDocument(back);
    rkXMLElement* read = rkXMLFactory::asElement(back.getTopLevelElement());
    return back.getHeader() != nullptr && read != nullptr && read->getValue() == "42" ? 0 : 1;
}
