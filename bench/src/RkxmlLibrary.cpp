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
                for (const auto& [name, value] : element.getAttributes()) {
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

// The steps of building a tree, as a reader would take them from the text. Kept
// in flat arrays that the build walks front to back, so that fetching the next
// step costs about what reading the next bytes of a text would.
struct Recording {
    enum Kind : unsigned char { Start, End, Comment, Header };
    std::vector<Kind> kinds;
    std::vector<std::string> texts;  // Start: name, then value; Comment: text; Header: inner text
    std::vector<std::uint32_t> attributeCounts;  // one per Start
    std::vector<std::pair<std::string, std::string>> attributes;

    void clear() { *this = Recording(); }
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
        recording.clear();
        rkXMLDocument source;
        rkXMLFStream stream;
        stream.readDocumentFromString(source, text);
        walk(source, [&](const rkXMLNode* node, std::uint64_t) {
            if (node == nullptr) {
                recording.kinds.push_back(Recording::End);
                return;
            }
            switch (node->getElementType()) {
                case rkXMLNode::Element: {
                    const rkXMLElement& element = asElement(*node);
                    const auto& attributes = element.getAttributes();
                    recording.kinds.push_back(Recording::Start);
                    recording.texts.push_back(element.getName());
                    recording.texts.push_back(element.getValue());
                    recording.attributeCounts.push_back(static_cast<std::uint32_t>(attributes.size()));
                    recording.attributes.insert(recording.attributes.end(), attributes.begin(), attributes.end());
                    break;
                }
                case rkXMLNode::Comment:
                    recording.kinds.push_back(Recording::Comment);
                    recording.texts.push_back(node->getName());
                    break;
                case rkXMLNode::Header: {
                    // The declaration text is "<?" inner "?>"; the reader hands decode() the inner part.
                    const std::string& text = node->getName();
                    recording.kinds.push_back(Recording::Header);
                    recording.texts.push_back(text.size() >= 4 ? text.substr(2, text.size() - 4) : text);
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
        const std::string* text = recording.texts.data();
        const std::uint32_t* attributeCount = recording.attributeCounts.data();
        const std::pair<std::string, std::string>* attribute = recording.attributes.data();
        for (const Recording::Kind kind : recording.kinds) {
            switch (kind) {
                case Recording::Start: {
                    auto* element = new rkXMLElement;
                    element->setName(*text++);
                    for (std::uint32_t i = *attributeCount++; i > 0; --i, ++attribute) {
                        element->setAttribute(attribute->first, attribute->second);
                    }
                    if (!text->empty()) element->setValue(*text);
                    ++text;
                    element->setParent(current);
                    current->push_back(element);
                    current = element;
                    break;
                }
                case Recording::End:
                    current = static_cast<rkXMLElement*>(current->getParent());
                    break;
                case Recording::Comment: {
                    auto* comment = new rkXMLComment;
                    comment->setName(*text++);
                    comment->setParent(current);
                    current->push_back(comment);
                    break;
                }
                case Recording::Header: {
                    auto* header = new rkXMLHeader;
                    header->decode(*text++);
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
    Recording recording;
    std::unique_ptr<rkXMLDocument> document;
};

}  // namespace

std::unique_ptr<Library> makeRkxml() { return std::make_unique<RkxmlLibrary>(); }
std::unique_ptr<Library> makeFloor() { return std::make_unique<FloorLibrary>(); }

}  // namespace bench
