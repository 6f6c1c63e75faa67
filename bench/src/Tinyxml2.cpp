// tinyxml2 with its defaults (entities processed, white space preserved).
#include <tinyxml2.h>

#include <string>

#include "Library.h"

namespace bench {
namespace {

using tinyxml2::XMLNode;

class Tinyxml2Library : public Library {
public:
    std::string version() const override {
        return std::to_string(TIXML2_MAJOR_VERSION) + "." + std::to_string(TIXML2_MINOR_VERSION) + "." +
               std::to_string(TIXML2_PATCH_VERSION);
    }
    void readMemory(const std::string& text) override { check(fresh().Parse(text.data(), text.size())); }
    void destroy() override { document.reset(); }
    void edit(const std::string& value) override { document->RootElement()->SetAttribute("revision", value.c_str()); }
    void writeString(std::string& text) override {
        tinyxml2::XMLPrinter printer;
        document->Print(&printer);
        text.assign(printer.CStr(), static_cast<std::size_t>(printer.CStrSize() - 1));
    }
    void writeFile(const std::string& path) override {
        if (document->SaveFile(path.c_str()) != tinyxml2::XML_SUCCESS) throw std::runtime_error("SaveFile failed");
    }
    void readFile(const std::string& path) override { check(fresh().LoadFile(path.c_str())); }

    std::optional<Signature> signature() override {
        return signatureOfLinkedTree(
            static_cast<const XMLNode*>(document->FirstChild()), static_cast<const XMLNode*>(document.get()),
            [](const XMLNode* node) { return node->FirstChild(); },
            [](const XMLNode* node) { return node->NextSibling(); }, [](const XMLNode* node) { return node->Parent(); },
            [](Signature& signature, const XMLNode* node, std::uint64_t depth) {
                if (node->ToComment() != nullptr) signature.comment(depth);
                if (node->ToText() != nullptr) signature.text(node->Value());
                const tinyxml2::XMLElement* element = node->ToElement();
                if (element == nullptr) return;
                signature.element(element->Name(), depth);
                for (const auto* a = element->FirstAttribute(); a != nullptr; a = a->Next()) {
                    signature.attribute(a->Name(), a->Value());
                }
            });
    }

private:
    tinyxml2::XMLDocument& fresh() {
        document = std::make_unique<tinyxml2::XMLDocument>();
        return *document;
    }
    void check(tinyxml2::XMLError error) {
        if (error != tinyxml2::XML_SUCCESS) throw std::runtime_error(document->ErrorStr());
    }

    std::unique_ptr<tinyxml2::XMLDocument> document;
};

const Registration entry{"tinyxml2", [] { return std::make_unique<Tinyxml2Library>(); }};

}  // namespace
}  // namespace bench
