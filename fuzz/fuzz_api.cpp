// Random sequences of public calls on two documents and a stream.
//
// The input picks the calls: nodes made with new and through rkXMLFactory,
// linked, moved between elements (unlinked through the list interface) and
// removed; names, values, attributes and headers set; setTopLevelElement with
// new nodes and with nodes of the tree; the path helpers and typed reads; copy,
// assignment and the moves; the stream's symbol table and open tags. It does
// only what a correct caller may do: a node is linked once, never into its own
// subtree, and a node it unlinks it links again or deletes. The library's guards
// must catch the rest.
//
// Properties, besides no crash, leak or undefined behaviour:
//  - setTopLevelElement answers false and changes nothing for every node of the
//    tree but the current top-level element, which it moves to the end;
//  - a copy equals its source; a moved-from document is a new, usable one;
//  - setText followed by getText gives the text back, addText followed by getTexts
//    gives a list that ends with it;
//  - writing a document to a string with the default stream, a UTF-8 stream and
//    the input's stream either is refused with a message beginning "Error: ",
//    leaving the string as it was, or gives a text that the same stream reads
//    back into a tree equal to the written one: the same kinds, names, header
//    versions and encodings, attributes and child order at every level, and
//    element values equal once trimmed of blanks, tabs and line feeds (a value
//    that the writer leaves out, blanks with at most one line feed, carriage
//    return and tab among them, comes back empty). Nodes of no kind and null
//    entries are not written, and the hidden root's value and attributes are not
//    compared. What the UTF-8 stream writes, libxml2 also reads as well-formed
//    XML, where it is a document at all (see XmlCheck.h).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "XmlCheck.h"
#include "rkXMLComment.h"
#include "rkXMLConverter.h"
#include "rkXMLDifference.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"
#include "rkXMLWalk.h"
#include "stream/Grammar.h"

namespace {

constexpr std::size_t maxNodes = 300;  // keeps each input quick

// Pieces that names, values and paths are made of: what the format and the tables treat specially.
const std::string_view pieces[] = {
    "a",
    "b",
    "br",
    "BR",
    "x",
    "settings",
    "<",
    ">",
    "/",
    "/>",
    "&",
    "&amp;",
    "&lt;",
    "&gt;",
    "&quot;",
    "&#228;",
    "&#xE9;",
    "&#32;",
    "\"",
    "'",
    "=\"",
    " ",
    "  ",
    "\n",
    "\t",
    "\r",
    "?",
    "?>",
    "<?",
    "<?xml",
    "!--",
    "-->",
    "@",
    "\xE4",
    "\xC3\xA4",
    "\x80",
    "1",
    "-2",
    "2.5",
    "true",
    std::string_view("\0", 1),
    "version=\"1.1\"",
    "encoding=\"utf-8\"",
    "<?xml version=\"1.0\" ?>",
};

std::string text(FuzzedDataProvider& input) {
    std::string made;
    for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        if (input.ConsumeBool()) {
            made += input.PickValueInArray(pieces);
        } else {
            made += input.ConsumeRandomLengthString(3);
        }
    }
    return made;
}

// A node of a tree with the element whose child list holds it (null for the hidden root).
struct Place {
    rkXMLNode* node;
    rkXMLElement* holder;
};

// The hidden root and every node below it, in document order.
std::vector<Place> places(rkXMLDocument& document) {
    auto& root = static_cast<rkXMLElement&>(*document.getRoot());
    std::vector<Place> all{{&root, nullptr}};
    for (rkXMLWalk walk(root); walk.next();) {
        if (!walk.isLeaving()) all.push_back({walk.node(), const_cast<rkXMLElement*>(walk.holder())});
    }
    return all;
}

Place pickPlace(FuzzedDataProvider& input, rkXMLDocument& document) {
    const std::vector<Place> all = places(document);
    return all[input.ConsumeIntegralInRange<std::size_t>(0, all.size() - 1)];
}

rkXMLElement* pickElement(FuzzedDataProvider& input, rkXMLDocument& document) {
    std::vector<rkXMLElement*> elements;
    for (const Place& place : places(document)) {
        if (rkXMLElement* element = rkXMLFactory::asElement(place.node)) elements.push_back(element);
    }
    return elements[input.ConsumeIntegralInRange<std::size_t>(0, elements.size() - 1)];
}

