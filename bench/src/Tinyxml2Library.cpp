// tinyxml2 with its defaults (entities processed, white space preserved).
#include <tinyxml2.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "Library.h"

namespace bench {
namespace {

class Tinyxml2Library : public Library {
public:
    std::string name() const override { return "tinyxml2"; }
    std::string version() const override {
        return std::to_string(TIXML2_MAJOR_VERSION) + "." + std::to_string(TIXML2_MINOR_VERSION) + "." +
               std::to_string(TIXML2_PATCH_VERSION);
    }
    std::string settings() const override { return "XMLDocument::Parse / LoadFile / SaveFile with the defaults"; }

    void readMemory(std::string& text) override {
        document = std::make_unique<tinyxml2::XMLDocument>();
        check(document->Parse(text.data(), text.size()));
    }
    void destroy() override { document.reset(); }
    void write(const std::string& path) override {
        if (document->SaveFile(path.c_str()) != tinyxml2::XML_SUCCESS) throw std::runtime_error("SaveFile failed");
    }
    void readFile(const std::string& path) override {
        document = std::make_unique<tinyxml2::XMLDocument>();
        check(document->LoadFile(path.c_str()));
    }

    Signature signature() override {
        SignatureBuilder builder;
        std::uint64_t depth = 0;
        const tinyxml2::XMLNode* node = document->FirstChild();
        while (node != nullptr) {
            if (const tinyxml2::XMLElement* element = node->ToElement()) {
                builder.element(element->Name(), depth);
                for (const tinyxml2::XMLAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next()) {
                    builder.attribute(a->Name(), a->Value());
                }
                for (const tinyxml2::XMLNode* child = node->FirstChild(); child; child = child->NextSibling()) {
                    if (child->ToText() != nullptr) builder.text(child->Value());
                }
            } else if (node->ToComment() != nullptr) {
                builder.comment(depth);
            }
            if (node->ToElement() != nullptr && node->FirstChild() != nullptr) {
                node = node->FirstChild();
                ++depth;
                continue;
            }
            while (node != nullptr && node->NextSibling() == nullptr) {
                node = node->Parent();
                if (node == document.get()) node = nullptr;
                else --depth;
            }
            if (node != nullptr) node = node->NextSibling();
        }
        return builder.finish();
    }

private:
    void check(tinyxml2::XMLError error) {
        if (error == tinyxml2::XML_SUCCESS) return;
        const std::string message = document->ErrorStr();
        if (error == tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED) throw Refused(message);
        throw std::runtime_error(message);
    }

    std::unique_ptr<tinyxml2::XMLDocument> document;
};

}  // namespace

std::unique_ptr<Library> makeTinyxml2() { return std::make_unique<Tinyxml2Library>(); }

}  // namespace bench
