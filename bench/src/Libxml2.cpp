// libxml2's tree API with its default limits; the indenting writer for files (none to memory
// here). Its tree is not compared with the others.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlversion.h>

#include <string>

#include "Library.h"

namespace bench {
namespace {

constexpr int parseOptions = XML_PARSE_NONET;

// Keeps libxml2 from printing every error; the last one is taken from xmlGetLastError.
void quiet(void*, const char*, ...) {}

class Libxml2Library : public Library {
public:
    Libxml2Library() {
        xmlInitParser();
        xmlSetGenericErrorFunc(nullptr, quiet);
    }
    ~Libxml2Library() override { destroy(); }

    std::string version() const override { return LIBXML_DOTTED_VERSION; }
    unsigned operations() const override { return ReadMemory | WriteFile | Destroy | ReadFile; }
    void readMemory(const std::string& text) override {
        destroy();
        check(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, parseOptions));
    }
    void destroy() override {
        if (document != nullptr) xmlFreeDoc(document);
        document = nullptr;
    }
    void edit(const std::string& value) override {
        xmlSetProp(xmlDocGetRootElement(document), BAD_CAST "revision", BAD_CAST value.c_str());
    }
    void writeFile(const std::string& path) override {
        if (xmlSaveFormatFileEnc(path.c_str(), document, "UTF-8", 1) < 0) throw std::runtime_error("save failed");
    }
    void readFile(const std::string& path) override {
        destroy();
        check(xmlReadFile(path.c_str(), nullptr, parseOptions));
    }

private:
    void check(xmlDoc* read) {
        document = read;
        if (document != nullptr) return;
        const xmlError* error = xmlGetLastError();
        std::string message = error != nullptr && error->message != nullptr ? error->message : "parse failed";
        while (!message.empty() && message.back() == '\n') message.pop_back();
        throw std::runtime_error(message);
    }

    xmlDoc* document = nullptr;
};

const Registration entry{"libxml2", [] { return std::make_unique<Libxml2Library>(); }};

}  // namespace
}  // namespace bench
