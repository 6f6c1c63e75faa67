// Builds a small settings document in memory and prints its top level.
#include <rkXMLDocument.h>

#include <iostream>

int main() {
    rkXMLDocument document;
    document.setHeader("1.0", "utf-8");
    auto* settings = new rkXMLElement;
    settings->setName("settings");
    settings->setParent(document.getRoot());
    settings->setAttribute("version", "2");
    document.setTopLevelElement(settings);
    std::cout << document.getHeader()->getName() << '\n' << settings->getName() << '\n';
    return 0;
}
