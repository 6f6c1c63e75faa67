// A settings store for a desktop application: load the file if it is there,
// else start one; read typed values with defaults; replace a list of children;
// remove a setting; save safely. A damaged file is kept aside as <file>.bad and
// the defaults are used instead. The file is UTF-8, as other XML tools read it.
//
//   rkxml_settings <settings.xml> [file to add to the recent files]
#include <rkXMLConverter.h>
#include <rkXMLDocument.h>
#include <rkXMLFStream.h>
#include <rkXMLFactory.h>

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: rkxml_settings <settings.xml> [file to add to the recent files]\n";
        return 2;
    }
    const std::string fileName = argv[1];
    try {
        rkXMLDocument document;
        document.setFileName(fileName);
        rkXMLFStream stream;
        stream.utf8Symbols();  // keep the 8-bit default only for files already written in it
        try {
            if (std::filesystem::exists(fileName)) stream.readDocument(document);
        } catch (const std::runtime_error& error) {  // the document is empty again
            std::cerr << fileName << " is damaged, kept as " << fileName << ".bad; using defaults:\n" << error.what();
            std::filesystem::copy_file(fileName, fileName + ".bad", std::filesystem::copy_options::overwrite_existing);
        }
        if (document.getHeader() == nullptr) document.setStandardHeader();
        // Makes <settings> in a new file; another program's file is left alone.
        if (rkXMLFactory::makePath(document, "settings") == nullptr) throw std::runtime_error("not a settings file");

        // Typed reads: a missing, empty or malformed setting gives the default.
        const int starts = rkXMLConverter::valueOr(rkXMLFactory::getText(document, "settings/starts"), 0) + 1;
        const double zoom = rkXMLConverter::valueOr(rkXMLFactory::getText(document, "settings/zoom"), 1.0);
        std::string text;
        rkXMLConverter::valueToString(starts, text);
        rkXMLFactory::setText(document, "settings/starts", text);
        rkXMLConverter::valueToString(zoom, text);
        rkXMLFactory::setText(document, "settings/zoom", text);

        // The recent files, newest first and at most four, replace the old list.
        std::vector<std::string> recent;
        if (argc == 3) recent.push_back(argv[2]);
        rkXMLElement* list = rkXMLFactory::findPath(document, "settings/recent");
        for (rkXMLNode* file : rkXMLFactory::getElements(list, "file")) {
            const std::string& name = rkXMLFactory::asElement(file)->getValue();
            if (recent.size() < 4 && (recent.empty() || name != recent.front())) recent.push_back(name);
        }
        rkXMLFactory::removeElement(list);
        list = rkXMLFactory::makePath(document, "settings/recent");
        for (const std::string& name : recent) {
            rkXMLFactory::asElement(rkXMLFactory::createNode(list, rkXMLNode::Element, "file", rkXMLElement::npos))
                ->setValue(name);
        }

        rkXMLFactory::removeElement(rkXMLFactory::findPath(document, "settings/legacy"));  // a setting no longer used
        stream.writeDocument(document);
        std::cout << "start " << starts << ", zoom " << zoom << ", " << recent.size() << " recent files\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "rkxml_settings: " << error.what() << '\n';
        return 1;
    }
}
