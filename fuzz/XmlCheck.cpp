#include "XmlCheck.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <memory>

#include "rkXMLHeader.h"
#include "rkXMLWalk.h"
#include "stream/CharacterSets.h"

namespace fuzz {
namespace {

constexpr unsigned deepestDocument = 2000;  // libxml2 goes to 2048 levels with XML_PARSE_HUGE
constexpr unsigned deepestContent = 200;    // and to 256 in content parsed alone

// What of a written tree decides how libxml2 is asked.
struct Shape {
    int topLevelElements = 0;
    const rkXMLHeader* header = nullptr;
    unsigned depth = 0;
};

Shape shapeOf(const rkXMLDocument& written) {
    Shape shape;
    const auto& root = static_cast<const rkXMLElement&>(*written.getRoot());
    for (const rkXMLNode* node : root) {
        if (node != nullptr && node->getElementType() == rkXMLNode::Element) ++shape.topLevelElements;
        if (node != nullptr && node->getElementType() == rkXMLNode::Header && shape.header == nullptr) {
            shape.header = static_cast<const rkXMLHeader*>(node);
        }
    }
    for (rkXMLWalk walk(root); walk.next();) shape.depth = std::max(shape.depth, walk.depth());
    return shape;
}

// Whether the declared set is one that libxml2 reads as the library keeps it: UTF-8 (also without a declaration)
// or, for a whole document, the 8-bit sets that libxml2 converts. Other Unicode names (UTF-16, UCS-4) would make
// it convert UTF-8 bytes as another form.
bool isReadAlike(const rkXMLHeader* header, bool wholeDocument) {
    using rkxml_detail::charsets::DeclaredSet;
    const std::string encoding = header == nullptr ? std::string() : header->getEncodingType();
    std::string lowered = encoding;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (lowered.empty() || lowered == "utf-8" || lowered == "utf8") return true;
    const DeclaredSet set = rkxml_detail::charsets::declaredSet(encoding);
    return wholeDocument && set != DeclaredSet::Unicode && set != DeclaredSet::Other;
}

void ignore(void*, const char*, ...) {}

// Why libxml2 does not read `text` as a well-formed document.
std::string whyNotDocument(const std::string& text) {
    const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> context(xmlNewParserCtxt(), xmlFreeParserCtxt);
    if (!context) return "libxml2 made no parser";
    xmlDocPtr document =
        xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()), "written.xml", nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    const bool wellFormed = document != nullptr && context->wellFormed != 0;
    xmlFreeDoc(document);
    if (wellFormed) return {};
    const xmlError* error = xmlCtxtGetLastError(context.get());
    return error != nullptr && error->message != nullptr ? error->message : "not well-formed";
}

// Why libxml2 does not read `content` as well-formed content of an element: for a text with no or several
// top-level elements, which is no document, but whose parts must still be XML.
std::string whyNotContent(const std::string& content) {
    if (content.empty()) return {};  // which libxml2 takes for a wrong argument
    xmlSetGenericErrorFunc(nullptr, ignore);
    const int error = xmlParseBalancedChunkMemory(nullptr, nullptr, nullptr, 0,
                                                  reinterpret_cast<const xmlChar*>(content.c_str()), nullptr);
    return error == 0 ? std::string() : "libxml2 error " + std::to_string(error) + " in content without one root";
}

}  // namespace

std::string whyNotXml(const std::string& text, const rkXMLDocument& written) {
    const Shape shape = shapeOf(written);
    if (shape.topLevelElements == 1) {
        if (shape.depth >= deepestDocument || !isReadAlike(shape.header, true)) return {};
        return whyNotDocument(text);
    }
    // The writer puts the declaration first, where it stays out of the content.
    if (shape.depth >= deepestContent || !isReadAlike(shape.header, false)) return {};
    const std::size_t declarationEnd = shape.header == nullptr ? 0 : text.find("?>") + 2;
    return whyNotContent(text.substr(declarationEnd));
}

}  // namespace fuzz
