// rkxml, and the two baselines it is measured against: the data-model floor
// (the same tree, but for the declaration, built through the public API from
// events recorded beforehand, which any reader of this data model pays whatever
// its scanner does) and memchr (finding every "<" of the input, the scanning limit).
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Library.h"
#include "rkXMLComment.h"
#include "rkXMLDocument.h"
#include "rkXMLElement.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"
#include "rkXMLWalk.h"

namespace bench {
namespace {

using rkXMLFactory::asElement;

Signature signatureOf(const rkXMLDocument& document) {
    Signature signature;
    for (rkXMLWalk walk(*asElement(document.getRoot())); walk.next();) {
        if (walk.isLeaving()) continue;
        if (const rkXMLElement* element = walk.element()) {
            signature.element(element->getName(), walk.depth());
            for (const auto& [name, value] : element->getAttributes()) signature.attribute(name, value);
            signature.text(element->getValue());
        } else if (walk.node()->getElementType() == rkXMLNode::Comment) {
            signature.comment(walk.depth());
        }
    }
    return signature;
}

class RkxmlLibrary : public Library {
public:
    // A text that closes the hidden root first is the warnings case: read with the root's parent link
    // cut, every text and comment after it meets no current element and gives a warning.
    void prepare(const std::string& text) override {
        cutRoot = text.rfind("</" + rkXMLDocument::getRootTagName() + ">", 0) == 0;
    }
    void readMemory(const std::string& text) override { stream.readDocumentFromString(newDocument(), text); }
    void destroy() override { document.reset(); }
    void edit(const std::string& value) override {
        if (rkXMLElement* top = asElement(document->getTopLevelElement())) top->setAttribute("revision", value);
    }
    void writeString(std::string& text) override { stream.writeDocumentToString(*document, text); }
    void writeFile(const std::string& path) override {
        document->setFileName(path);
        stream.writeDocument(*document);
    }
    void readFile(const std::string& path) override {
        newDocument().setFileName(path);
        stream.readDocument(*document);
    }
    std::optional<Signature> signature() override { return signatureOf(*document); }

protected:
    std::unique_ptr<rkXMLDocument> document;

private:
    rkXMLDocument& newDocument() {
        document = std::make_unique<rkXMLDocument>();
        if (cutRoot) document->getRoot()->setParent(nullptr);
        return *document;
    }

    rkXMLFStream stream;
    bool cutRoot = false;
};

// The steps of building a tree, as a reader takes them from the text, in flat arrays
// that the build walks front to back, so that fetching the next step costs about
// what reading the next bytes of a text would.
struct Recording {
    enum Kind : unsigned char { Start, End, Comment };
    std::vector<Kind> kinds;
    std::vector<std::string> texts;              // Start: name, then value; Comment: text
    std::vector<std::uint32_t> attributeCounts;  // one per Start
    std::vector<std::pair<std::string, std::string>> attributes;

    void record(const rkXMLWalk& walk) {
        const rkXMLNode* node = walk.node();
        if (walk.isLeaving()) {
            kinds.push_back(End);
        } else if (const rkXMLElement* element = walk.element()) {
            kinds.push_back(Start);
            texts.push_back(element->getName());
            texts.push_back(element->getValue());
            attributeCounts.push_back(static_cast<std::uint32_t>(element->getAttributes().size()));
            attributes.insert(attributes.end(), element->getAttributes().begin(), element->getAttributes().end());
        } else if (node->getElementType() == rkXMLNode::Comment) {
            kinds.push_back(Comment);
            texts.push_back(node->getName());
        }
    }
};

// Its rounds are rkxml's, with the read from memory replaced by the build: rkxml's writes and read from a
// file run untimed, and a build readies glibc's heap as rkxml's reader does (a large text's scratch), so that
// it meets the heap as rkxml's read meets it. The heap's state alone moves a build's time up to twofold.
class FloorLibrary : public RkxmlLibrary {
public:
    unsigned untimed() const override { return WriteString | WriteFile | ReadFile; }

    void prepare(const std::string& text) override {
        RkxmlLibrary::prepare(text);
        recording = Recording();
        rkXMLDocument source;
        rkXMLFStream().readDocumentFromString(source, text);
        for (rkXMLWalk walk(*asElement(source.getRoot())); walk.next();) recording.record(walk);
    }

    void readMemory(const std::string& input) override {
        document = std::make_unique<rkXMLDocument>();
        std::string scratch;
        if (input.size() >= 256 * 1024) scratch.reserve(64 * 1024);
        rkXMLElement* current = asElement(document->getRoot());
        const std::string* text = recording.texts.data();
        const std::uint32_t* attributeCount = recording.attributeCounts.data();
        const std::pair<std::string, std::string>* attribute = recording.attributes.data();
        for (const Recording::Kind kind : recording.kinds) {
            rkXMLNode* node = nullptr;
            if (kind == Recording::Start) {
                auto* element = new rkXMLElement;
                element->setName(*text++);
                for (std::uint32_t i = *attributeCount++; i > 0; --i, ++attribute) {
                    element->setAttribute(attribute->first, attribute->second);
                }
                if (const std::string& value = *text++; !value.empty()) element->setValue(value);
                node = element;
            } else if (kind == Recording::Comment) {
                node = new rkXMLComment;
                node->setName(*text++);
            } else {
                current = static_cast<rkXMLElement*>(current->getParent());
                continue;
            }
            node->setParent(current);
            current->push_back(node);
            if (kind == Recording::Start) current = static_cast<rkXMLElement*>(node);
        }
    }

private:
    Recording recording;
};

class MemchrLibrary : public Library {
public:
    unsigned operations() const override { return ReadMemory | ReadFile; }
    void readMemory(const std::string& text) override {
        tags = 0;
        const char* const end = text.data() + text.size();
        for (const char* at = text.data(); (at = static_cast<const char*>(std::memchr(at, '<', end - at))); ++at) {
            ++tags;
        }
    }

private:
    std::uint64_t tags = 0;
};

const Registration rkxmlEntry{"rkxml", [] { return std::make_unique<RkxmlLibrary>(); }};
const Registration floorEntry{"floor", [] { return std::make_unique<FloorLibrary>(); }};
const Registration memchrEntry{"memchr", [] { return std::make_unique<MemchrLibrary>(); }};

}  // namespace
}  // namespace bench
