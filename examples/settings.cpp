// A settings store for a desktop application: load the file if it is there,
// else start one; read typed values with defaults; replace a list of children;
// remove a setting; save safely. A damaged file is kept aside as <file>.bad and
// the defaults are used instead.
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

namespace {

// Reads the settings file, or starts a new document with the standard header and a <settings> element.
rkXMLElement* loadOrStart(rkXMLDocument& document, rkXMLFStream& stream, const std::string& fileName) {
    document.setFileName(fileName);
    if (std::filesystem::exists(fileName)) {
        try {
            stream.readDocument(document);
        } catch (const std::runtime_error& error) {
            std::cerr << fileName << " is damaged, kept as " << fileName << ".bad; using defaults:\n" << error.what();
            std::filesystem::copy_file(fileName, fileName + ".bad", std::filesystem::copy_options::overwrite_existing);
            document.makeEmpty();
        }
    }
    if (rkXMLElement* settings = rkXMLFactory::asElement(document.getTopLevelElement())) return settings;
    document.makeEmpty();
    document.setStandardHeader();
    return rkXMLFactory::asElement(
        rkXMLFactory::createNode(document.getRoot(), rkXMLNode::Element, "settings", rkXMLElement::npos));
}

// The first element child named `name`, created if there is none (lookups by name also find comments).
rkXMLElement* child(rkXMLElement* parent, const std::string& name) {
    const std::list<rkXMLNode*> found = rkXMLFactory::getElements(parent, name);
    if (!found.empty()) return rkXMLFactory::asElement(found.front());
    return rkXMLFactory::asElement(rkXMLFactory::createNode(parent, rkXMLNode::Element, name, rkXMLElement::npos));
}

// The value of setting `name`, or `fallback` when it is missing or empty.
template <typename T>
T get(rkXMLElement* settings, const std::string& name, T fallback) {
    const std::list<rkXMLNode*> found = rkXMLFactory::getElements(settings, name);
    if (!found.empty() && !rkXMLFactory::asElement(found.front())->getValue().empty()) {
        rkXMLConverter::stringToValue(rkXMLFactory::asElement(found.front())->getValue(), fallback);
    }
    return fallback;
}

template <typename T>
void set(rkXMLElement* settings, const std::string& name, const T& value) {
    std::string text;
    rkXMLConverter::valueToString(value, text);
    child(settings, name)->setValue(text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: rkxml_settings <settings.xml> [file to add to the recent files]\n";
        return 2;
    }
    try {
        rkXMLDocument document;
        rkXMLFStream stream;
        rkXMLElement* settings = loadOrStart(document, stream, argv[1]);

        const int starts = get(settings, "starts", 0) + 1;
        const double zoom = get(settings, "zoom", 1.0);
        set(settings, "starts", starts);
        set(settings, "zoom", zoom);

        // The recent files, newest first and at most four, replace the old list.
        std::vector<std::string> recent;
        if (argc == 3) recent.push_back(argv[2]);
        rkXMLElement* list = child(settings, "recent");
        for (rkXMLNode* file : rkXMLFactory::getElements(list, "file")) {
            const std::string& name = rkXMLFactory::asElement(file)->getValue();
            if (recent.size() < 4 && (recent.empty() || name != recent.front())) recent.push_back(name);
        }
        while (list->removeChild(0u)) {
        }
        for (const std::string& name : recent) {
            rkXMLFactory::asElement(rkXMLFactory::createNode(list, rkXMLNode::Element, "file", rkXMLElement::npos))
                ->setValue(name);
        }

        rkXMLFactory::removeElement(rkXMLFactory::getElementAsFirst(settings, "legacy"));  // a setting no longer used
        stream.writeDocument(document);
        std::cout << "start " << starts << ", zoom " << zoom << ", " << recent.size() << " recent files\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "rkxml_settings: " << error.what() << '\n';
        return 1;
    }
}
