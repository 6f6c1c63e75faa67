// A PATH argument, such as settings/window/@width: element names from the
// top-level element down (the first element of each name), and an attribute
// if it ends in @name.
#ifndef RKXML_CLI_PATH_H
#define RKXML_CLI_PATH_H

#include <optional>
#include <string>
#include <vector>

#include <rkXMLDocument.h>

#include "Charset.h"

namespace rkxml_cli {

struct Path {
    std::string text;  // as given, for messages
    std::vector<std::string> elements;
    std::optional<std::string> attribute;
};

// The steps of `text`; nullopt, with the reason in `problem`, when a step is empty (also
// "@" alone), an @attribute is not the last step, or no element is named.
std::optional<Path> parsePath(const std::string& text, std::string& problem);

// Converts the names of `path`, given in UTF-8, into `charset`; false, with the first character that the
// set cannot hold in `unheld`, where it cannot.
bool convertPath(Path& path, Charset charset, std::string& unheld);

// The element that `path` names in `document`, the first of each name; with `create`, missing
// elements are appended below the top-level element (and the top-level element in a document
// without one). Null, after saying which step is missing, when there is none.
rkXMLElement* follow(const rkXMLDocument& document, const std::string& fileName, const Path& path, bool create);

}  // namespace rkxml_cli

#endif
