// RapidXML, asked to keep comments and the declaration as rkxml does. It parses
// in place and destroys its input, so reading from memory includes the copy of
// the caller's text that any caller who keeps its text must make.
#include <rapidxml/rapidxml.hpp>
#include <rapidxml/rapidxml_print.hpp>
#include <rapidxml/rapidxml_utils.hpp>

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Library.h"

namespace bench {
namespace {

constexpr int parseOptions = rapidxml::parse_declaration_node | rapidxml::parse_comment_nodes;

class RapidxmlLibrary : public Library {
public:
    std::string name() const override { return "rapidxml"; }
    std::string version() const override { return "1.13"; }
    std::string settings() const override {
        return "copy of the text + xml_document::parse<parse_declaration_node|parse_comment_nodes>; "
               "rapidxml::file for files; rapidxml::print to an ofstream";
    }

    void readMemory(std::string& text) override {
        buffer.assign(text.begin(), text.end());
        buffer.push_back('\0');
        parse(buffer.data());
    }
    void destroy() override {
        document.clear();
        buffer = std::vector<char>();
        file.reset();
    }
    void write(const std::string& path) override {
        std::ofstream out(path, std::ios::binary);
        rapidxml::print(std::ostreambuf_iterator<char>(out), document);
        if (!out.flush()) throw std::runtime_error("writing " + path + " failed");
    }
    void readFile(const std::string& path) override {
        file = std::make_unique<rapidxml::file<char>>(path.c_str());
        parse(file->data());
    }

    Signature signature() override {
        SignatureBuilder builder;
        std::uint64_t depth = 0;
        const rapidxml::xml_node<>* node = document.first_node();
        while (node != nullptr) {
            if (node->type() == rapidxml::node_element) {
                builder.element({node->name(), node->name_size()}, depth);
                for (auto* a = node->first_attribute(); a != nullptr; a = a->next_attribute()) {
                    builder.attribute({a->name(), a->name_size()}, {a->value(), a->value_size()});
                }
                for (auto* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
                    if (child->type() == rapidxml::node_data || child->type() == rapidxml::node_cdata) {
                        builder.text({child->value(), child->value_size()});
                    }
                }
            } else if (node->type() == rapidxml::node_comment) {
                builder.comment(depth);
            }
            if (node->type() == rapidxml::node_element && node->first_node() != nullptr) {
                node = node->first_node();
                ++depth;
                continue;
            }
            while (node != nullptr && node->next_sibling() == nullptr) {
                node = node->parent();
                if (node == &document) node = nullptr;
                else --depth;
            }
            if (node != nullptr) node = node->next_sibling();
        }
        return builder.finish();
    }

private:
    void parse(char* text) {
        document.clear();
        try {
            document.parse<parseOptions>(text);
        } catch (const rapidxml::parse_error& error) {
            throw std::runtime_error(error.what());
        }
    }

    rapidxml::xml_document<> document;
    std::vector<char> buffer;
    std::unique_ptr<rapidxml::file<char>> file;
};

}  // namespace

std::unique_ptr<Library> makeRapidxml() { return std::make_unique<RapidxmlLibrary>(); }

}  // namespace bench
