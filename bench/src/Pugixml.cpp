// pugixml, asked to keep comments and the declaration as rkxml does.
#include <pugixml.hpp>

#include <string>

#include "Library.h"

namespace bench {
namespace {

constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments;

struct StringWriter : pugi::xml_writer {
    std::string* text;
    explicit StringWriter(std::string& out) : text(&out) {}
    void write(const void* data, std::size_t size) override { text->append(static_cast<const char*>(data), size); }
};

class PugixmlLibrary : public Library {
public:
    std::string version() const override {
        return std::to_string(PUGIXML_VERSION / 1000) + "." + std::to_string(PUGIXML_VERSION % 1000 / 10);
    }
    void readMemory(const std::string& text) override {
        check(document.load_buffer(text.data(), text.size(), parseOptions));
    }
    void destroy() override { document.reset(); }
    void edit(const std::string& value) override {
        pugi::xml_node top = document.document_element();
        pugi::xml_attribute revision = top.attribute("revision");
        (revision ? revision : top.append_attribute("revision")).set_value(value.c_str());
    }
    void writeString(std::string& text) override {
        text.clear();
        StringWriter writer(text);
        document.save(writer);
    }
    void writeFile(const std::string& path) override {
        if (!document.save_file(path.c_str())) throw std::runtime_error("save_file failed");
    }
    void readFile(const std::string& path) override { check(document.load_file(path.c_str(), parseOptions)); }

    std::optional<Signature> signature() override {
        return signatureOfLinkedTree(
            document.first_child(), static_cast<pugi::xml_node>(document),
            [](pugi::xml_node node) { return node.first_child(); },
            [](pugi::xml_node node) { return node.next_sibling(); }, [](pugi::xml_node node) { return node.parent(); },
            [](Signature& signature, pugi::xml_node node, std::uint64_t depth) {
                if (node.type() == pugi::node_comment) signature.comment(depth);
                if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) signature.text(node.value());
                if (node.type() != pugi::node_element) return;
                signature.element(node.name(), depth);
                for (pugi::xml_attribute a : node.attributes()) signature.attribute(a.name(), a.value());
            });
    }

private:
    static void check(const pugi::xml_parse_result& result) {
        if (!result) throw std::runtime_error(result.description() + (" at " + std::to_string(result.offset)));
    }

    pugi::xml_document document;
};

const Registration entry{"pugixml", [] { return std::make_unique<PugixmlLibrary>(); }};

}  // namespace
}  // namespace bench