unsigned position(FuzzedDataProvider& input) {
    return input.ConsumeBool() ? rkXMLElement::npos : input.ConsumeIntegralInRange(0u, 4u);
}

bool isBelow(const rkXMLNode* node, const rkXMLNode* top) {
    const rkXMLElement* element = rkXMLFactory::asElement(const_cast<rkXMLNode*>(top));
    if (element == nullptr) return false;
    for (rkXMLWalk walk(*element); walk.next();) {
        if (walk.node() == node) return true;
    }
    return false;
}

// How a picture shows a tree: as it is, for copies (a header by version and encoding only, as the copy
// rebuilds its text); as writing it should give it back (values trimmed or left out, nodes of no kind
// gone); and as read back, to compare with that.
enum class View { copied, written, read };

// The tree as a text that tells every difference the properties care about.
std::string picture(const rkXMLDocument& document, View view) {
    const bool asRead = view != View::copied;
    std::string out;
    auto put = [&out](const std::string& part) { out += std::to_string(part.size()) + ":" + part; };
    for (rkXMLWalk walk(static_cast<const rkXMLElement&>(*document.getRoot())); walk.next();) {
        const rkXMLNode& node = *walk.node();
        if (walk.isLeaving()) {
            out += ")";
            continue;
        }
        switch (node.getElementType()) {
            case rkXMLNode::Header: {
                const auto& header = static_cast<const rkXMLHeader&>(node);
                out += "H";
                if (asRead) put(header.getName());
                put(header.getVersion());
                put(header.getEncodingType());
                break;
            }
            case rkXMLNode::Comment:
                out += "C";
                put(node.getName());
                break;
            case rkXMLNode::Element: {
                const auto& element = static_cast<const rkXMLElement&>(node);
                out += "E";
                put(element.getName());
                const std::string& value = element.getValue();
                if (view != View::written) {
                    put(value);
                } else {
                    put(fuzz::isWritten(value) ? std::string(rkxml_detail::grammar::trimmed(value)) : "");
                }
                for (const auto& [name, attribute] : element.getAttributes()) {
                    out += "A";
                    put(name);
                    put(attribute);
                }
                out += "(";
                break;
            }
            default:
                if (!asRead) out += "U";
                break;
        }
    }
    return out;
}

// Writes `document` with `stream` and reads it back; aborts unless the tree comes back or the write is refused.
void checkRoundTrip(const char* streamName, rkXMLFStream& stream, const rkXMLDocument& document) {
    std::string written = "untouched";
    try {
        stream.writeDocumentToString(document, written);
    } catch (const std::runtime_error& error) {
        if (std::string(error.what()).rfind("Error: ", 0) != 0) fuzz::fail("refusal messages", error.what());
        if (written != "untouched") fuzz::fail("a refused write leaves the string", streamName);
        return;
    }
    if (&stream == &fuzz::utf8Stream()) {
        const std::string why = fuzz::whyNotXml(written, document);
        if (!why.empty()) fuzz::fail("UTF-8 mode writes XML", why + "\nwritten " + fuzz::printable(written));
    }
    rkXMLDocument reread;
    try {
        stream.readDocumentFromString(reread, written);
    } catch (const std::runtime_error& error) {
        fuzz::fail(std::string("written text reads back with the ") + streamName + " stream",
                   std::string(error.what()) + "\nwritten " + fuzz::printable(written));
    }
    const std::string expected = picture(document, View::written);
    const std::string actual = picture(reread, View::read);
    if (expected != actual) {
        fuzz::fail(std::string("same tree after writing and reading with the ") + streamName + " stream",
                   "expected " + fuzz::printable(expected) + "\nread     " + fuzz::printable(actual) + "\nwritten " +
                       fuzz::printable(written));
    }
}

