// Reads XML files as a program would that uses foreignXml(), and prints each file's
// tree as one line of JSON for survey/common/xmlview.py:
//   {"encoding": "...", "warnings": N, "elements": [[parent, name, [[attribute, value], ...], value, flags], ...]}
// or {"error": "..."}. File names come on standard input, one a line; the lines of
// the output follow them in order. Strings carry the library's bytes as they are,
// each byte as the character of that number (as ISO-8859-1 maps them), so that any
// bytes survive JSON; the reader of the output decodes them with "encoding": the
// declared one, or UTF-8 for a file read from UTF-16, whose tree holds UTF-8.
// Elements stand in document order with the index of their parent (-1 for the
// top-level element); flags: 1 the element holds elements, 2 it holds comments.
//
//   rkxml_foreign_dump < names
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"
#include "rkXMLWalk.h"

namespace {

void putString(std::string& out, const std::string& bytes) {
    out += '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

// One element as [parent, name, [[attribute, value], ...], value, flags].
void putElement(std::string& out, const rkXMLElement& element, long parent) {
    int flags = 0;
    for (const rkXMLNode* child : element) {
        if (child == nullptr) continue;
        if (child->getElementType() == rkXMLNode::Element) flags |= 1;
        if (child->getElementType() == rkXMLNode::Comment) flags |= 2;
    }
    out += "[" + std::to_string(parent) + ",";
    putString(out, element.getName());
    out += ",[";
    bool first = true;
    for (const auto& [name, value] : element.getAttributes()) {
        out += first ? "[" : ",[";
        first = false;
        putString(out, name);
        out += ",";
        putString(out, value);
        out += "]";
    }
    out += "],";
    putString(out, element.getValue());
    out += "," + std::to_string(flags) + "]";
}

// `top` and the elements under it, in document order.
void putElements(std::string& out, const rkXMLElement& top) {
    std::vector<long> open{0};  // the index of each element walked into, `top` first
    long index = 0;
    out += "[";
    putElement(out, top, -1);
    for (rkXMLWalk walk(top); walk.next();) {
        if (walk.isLeaving()) {
            open.pop_back();
        } else if (const rkXMLElement* element = walk.element()) {
            out += ",";
            putElement(out, *element, open.back());
            open.push_back(++index);
        }
    }
    out += "]";
}

std::string dump(rkXMLFStream& stream, const std::string& fileName) {
    rkXMLDocument document;
    document.setFileName(fileName);
    std::string out = "{";
    try {
        stream.readDocument(document);
    } catch (const std::exception& error) {
        out += "\"error\":";
        putString(out, error.what());
        return out + "}";
    }
    const bool fromUtf16 = stream.getTextForm() != rkXMLFStream::TextForm::Bytes;
    out += "\"encoding\":";
    putString(out,
              fromUtf16 || document.getHeader() == nullptr ? std::string() : document.getHeader()->getEncodingType());
    out += ",\"warnings\":" + std::to_string(stream.getDiagnostics().size()) + ",\"elements\":";
    rkXMLElement* top = rkXMLFactory::asElement(document.getTopLevelElement());
    if (top != nullptr) {
        putElements(out, *top);
    } else {
        out += "[]";
    }
    return out + "}";
}

}  // namespace

int main() {
    std::ios::sync_with_stdio(false);
    rkXMLFStream stream;
    stream.foreignXml();
    stream.setLogEnabled(false);  // no log files beside the system's files
    std::string fileName;
    while (std::getline(std::cin, fileName)) std::cout << dump(stream, fileName) << '\n';
    return 0;
}
