// libxml2's tree API with its default limits; the indenting writer for files.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlversion.h>

#include <stdexcept>
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

    std::string name() const override { return "libxml2"; }
    std::string version() const override { return LIBXML_DOTTED_VERSION; }
    std::string settings() const override {
        return "xmlReadMemory / xmlReadFile with XML_PARSE_NONET; xmlSaveFormatFileEnc with indentation";
    }

    void readMemory(std::string& text) override {
        destroy();
        document = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, parseOptions);
        check();
    }
    void destroy() override {
        if (document != nullptr) xmlFreeDoc(document);
        document = nullptr;
    }
    void write(const std::string& path) override {
        if (xmlSaveFormatFileEnc(path.c_str(), document, "UTF-8", 1) < 0) throw std::runtime_error("save failed");
    }
    void readFile(const std::string& path) override {
        destroy();
        document = xmlReadFile(path.c_str(), nullptr, parseOptions);
        check();
    }

    Signature signature() override {
        SignatureBuilder builder;
        std::uint64_t depth = 0;
        xmlNode* node = document->children;
        while (node != nullptr) {
            if (node->type == XML_ELEMENT_NODE) {
                builder.element(qualifiedName(node->ns, node->name), depth);
                // Namespace declarations are attributes in the other libraries' trees.
                for (xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
                    const std::string name = ns->prefix != nullptr ? "xmlns:" + text(ns->prefix) : "xmlns";
                    builder.attribute(name, text(ns->href));
                }
                for (xmlAttr* a = node->properties; a != nullptr; a = a->next) {
                    std::string value;
                    for (xmlNode* piece = a->children; piece != nullptr; piece = piece->next) {
                        if (piece->content != nullptr) value += text(piece->content);
                    }
                    builder.attribute(qualifiedName(a->ns, a->name), value);
                }
                for (xmlNode* child = node->children; child != nullptr; child = child->next) {
                    if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
                        child->content != nullptr) {
                        builder.text(text(child->content));
                    }
                }
            } else if (node->type == XML_COMMENT_NODE) {
                builder.comment(depth);
            }
            if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
                node = node->children;
                ++depth;
                continue;
            }
            while (node != nullptr && node->next == nullptr) {
                node = node->parent;
                if (node == reinterpret_cast<xmlNode*>(document)) node = nullptr;
                else --depth;
            }
            if (node != nullptr) node = node->next;
        }
        return builder.finish();
    }

private:
    static std::string text(const xmlChar* characters) {
        return characters != nullptr ? reinterpret_cast<const char*>(characters) : "";
    }
    static std::string qualifiedName(const xmlNs* ns, const xmlChar* name) {
        if (ns == nullptr || ns->prefix == nullptr) return text(name);
        return text(ns->prefix) + ":" + text(name);
    }

    void check() {
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

}  // namespace

std::unique_ptr<Library> makeLibxml2() { return std::make_unique<Libxml2Library>(); }

}  // namespace bench
