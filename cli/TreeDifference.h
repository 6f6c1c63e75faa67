// Where two document trees differ: the proof that a file written back reads as the
// file that was read, part for part.
#ifndef RKXML_CLI_TREE_DIFFERENCE_H
#define RKXML_CLI_TREE_DIFFERENCE_H

#include <rkXMLDocument.h>

namespace rkxml_cli {

// What differs first, walking both trees in document order, and where in the first tree.
struct Difference {
    enum Kind {
        None,
        Children,    // the number or kinds of an element's children
        Header,      // version or encoding
        Comment,     // a comment's text
        Name,        // an element's name
        Attributes,  // an element's attributes, names or values
        Value,       // an element's value
    };
    Kind kind = None;
    const rkXMLNode* node = nullptr;  // the node of the first tree that differs: for Children, the element
};

// Compares the two trees: the top level and every element's name, attributes, value and children in
// order; comments' texts; the header's version and encoding. A value of blanks, tabs and line ends
// equals the empty one (the layout between an element's children, which the writer leaves out).
// No recursion: trees may be a million levels deep.
Difference firstDifference(const rkXMLDocument& first, const rkXMLDocument& second);

}  // namespace rkxml_cli

#endif
