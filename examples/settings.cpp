// A settings store for a desktop application: load the file if it is there, else
// start one; read typed values with defaults; replace a list of children; remove a
// setting; save safely. A file that does not read whole is copied aside before the
// save, and what could be read is kept, the defaults filling in the rest.
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

// Copies the file as it is to a name that no earlier copy has, and answers that name.
static std::string keepAside(const std::string& fileName) {
    std::string copy = fileName + ".bad";
    for (int number = 2; std::filesystem::exists(copy); ++number) copy = fileName + ".bad" + std::to_string(number);
    std::filesystem::copy_file(fileName, copy);
    return copy;
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: rkxml_settings <settings.xml> [file to add to the recent files]\n";
        return 2;
    }
    const std::string fileName = argv[1];
    try {
        rkXMLDocument document;
        document.setFileName(fileName);
        rkXMLFStream stream(rkXMLFStream::Text::Utf8, rkXMLFStream::Log::None);  // we print what it finds
        try {
            if (std::filesystem::exists(fileName)) stream.readDocument(document);
        } catch (const std::runtime_error&) {
            if (!stream.droppedText()) throw;  // not read at all (unreadable, a directory): leave it alone
        }
        for (const rkXMLFStream::Diagnostic& diagnostic : stream.getDiagnostics()) {
            std::cerr << diagnostic.format(fileName) << '\n';  // settings.xml:5: error: ...
        }
        if (stream.droppedText()) {
            const std::string copy = keepAside(fileName);  // before the save; a failure stops the program here
            std::cerr << fileName << ": the file as it was is kept in " << copy << '\n';
        }
        if (document.getHeader() == nullptr) document.setStandardHeader();
        // Makes <settings> in a new file; another program's file is left alone.
        if (rkXMLFactory::makePath(document, "settings") == nullptr) throw std::runtime_error("not a settings file");

        // Typed reads: a missing, empty or malformed setting gives the default.
        const int starts = rkXMLConverter::valueOr(rkXMLFactory::getText(document, "settings/starts"), 0) + 1;
        const double zoom = rkXMLConverter::valueOr(rkXMLFactory::getText(document, "settings/zoom"), 1.0);
        rkXMLFactory::setText(document, "settings/starts", starts);
        rkXMLFactory::setText(document, "settings/zoom", zoom);

        // The recent files, newest first and at most four, replace the old list.
        std::vector<std::string> recent;
        if (argc == 3) recent.push_back(argv[2]);
        for (const std::string& name : rkXMLFactory::getTexts(document, "settings/recent/file")) {
            if (recent.size() < 4 && (recent.empty() || name != recent.front())) recent.push_back(name);
        }
        rkXMLFactory::removeElement(rkXMLFactory::findPath(document, "settings/recent"));
        for (const std::string& name : recent) rkXMLFactory::addText(document, "settings/recent/file", name);

        rkXMLFactory::removeElement(rkXMLFactory::findPath(document, "settings/legacy"));  // a setting no longer used
        // Replaces the file only once all of it is on disk, and only if no other program changed it meanwhile.
        if (!stream.writeDocumentIfUnchanged(document))
            throw std::runtime_error("changed by another program; not saved");
        std::cout << "start " << starts << ", zoom " << zoom << ", " << recent.size() << " recent files\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "rkxml_settings: " << error.what() << '\n';
        return 1;
    }
}
