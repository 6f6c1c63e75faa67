// The check of written text against an independent XML parser (libxml2): what UTF-8 mode writes must be
// well-formed XML for other programs, not only read back by this library.
#ifndef RKXML_FUZZ_XML_CHECK_H
#define RKXML_FUZZ_XML_CHECK_H

#include <string>

#include "rkXMLDocument.h"

namespace fuzz {

// Empty if libxml2 reads `text`, which `written` was written as, as well-formed XML; else its message. A text
// with no or several top-level elements (the writer keeps the tree's top level as it is) is no document: its
// content after the declaration is read as the content of an element instead. Not asked: a text nested deeper
// than libxml2 goes, and one whose header declares a set that libxml2 would read other than the library keeps
// it (another Unicode form, a set the library does not know; for content without one root, any set but UTF-8).
std::string whyNotXml(const std::string& text, const rkXMLDocument& written);

}  // namespace fuzz

#endif
