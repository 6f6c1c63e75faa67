// The edit of `set`, the second step of its run: the path and value given on the
// command line, put into the file's character set and, for a file laid out anew,
// made in its tree. Also the lookup of `get`.
#ifndef RKXML_CLI_EDITING_H
#define RKXML_CLI_EDITING_H

#include <string>

#include <rkXMLDocument.h>
#include <rkXMLFactory.h>
#include <rkXMLText.h>

#include "Reading.h"

namespace rkxml_cli {

// A PATH and a VALUE as given on the command line (UTF-8 in UTF-8 mode, bytes in the 8-bit mode), or as they
// stand in the file's character set.
struct Edit {
    rkXMLFactory::PathSteps path;
    std::string value;
};

// Converts the names of `path`, given in UTF-8, into `charset`; false, with the first character that the set
// cannot hold in `unheld`, where it cannot.
bool convertPath(rkXMLFactory::PathSteps& path, rkXMLText::Charset charset, std::string& unheld);

// The element that `path` names in `document`, the first of each name; null, after saying which step is
// missing, when there is none.
rkXMLElement* findElement(const rkXMLDocument& document, const std::string& fileName,
                          const rkXMLFactory::PathSteps& path);

// `edit` in the file's character set (the 8-bit mode takes bytes as they are) into `inFile`, and made where
// the file is laid out anew: in its tree, what is missing made, and the standard declaration given to a file
// that holds nothing. A file that is spliced must hold the path's first element at its top. False after saying
// why not.
bool makeEdit(Original& original, const Edit& edit, Edit& inFile);

}  // namespace rkxml_cli

#endif
