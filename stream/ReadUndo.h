// Taking back what a read appended, for a read that runs out of memory part way.
#ifndef RKXML_STREAM_READ_UNDO_H
#define RKXML_STREAM_READ_UNDO_H

#include <cstddef>
#include <string>

#include "rkXMLDocument.h"
#include "rkXMLElement.h"
#include "tree/ElementCast.h"
#include "tree/NodeAccess.h"

namespace rkxml_detail {

// Remembers what a read may change of a document: it only appends children to the
// hidden root and sets the root's value (text before the first tag).
class ReadUndo {
public:
    // Copies the root's value, so it throws std::bad_alloc before anything is changed.
    explicit ReadUndo(rkXMLDocument& document)
        : document(document),
          root(document.getRoot()),
          value(ElementAccess::value(knownElement(*root))),
          childCount(knownElement(*root).size()) {}

    // Removes the children appended since and gives the root its value back, allocating
    // nothing. A document that a parse error emptied meanwhile stays empty.
    void undo() noexcept {
        if (document.getRoot() != root) return;
        rkXMLElement& element = knownElement(*root);
        while (element.size() > childCount) {
            rkXMLNode* appended = element.back();
            element.pop_back();
            delete appended;
        }
        ElementAccess::value(element).swap(value);
    }

private:
    rkXMLDocument& document;
    rkXMLNode* const root;
    std::string value;
    const std::size_t childCount;
};

}  // namespace rkxml_detail

#endif
