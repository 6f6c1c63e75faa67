// pugixml, asked to keep comments and the declaration as rkxml does.
#include <pugixml.hpp>

#include <stdexcept>
#include <string>

#include "Library.h"

namespace bench {
namespace {

constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments;

class PugixmlLibrary : public Library {
public:
    std::string name() const override { return "pugixml"; }
    std::string version() const override {
        return std::to_string(PUGIXML_VERSION / 1000) + "." + std::to_string(PUGIXML_VERSION % 1000 / 10);
    }
    std::string settings() const override {
        return "load_buffer / load_file with parse_default|parse_declaration|parse_comments; "
               "save_file with the default indentation";
    }

    void readMemory(std::string& text) override {
        check(document.load_buffer(text.data(), text.size(), parseOptions));
    }
    void destroy() override { document.reset(); }
    void write(const std::string& path) override {
        if (!document.save_file(path.c_str())) throw std::runtime_error("save_file failed");
    }
    void readFile(const std::string& path) override { check(document.load_file(path.c_str(), parseOptions)); }

    Signature signature() override {
        SignatureBuilder builder;
        std::uint64_t depth = 0;
        pugi::xml_node node = document.first_child();
        while (node) {
            if (node.type() == pugi::node_element) {
                builder.element(node.name(), depth);
                for (pugi::xml_attribute attribute : node.attributes()) {
                    builder.attribute(attribute.name(), attribute.value());
                }
                for (pugi::xml_node child : node.children()) {
                    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
                        builder.text(child.value());
                    }
                }
            } else if (node.type() == pugi::node_comment) {
                builder.comment(depth);
            }
            // Next node in document order, without recursion.
            if (node.type() == pugi::node_element && node.first_child()) {
                node = node.first_child();
                ++depth;
                continue;
            }
            while (node && !node.next_sibling()) {
                node = node.parent();
                if (node.type() == pugi::node_document) node = pugi::xml_node();
                else --depth;
            }
            if (node) node = node.next_sibling();
        }
        return builder.finish();
    }

private:
    static void check(const pugi::xml_parse_result& result) {
        if (!result) {
            throw std::runtime_error(std::string(result.description()) + " at offset " +
                                     std::to_string(result.offset));
        }
    }

    pugi::xml_document document;
};

}  // namespace

std::unique_ptr<Library> makePugixml() { return std::make_unique<PugixmlLibrary>(); }

}  // namespace bench
