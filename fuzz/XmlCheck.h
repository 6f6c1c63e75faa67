// The check of written text against an independent XML parser (libxml2): what UTF-8 mode writes must be
// well-formed XML for other programs, not only read back by this library.
#ifndef RKXML_FUZZ_XML_CHECK_H
#define RKXML_FUZZ_XML_CHECK_H

#include <string>

#include "rkXMLDocument.h"

namespace fuzz {

// Empty if libxml2 reads `text`, which `written` was written as, as well-formed XML; else its message.
// A text that is no XML document whatever its characters is not asked: one with no or several top-level
// elements (the writer keeps the tree's top level as it is), one nested deeper than libxml2 goes, and one
// whose header declares a character set other than UTF-8, ISO-8859-1, Windows-1252 and US-ASCII (libxml2
// would convert other sets, the library keeps the bytes).
std::string whyNotXml(const std::string& text, const rkXMLDocument& written);

}  // namespace fuzz

#endif
