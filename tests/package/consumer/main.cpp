// A program outside the project that uses the installed library.
#include <rkXMLConverter.h>
#include <rkXMLDocument.h>
#include <rkXMLFStream.h>

#include <iostream>

int main() {
    rkXMLDocument document;
    document.setStandardHeader();
    auto* top = new rkXMLElement;
    top->setName("consumer");
    top->setParent(document.getRoot());
    document.setTopLevelElement(top);

    std::string text = "<a><b>1</b></a>";
    rkXMLFStream stream;
    stream.readDocumentFromString(document, text);

    std::string number;
    rkXMLConverter::valueToString(42, number);
    const bool ok = document.getHeader() != nullptr && document.getTopLevelElement() == top &&
                    number == "42";
    std::cout << (ok ? "consumer ok" : "consumer FAILED") << '\n';
    return ok ? 0 : 1;
}
