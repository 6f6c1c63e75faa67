#include "XmlCheck.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <memory>

#include "rkXMLHeader.h"
#include "stream/CharacterSets.h"
#include "tree/TreeWalk.h"

namespace fuzz {
namespace {

constexpr unsigned deepest = 2000;  // libxml2 goes to 2048 levels with XML_PARSE_HUGE

// Whether libxml2 takes the text as a document in the bytes the library wrote.
bool isAskable(const rkXMLDocument& written) {
    using rkxml_detail::charsets::DeclaredSet;
    const auto& root = static_cast<const rkXMLElement&>(*written.getRoot());
    int elements = 0;
    for (const rkXMLNode* node : root) {
        if (node == nullptr) continue;
        if (node->getElementType() == rkXMLNode::Element) ++elements;
        if (node->getElementType() == rkXMLNode::Header) {
            const std::string& encoding = static_cast<const rkXMLHeader*>(node)->getEncodingType();
            const DeclaredSet set = rkxml_detail::charsets::declaredSet(encoding);
            std::string lowered = encoding;
            std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
            // Of the Unicode names only UTF-8 is in the bytes it names.
            if (set == DeclaredSet::Other ||
                (set == DeclaredSet::Unicode && !lowered.empty() && lowered != "utf-8" && lowered != "utf8")) {
                return false;
            }
        }
    }
    if (elements != 1) return false;
    unsigned depth = 0;
    rkxml_detail::walkDepthFirst(
        root,
        [&depth](const rkXMLNode& node, unsigned level) {
            depth = std::max(depth, level);
            return node.getElementType() == rkXMLNode::Element;
        },
        [](const rkXMLElement&, unsigned) {});
    return depth < deepest;
}

}  // namespace

std::string whyNotXml(const std::string& text, const rkXMLDocument& written) {
    if (!isAskable(written)) return {};
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

}  // namespace fuzz