void checkMovedFrom(const rkXMLDocument& document) {
    const std::string why = fuzz::whyNotFresh(document);
    if (!why.empty()) fuzz::fail("a moved-from document is new", why);
    if (!document.getFileName().empty()) fuzz::fail("a moved-from document has no file name", document.getFileName());
}

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : input(input) {}

    ~Session() {
        for (rkXMLDocument& document : documents) checkWrites(document);
    }

    void step() {
        rkXMLDocument& document = documents[input.ConsumeIntegralInRange(0, 1)];
        if (places(document).size() > maxNodes) document.makeEmpty();
        switch (input.ConsumeIntegralInRange(0, 21)) {
            case 0: makeThroughFactory(document); break;
            case 1: makeLoose(); break;
            case 2: linkLoose(document); break;
            case 3: setTopLevel(document); break;
            case 4: remove(document); break;
            case 5: pickPlace(input, document).node->setName(text(input)); break;
            case 6: pickElement(input, document)->setValue(text(input)); break;
            case 7: editAttribute(pickElement(input, document)); break;
            case 8: editHeader(document); break;
            case 9: lookUp(document); break;
            case 10: moveNode(document); break;
            case 11: copy(); break;
            case 12: move(); break;
            case 13: editTables(); break;
            case 14: useText(document); break;
            case 15: readTyped(); break;
            case 16: checkWrites(document); break;
            case 17: document.makeEmpty(); break;
            case 18: document.setFileName(input.ConsumeBool() ? fuzz::scratchDirectory() + "/named.xml" : ""); break;
            case 19: rkXMLFactory::setComment(pickPlace(input, document).node, text(input), position(input)); break;
            case 20: readInto(document); break;
            default:
                rkXMLFactory::createNode(pickElement(input, document), rkXMLNode::Element, text(input),
                                         position(input));
                break;
        }
    }

