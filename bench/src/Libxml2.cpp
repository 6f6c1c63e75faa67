// libxml2's tree API with its default limits; the indenting writer for files (none to memory here).
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

std::string text(const xmlChar* characters) {
    return characters != nullptr ? reinterpret_cast<const char*>(characters) : "";
}

std::string qualifiedName(const xmlNs* ns, const xmlChar* name) {
    return ns == nullptr || ns->prefix == nullptr ? text(name) : text(ns->prefix) + ":" + text(name);
}

void visit(Signature& signature, xmlNode* node, std::uint64_t depth) {
    if (node->type == XML_COMMENT_NODE) signature.comment(depth);
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) signature.text(text(node->content));
    if (node->type != XML_ELEMENT_NODE) return;
    signature.element(qualifiedName(node->ns, node->name), depth);
    // Namespace declarations are attributes in the other libraries' trees.
    for (xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
        signature.attribute(ns->prefix != nullptr ? "xmlns:" + text(ns->prefix) : "xmlns", text(ns->href));
    }
    for (xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        std::string value;
        for (xmlNode* piece = a->children; piece != nullptr; piece = piece->next) value += text(piece->content);
        signature.attribute(qualifiedName(a->ns, a->name), value);
    }
}

class Libxml2Library : public Library {
public:
    Libxml2Library() {
        xmlInitParser();
        xmlSetGenericErrorFunc(nullptr, quiet);
    }
    ~Libxml2Library() override { destroy(); }

    std::string version() const override { return LIBXML_DOTTED_VERSION; }
    unsigned operations() const override { return ReadMemory | WriteFile | Destroy | ReadFile; }
    void readMemory(std::string& text) override {
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

    Signature signature() override {
        return signatureOfLinkedTree(
            document->children, reinterpret_cast<xmlNode*>(document), [](xmlNode* node) { return node->type == XML_ELEMENT_NODE ? node->children : nullptr; },
            [](xmlNode* node) { return node->next; }, [](xmlNode* node) { return node->parent; }, visit);
    }

private:
    void check(xmlDoc* read) {
        document = read;
        if (document != nullptr) return;
        const xmlError* error = xmlGetLastError();
        std::string message = error != nullptr && error->message != nullptr ? error->message : "parse failed";
        while (!message.empty() && message.back() == '\n') message.pop_back();
        // The default depth limit is a refusal by design, not a failure to read.
        if (message.find("depth") != std::string::npos) throw Refused(message);
        throw std::runtime_error(message);
    }

    xmlDoc* document = nullptr;
};

const Registration entry{"libxml2", [] { return std::make_unique<Libxml2Library>(); }};

}  // namespace
}  // namespace bench
