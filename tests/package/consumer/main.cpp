// A program outside the project that uses the library, installed or built as part of its own project;
// it answers 0 if its file reads back as the tree it wrote.
#include <rkXMLConverter.h>
#include <rkXMLDifference.h>
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
    return back.getHeader() != nullptr && !rkXMLDifference::between(globalDocument, back).differs ? 0 : 1;
}
