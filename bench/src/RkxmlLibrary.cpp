// rkxml itself, and the data-model floor: the cost of building the same tree
// through the public API from events recorded beforehand, which any reader of
// this data model pays whatever its scanner does.
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Library.h"
#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLElement.h"
#include "rkXMLFStream.h"
#include "rkXMLHeader.h"
// The public API has no way to list an element's attributes; the signature and
// the event recording (both untimed) read them through the internal accessor.
#include "tree/NodeAccess.h"

namespace bench {
namespace {

const rkXMLElement& asElement(const rkXMLNode& node) { return static_cast<const rkXMLElement&>(node); }

// Walks the tree under a document's hidden root in document order without recursion.
// The visitor gets (node, depth) and, for an element, after its children, (nullptr, depth).
template <typename Visitor>
void walk(const rkXMLDocument& document, Visitor&& visit) {
    struct Level {
        const rkXMLElement* element;
        rkXMLElement::const_iterator next;
        std::uint64_t depth;
    };
    const rkXMLElement& root = asElement(*document.getRoot());
    std::vector<Level> open{{&root, root.begin(), 0}};
    while (!open.empty()) {
        Level& level = open.back();
        if (level.next == level.element->end()) {
            const std::uint64_t depth = level.depth;
            open.pop_back();
            if (!open.empty()) visit(static_cast<const rkXMLNode*>(nullptr), depth - 1);
            continue;
        }
        const rkXMLNode* node = *level.next++;
        const std::uint64_t depth = level.depth;
        visit(node, depth);
        if (node->getElementType() == rkXMLNode::Element) {
            const rkXMLElement& element = asElement(*node);
            open.push_back({&element, element.begin(), depth + 1});
        }
    }
}

Signature signatureOf(const rkXMLDocument& document) {
    SignatureBuilder builder;
    walk(document, [&](const rkXMLNode* node, std::uint64_t depth) {
        if (node == nullptr) return;
        switch (node->getElementType()) {
            case rkXMLNode::Element: {
                const rkXMLElement& element = asElement(*node);
                builder.element(element.getName(), depth);
                for (const auto& [name, value] : rkxml_detail::ElementAccess::attributes(element)) {
                    builder.attribute(name, value);
                }
                builder.text(element.getValue());
                break;
            }
            case rkXMLNode::Comment:
                builder.comment(depth);
                break;
            default:
                break;
        }
    });
    return builder.finish();
}

class RkxmlLibrary : public Library {
public:
    std::string name() const override { return "rkxml"; }
    std::string settings() const override {
        return "readDocumentFromString / readDocument / writeDocument of one rkXMLFStream with the default tables";
    }

    void readMemory(std::string& text) override {
        document = std::make_unique<rkXMLDocument>();
        stream.readDocumentFromString(*document, text);
    }
    void destroy() override { document.reset(); }
    void write(const std::string& path) override {
        document->setFileName(path);
        stream.writeDocument(*document);
    }
    void readFile(const std::string& path) override {
        document = std::make_unique<rkXMLDocument>();
        document->setFileName(path);
        stream.readDocument(*document);
    }
    Signature signature() override { return signatureOf(*document); }

private:
    rkXMLFStream stream;
    std::unique_ptr<rkXMLDocument> document;
};

// One step of building a tree, as a reader would take it from the text.
struct Event {
    enum Kind : unsigned char { Start, End, Comment, Header };
    Kind kind;
    std::string name;   // tag name, comment text, or the declaration's inner text
    std::string value;  // element value
    std::vector<std::pair<std::string, std::string>> attributes;
};

class FloorLibrary : public Library {
public:
    std::string name() const override { return "floor"; }
    std::string settings() const override {
        return "builds rkXMLElement/rkXMLComment/rkXMLHeader nodes with setName, setAttribute, setValue, "
               "setParent and push_back from events recorded off a tree that rkxml read";
    }
    unsigned operations() const override { return ReadMemory | Destroy; }

    void prepare(std::string& text) override {
        events.clear();
        rkXMLDocument source;
        rkXMLFStream stream;
        stream.readDocumentFromString(source, text);
        walk(source, [&](const rkXMLNode* node, std::uint64_t) {
            if (node == nullptr) {
                events.push_back({Event::End, {}, {}, {}});
                return;
            }
            switch (node->getElementType()) {
                case rkXMLNode::Element: {
                    const rkXMLElement& element = asElement(*node);
                    Event event{Event::Start, element.getName(), element.getValue(), {}};
                    for (const auto& attribute : rkxml_detail::ElementAccess::attributes(element)) {
                        event.attributes.emplace_back(attribute);
                    }
                    events.push_back(std::move(event));
                    break;
                }
                case rkXMLNode::Comment:
                    events.push_back({Event::Comment, node->getName(), {}, {}});
                    break;
                case rkXMLNode::Header: {
                    // The declaration text is "<?" inner "?>"; the reader hands decode() the inner part.
                    const std::string& text = node->getName();
                    const std::string inner = text.size() >= 4 ? text.substr(2, text.size() - 4) : text;
                    events.push_back({Event::Header, inner, {}, {}});
                    break;
                }
                default:
                    break;
            }
        });
    }

    void readMemory(std::string&) override {
        document = std::make_unique<rkXMLDocument>();
        rkXMLElement* root = static_cast<rkXMLElement*>(document->getRoot());
        rkXMLElement* current = root;
        for (const Event& event : events) {
            switch (event.kind) {
                case Event::Start: {
                    auto* element = new rkXMLElement;
                    element->setName(event.name);
                    for (const auto& [name, value] : event.attributes) element->setAttribute(name, value);
                    if (!event.value.empty()) element->setValue(event.value);
                    element->setParent(current);
                    current->push_back(element);
                    current = element;
                    break;
                }
                case Event::End:
                    current = static_cast<rkXMLElement*>(current->getParent());
                    break;
                case Event::Comment: {
                    auto* comment = new rkXMLComment;
                    comment->setName(event.name);
                    comment->setParent(current);
                    current->push_back(comment);
                    break;
                }
                case Event::Header: {
                    auto* header = new rkXMLHeader;
                    header->decode(event.name);
                    header->setParent(root);
                    root->push_back(header);
                    break;
                }
            }
        }
    }
    void destroy() override { document.reset(); }
    Signature signature() override { return signatureOf(*document); }

private:
    std::vector<Event> events;
    std::unique_ptr<rkXMLDocument> document;
};

}  // namespace

std::unique_ptr<Library> makeRkxml() { return std::make_unique<RkxmlLibrary>(); }
std::unique_ptr<Library> makeFloor() { return std::make_unique<FloorLibrary>(); }

}  // namespace bench
