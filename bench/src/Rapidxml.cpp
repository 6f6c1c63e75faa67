// RapidXML, asked to keep comments and the declaration as rkxml does. It parses
// in place and destroys its input, so reading from memory includes the copy of
// the caller's text that any caller who keeps its text must make. Its tree is not
// compared with the others.
#include <rapidxml/rapidxml.hpp>
#include <rapidxml/rapidxml_print.hpp>
#include <rapidxml/rapidxml_utils.hpp>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Library.h"

namespace bench {
namespace {

constexpr int parseOptions = rapidxml::parse_declaration_node | rapidxml::parse_comment_nodes;

class RapidxmlLibrary : public Library {
public:
    std::string version() const override { return "1.13"; }
    unsigned operations() const override { return ReadMemory | WriteFile | Destroy | ReadFile; }
    void readMemory(const std::string& text) override {
        buffer.assign(text.begin(), text.end());
        buffer.push_back('\0');
        parse(buffer.data());
    }
    void destroy() override {
        document.clear();
        buffer = std::vector<char>();
        file.reset();
    }
    void edit(const std::string& value) override {
        rapidxml::xml_node<>* top = document.first_node();
        while (top->type() != rapidxml::node_element) top = top->next_sibling();
        char* text = document.allocate_string(value.c_str());
        if (rapidxml::xml_attribute<>* revision = top->first_attribute("revision"))
            revision->value(text);
        else
            top->append_attribute(document.allocate_attribute("revision", text));
    }
    void writeFile(const std::string& path) override {
        std::ofstream out(path, std::ios::binary);
        rapidxml::print(std::ostreambuf_iterator<char>(out), document);
        if (!out.flush()) throw std::runtime_error("writing " + path + " failed");
    }
    void readFile(const std::string& path) override {
        file = std::make_unique<rapidxml::file<char>>(path.c_str());
        parse(file->data());
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

const Registration entry{"rapidxml", [] { return std::make_unique<RapidxmlLibrary>(); }};

}  // namespace
}  // namespace bench
