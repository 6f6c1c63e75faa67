// rkxml: checks, formats, reads and edits XML settings files from the shell.
//
//   rkxml check FILE...              the reader's diagnostics; exit 1 if any file does not read
//   rkxml format FILE... [--check]   writes each file back in the library's layout
//   rkxml get FILE PATH              prints a value, PATH like settings/window/@width
//   rkxml set FILE PATH VALUE        sets a value, creating what is missing
//
// Exit status: 0 done, 1 a file failed or a value is missing, 2 bad usage.
// Messages go to stderr, data to stdout.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <list>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <rkXMLDocument.h>
#include <rkXMLFStream.h>
#include <rkXMLFactory.h>

namespace {

enum ExitStatus { ok = 0, failed = 1, badUsage = 2 };

// A PATH argument: element names from the top-level element down, and an attribute if it ends in @name.
struct Path {
    std::string text;
    std::vector<std::string> elements;
    std::optional<std::string> attribute;
};

// Splits `text` at each '/'; a usage error when a step is empty, when an @attribute is not the last
// step, or when no element is named.
Path parsePath(const std::string& text) {
    Path path{text, {}, {}};
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = text.find('/', start);
        const std::string step = text.substr(start, slash == std::string::npos ? slash : slash - start);
        if (path.attribute) throw CLI::ValidationError("PATH", "an @attribute must be the last step: " + text);
        if (step.empty() || step == "@") throw CLI::ValidationError("PATH", "empty name in '" + text + "'");
        if (step.front() == '@') {
            path.attribute = step.substr(1);
        } else {
            path.elements.push_back(step);
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (path.elements.empty()) throw CLI::ValidationError("PATH", "names no element: " + text);
    return path;
}

// Prints `message` on stderr after the program's name; false, for callers to pass on.
bool complain(const std::string& message) {
    std::cerr << "rkxml: " << message << '\n';
    return false;
}

// The reader's diagnostics as editors and compilers show them: "file:line: error: text", with
// lines counted from 1 (the reader counts from 0).
void printDiagnostics(const std::string& fileName, const std::string& diagnostics) {
    static const std::regex form("(Error|Warning) at line ([0-9]+): (.*)");
    std::istringstream lines(diagnostics);
    for (std::string line; std::getline(lines, line);) {
        std::smatch part;
        if (std::regex_match(line, part, form)) {
            std::cerr << fileName << ':' << std::stoull(part[2]) + 1 << ": "
                      << (part[1] == "Error" ? "error" : "warning") << ": " << part[3] << '\n';
        } else {
            std::cerr << fileName << ": " << line << '\n';
        }
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads `fileName` into `document` and its bytes into `bytes`; prints why and answers false when
// it cannot be read or is malformed. With `missingIsEmpty` a file that does not exist reads as
// empty. The bytes are read here, not by readDocument, so that reading leaves no log file beside
// the file and a failure names the system's reason.
bool load(const std::string& fileName, rkXMLDocument& document, std::string& bytes, bool missingIsEmpty = false) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (file == nullptr) {
        if (missingIsEmpty && errno == ENOENT) return true;
        return complain(fileName + ": " + std::strerror(errno));
    }
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) bytes.append(buffer, n);
    if (std::ferror(file.get())) return complain(fileName + ": " + std::strerror(errno));
    try {
        rkXMLFStream().readDocumentFromString(document, bytes);
        return true;
    } catch (const std::runtime_error& e) {
        printDiagnostics(fileName, e.what());
        return false;
    }
}

// The writer's text for `document` into `text`; prints why and answers false when the writer refuses
// the tree. Asked before saving, while the document has no file name, so that a refusal leaves no
// log file beside the file.
bool render(const rkXMLDocument& document, const std::string& fileName, std::string& text) {
    try {
        rkXMLFStream().writeDocumentToString(document, text);
        return true;
    } catch (const std::runtime_error& e) {
        return complain(fileName + ": " + e.what());
    }
}

// Replaces `fileName` by `document` through the crash-safe writer; prints why and answers false on failure.
bool save(rkXMLDocument& document, const std::string& fileName) {
    document.setFileName(fileName);
    try {
        rkXMLFStream().writeDocument(document);
        return true;
    } catch (const std::runtime_error& e) {
        return complain(e.what());
    }
}

// The first element child of `parent` named `name`, or null; a comment of that name is no step.
rkXMLElement* childElement(rkXMLElement* parent, const std::string& name) {
    const std::list<rkXMLNode*> found = rkXMLFactory::getElements(parent, name);
    return found.empty() ? nullptr : rkXMLFactory::asElement(found.front());
}

// The element that `path` names, the first of each name, creating missing ones below the
// top-level element when `create`; null, after saying which step is missing, when there is none.
rkXMLElement* follow(const rkXMLDocument& document, const std::string& fileName, const Path& path, bool create) {
    rkXMLElement* element = rkXMLFactory::asElement(document.getTopLevelElement());
    std::string reached = path.elements.front();
    if (element == nullptr || element->getName() != reached) {
        const std::string top =
            element == nullptr ? "no top-level element" : "the top-level element is " + element->getName();
        complain(fileName + ": " + reached + " not found (" + top + ")");
        return nullptr;
    }
    for (std::size_t i = 1; i < path.elements.size(); ++i) {
        const std::string& name = path.elements[i];
        reached += "/" + name;
        rkXMLElement* child = childElement(element, name);
        if (child == nullptr && create) {
            child = rkXMLFactory::asElement(
                rkXMLFactory::createNode(element, rkXMLNode::Element, name, rkXMLElement::npos));
        }
        if (child == nullptr) {
            complain(fileName + ": " + reached + " not found");
            return nullptr;
        }
        element = child;
    }
    return element;
}

int checkFiles(const std::vector<std::string>& fileNames) {
    int status = ok;
    for (const std::string& fileName : fileNames) {
        rkXMLDocument document;
        std::string bytes;
        if (!load(fileName, document, bytes)) status = failed;
    }
    return status;
}

// Rewrites each file whose bytes differ from the writer's text for it; with `checkOnly` lists
// those files on stdout instead, and changes nothing.
int formatFiles(const std::vector<std::string>& fileNames, bool checkOnly) {
    int status = ok;
    for (const std::string& fileName : fileNames) {
        rkXMLDocument document;
        std::string bytes;
        std::string formatted;
        if (!load(fileName, document, bytes) || !render(document, fileName, formatted)) {
            status = failed;
        } else if (formatted != bytes && checkOnly) {
            std::cout << fileName << '\n';
            status = failed;
        } else if (formatted != bytes && !save(document, fileName)) {
            status = failed;
        }
    }
    return status;
}

int getValue(const std::string& fileName, const Path& path) {
    rkXMLDocument document;
    std::string bytes;
    if (!load(fileName, document, bytes)) return failed;
    const rkXMLElement* element = follow(document, fileName, path, false);
    if (element == nullptr) return failed;
    if (!path.attribute) {
        std::cout << element->getValue() << '\n';
        return ok;
    }
    if (!element->hasAttribute(*path.attribute)) {
        complain(fileName + ": " + path.text + " not found");
        return failed;
    }
    std::cout << element->getAttributes().at(*path.attribute) << '\n';
    return ok;
}

// Sets the value or attribute at `path`, creating the elements it names; a file that does not
// exist yet, or holds no element, gets the standard header and the top-level element first.
int setValue(const std::string& fileName, const Path& path, const std::string& value) {
    rkXMLDocument document;
    std::string bytes;
    if (!load(fileName, document, bytes, true)) return failed;
    if (document.getTopLevelElement() == nullptr) {
        if (document.getHeader() == nullptr) document.setStandardHeader();
        rkXMLFactory::createNode(document.getRoot(), rkXMLNode::Element, path.elements.front(), rkXMLElement::npos);
    }
    rkXMLElement* element = follow(document, fileName, path, true);
    if (element == nullptr) return failed;
    if (path.attribute) {
        element->setAttribute(*path.attribute, value);
    } else {
        element->setValue(value);
    }
    std::string text;
    return render(document, fileName, text) && save(document, fileName) ? ok : failed;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Checks, formats, reads and edits XML settings files.", "rkxml"};
    app.set_version_flag("--version", "rkxml " RKXML_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 a file failed or a value is missing, 2 bad usage.");
    app.failure_message([](const CLI::App* failing, const CLI::Error& e) {
        return "rkxml: " + CLI::FailureMessage::simple(failing, e);
    });

    std::vector<std::string> fileNames;
    std::string fileName;
    std::string pathText;
    std::string value;
    bool checkOnly = false;
    const std::string pathHelp =
        "Like settings/window/width or settings/window/@state: element names from "
        "the top-level element down (the first of each name), then an attribute";

    CLI::App* check = app.add_subcommand("check", "Read each file and print the reader's diagnostics");
    check->add_option("FILE", fileNames, "XML files")->required();

    CLI::App* format = app.add_subcommand("format", "Write each file back in the library's indented layout");
    format->add_option("FILE", fileNames, "XML files")->required();
    format->add_flag("--check", checkOnly, "Change nothing; list the files that would change and exit 1 if any");

    CLI::App* get = app.add_subcommand("get", "Print the value of an element or an attribute");
    get->add_option("FILE", fileName, "XML file")->required();
    get->add_option("PATH", pathText, pathHelp)->required();

    CLI::App* set = app.add_subcommand("set", "Set the value of an element or an attribute, creating what is missing");
    set->add_option("FILE", fileName, "XML file; created when it does not exist")->required();
    set->add_option("PATH", pathText, pathHelp)->required();
    set->add_option("VALUE", value, "The new value (after -- if it starts with -)")->required();

    try {
        app.parse(argc, argv);
        if (check->parsed()) return checkFiles(fileNames);
        if (format->parsed()) return formatFiles(fileNames, checkOnly);
        if (get->parsed()) return getValue(fileName, parsePath(pathText));
        return setValue(fileName, parsePath(pathText), value);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == ok ? ok : badUsage;
    } catch (const std::exception& e) {
        complain(e.what());
        return failed;
    }
}