private:
    void makeThroughFactory(rkXMLDocument& document) {
        const auto type = static_cast<rkXMLNode::TType>(input.ConsumeIntegralInRange(0, 3));
        rkXMLNode* parent = pickPlace(input, document).node;
        rkXMLNode* made = input.ConsumeBool() ? rkXMLFactory::createNode(parent, type, text(input), position(input))
                                              : rkXMLFactory::getSaveChild(parent, type, text(input), position(input));
        if (made != nullptr && rkXMLFactory::asElement(parent) == nullptr)
            fuzz::fail("createNode checks the parent", "");
    }

    void makeLoose() {
        std::unique_ptr<rkXMLNode> node;
        switch (input.ConsumeIntegralInRange(0, 4)) {
            case 0: node = std::make_unique<rkXMLComment>(); break;
            case 1: {
                auto header = std::make_unique<rkXMLHeader>();
                header->setVersion(text(input));
                header->setEncodingType(text(input));
                node = std::move(header);
                break;
            }
            case 2: node = std::make_unique<rkXMLNode>(); break;  // of no kind: not written
            default: node = std::make_unique<rkXMLElement>(); break;
        }
        node->setName(text(input));
        loose.push_back(std::move(node));
    }

    void linkLoose(rkXMLDocument& document) {
        if (loose.empty()) return;
        rkXMLElement* holder = pickElement(input, document);
        rkXMLNode* node = loose.back().release();
        loose.pop_back();
        holder->addChild(node, position(input));
        if (input.ConsumeBool()) node->setParent(holder);
    }

    void setTopLevel(rkXMLDocument& document) {
        rkXMLNode* top = document.getTopLevelElement();
        if (!loose.empty() && input.ConsumeBool()) {
            rkXMLNode* node = loose.back().get();
            if (!document.setTopLevelElement(node)) fuzz::fail("setTopLevelElement takes a new node", "");
            loose.back().release();
            loose.pop_back();
            const auto& root = static_cast<const rkXMLElement&>(*document.getRoot());
            if (root.back() != node) fuzz::fail("the new top-level node goes to the end", "");
            return;
        }
        if (input.ConsumeBool()) {
            document.setTopLevelElement(nullptr);
            return;
        }
        rkXMLNode* node = pickPlace(input, document).node;
        const std::string before = picture(document, View::copied);
        const bool taken = document.setTopLevelElement(node);
        if (taken != (node == top && top != nullptr))
            fuzz::fail("setTopLevelElement takes only the top-level element", "");
        if (!taken && picture(document, View::copied) != before)
            fuzz::fail("a refused setTopLevelElement changes nothing", "");
        if (taken && static_cast<const rkXMLElement&>(*document.getRoot()).back() != node)
            fuzz::fail("the top-level element given again goes to the end", "");
    }

    void remove(rkXMLDocument& document) {
        const Place place = pickPlace(input, document);
        switch (input.ConsumeIntegralInRange(0, 2)) {
            case 0:
                rkXMLFactory::removeElement(place.node);  // needs a true parent link; else false
                break;
            case 1:
                if (place.holder != nullptr) place.holder->removeChild(place.node);
                break;
            default: pickElement(input, document)->removeChild(input.ConsumeIntegralInRange(0u, 5u)); break;
        }
    }

    void editAttribute(rkXMLElement* element) {
        const std::string name = text(input);
        if (input.ConsumeBool()) {
            element->setAttribute(name, text(input));
        } else {
            element->removeAttribute(name);
        }
    }

    void editHeader(rkXMLDocument& document) {
        switch (input.ConsumeIntegralInRange(0, 4)) {
            case 0: document.setHeader(text(input), text(input)); break;
            case 1: document.setStandardHeader(); break;
            case 2: document.removeHeader(); break;
            default:
                if (rkXMLHeader* header = document.getHeader()) {
                    if (input.ConsumeBool()) {
                        header->setName(text(input));
                    } else {
                        header->decode(text(input));
                    }
                }
                break;
        }
    }

    void lookUp(rkXMLDocument& document) {
        rkXMLNode* parent = pickPlace(input, document).node;
        const std::string name = text(input);
        rkXMLElement* found = rkXMLFactory::findElement(parent, name);
        if (found != nullptr && found->getName() != name) fuzz::fail("findElement finds the name", name);
        for (rkXMLNode* element : rkXMLFactory::getElements(parent, name)) {
            if (found == nullptr) fuzz::fail("findElement finds what getElements lists", name);
            if (element->getElementType() != rkXMLNode::Element) fuzz::fail("getElements lists elements", name);
            break;
        }
        rkXMLFactory::getElementAsFirst(parent, name);
        rkXMLFactory::getElement(parent, input.ConsumeIntegralInRange(0u, 5u));
        rkXMLFactory::getComments(parent);
        rkXMLFactory::setElement(parent, name, input.ConsumeBool(), position(input));
    }

    // Unlinks a node through the list interface and links it elsewhere, never below itself.
    void moveNode(rkXMLDocument& document) {
        const Place place = pickPlace(input, document);
        rkXMLElement* target = pickElement(input, document);
        if (place.holder == nullptr || target == place.node || isBelow(target, place.node)) return;
        for (auto entry = place.holder->begin(); entry != place.holder->end(); ++entry) {
            if (*entry == place.node) {
                place.holder->erase(entry);
                break;
            }
        }
        target->addChild(place.node, position(input));
        place.node->setParent(target);
    }

    void copy() {
        const int from = input.ConsumeIntegralInRange(0, 1);
        rkXMLDocument& source = documents[from];
        rkXMLDocument& target = documents[1 - from];
        const std::string before = picture(target, View::copied);
        try {
            if (input.ConsumeBool()) {
                target = source;
            } else {
                rkXMLDocument made(source);
                target = std::move(made);
                checkMovedFrom(made);
            }
        } catch (const std::runtime_error& error) {
            if (std::string(error.what()) != "Unknown element type") fuzz::fail("copy refusal", error.what());
            if (picture(target, View::copied) != before) fuzz::fail("a failed assignment leaves the target", "");
            return;
        }
        const rkXMLDifference difference = rkXMLDifference::between(target, source);
        if (difference.differs) fuzz::fail("a copy equals its source", difference.path + ": " + difference.reason);
        if (target.getFileName() != source.getFileName()) fuzz::fail("a copy has the source's file name", "");
    }

    void move() {
        const int from = input.ConsumeIntegralInRange(0, 1);
        rkXMLDocument& source = documents[from];
        const std::string before = picture(source, View::copied);
        rkXMLDocument& alias = source;
        switch (input.ConsumeIntegralInRange(0, 2)) {
            case 0: {
                rkXMLDocument taken(std::move(source));
                checkMovedFrom(source);
                if (picture(taken, View::copied) != before) fuzz::fail("a move takes the tree", "");
                if (input.ConsumeBool()) source = std::move(taken);  // the moved-from document takes a tree again
                break;
            }
            case 1:
                documents[1 - from] = std::move(source);
                checkMovedFrom(source);
                if (picture(documents[1 - from], View::copied) != before)
                    fuzz::fail("a move assignment takes the tree", "");
                break;
            default:
                source = std::move(alias);
                if (picture(source, View::copied) != before) fuzz::fail("a move to itself changes nothing", "");
                break;
        }
    }

    void editTables() {
        switch (input.ConsumeIntegralInRange(0, 4)) {
            case 0: stream.defaultSymbols(); break;
            case 1: stream.utf8Symbols(); break;
            case 2: stream.clearSymbols(); break;
            case 3: stream.addOpenTag(text(input)); break;
            default: try { stream.addSymbol(text(input), text(input));
                } catch (const std::invalid_argument&) {
                    // an empty text: refused, the table kept
                }
                break;
        }
    }

    // A path from names in the tree and pieces of text.
    std::string path(rkXMLDocument& document) {
        std::string made;
        for (int steps = input.ConsumeIntegralInRange(0, 4); steps > 0; --steps) {
            if (!made.empty() || input.ConsumeBool()) made += "/";
            if (input.ConsumeBool()) made += "@";
            made += input.ConsumeBool() ? pickPlace(input, document).node->getName() : text(input);
        }
        return made;
    }

    void useText(rkXMLDocument& document) {
        const std::string where = path(document);
        const std::string value = text(input);
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0:
                if (rkXMLFactory::setText(document, where, value)) {
                    if (rkXMLFactory::getText(document, where) != value)
                        fuzz::fail("getText gives what setText set", where);
                    if (rkXMLFactory::findPath(document, where) == nullptr)
                        fuzz::fail("findPath finds what setText made", where);
                }
                break;
            case 1:
                if (rkXMLElement* made = rkXMLFactory::makePath(document, where)) {
                    if (rkXMLFactory::findPath(document, where) != made)
                        fuzz::fail("findPath finds what makePath made", where);
                }
                break;
            case 2:
                if (rkXMLFactory::addText(document, where, value)) {
                    const std::vector<std::string> texts = rkXMLFactory::getTexts(document, where);
                    if (texts.empty() || texts.back() != value)
                        fuzz::fail("getTexts ends with what addText added", where);
                }
                break;
            default:
                if (rkXMLFactory::findPath(document, where) == nullptr &&
                    !rkXMLFactory::getText(document, where).empty())
                    fuzz::fail("getText of a missing path is empty", where);
                break;
        }
    }

    void readTyped() {
        const std::string value = text(input);
        rkXMLConverter::valueOr(value, false);
        rkXMLConverter::valueOr(value, 0u);
        rkXMLConverter::valueOr(value, 0L);
        rkXMLConverter::valueOr(value, 0UL);
        rkXMLConverter::valueOr(value, 0ULL);
        rkXMLConverter::valueOr(value, 0.0f);
        rkXMLConverter::valueOr(value, 0.0);
        rkXMLConverter::valueOr(value, "default");
        const long long number = input.ConsumeIntegral<long long>();
        std::string written;
        rkXMLConverter::valueToString(number, written);
        if (rkXMLConverter::valueOr(" " + written + "\n", 7LL) != number)
            fuzz::fail("valueOr reads what valueToString wrote", written);
        const int fallback = input.ConsumeIntegral<int>();
        const int read = rkXMLConverter::valueOr(value, fallback);
        int leading = fallback;
        rkXMLConverter::stringToValue(value, leading);
        if (read != fallback && read != leading) fuzz::fail("valueOr's int is the leading number", value);
    }

    void checkWrites(const rkXMLDocument& document) {
        static rkXMLFStream defaults;
        checkRoundTrip("default", defaults, document);
        checkRoundTrip("UTF-8", fuzz::utf8Stream(), document);
        checkRoundTrip("input's", stream, document);
    }

    // Reads a text the input gives, appending to the tree; a parse error empties the document.
    void readInto(rkXMLDocument& document) {
        try {
            stream.readDocumentFromString(document, input.ConsumeRandomLengthString(64));
        } catch (const std::runtime_error&) {
            const std::string why = fuzz::whyNotFresh(document);
            if (!why.empty()) fuzz::fail("a failed read leaves a fresh root", why);
        }
    }

    FuzzedDataProvider& input;
    rkXMLFStream stream;
    rkXMLDocument documents[2];
    std::vector<std::unique_ptr<rkXMLNode>> loose;  // made, not yet linked: owned here
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Session session(input);
    for (int steps = 0; steps < 64 && input.remaining_bytes() > 0; ++steps) session.step();
    return 0;
}
