#ifndef RKXML_DIFFERENCE_H
#define RKXML_DIFFERENCE_H

#include <functional>
#include <string>

#include "rkXMLElement.h"
#include "rkXMLExport.h"
#include "rkXMLNode.h"

class rkXMLDocument;

/// Where two trees first differ, walking both in document order without recursion.
/// Compared: node kinds; names (a comment's text); element values; attributes, name by
/// name in byte order (a tree keeps no other order of them); a header's version and
/// encoding (its text is made from them); the number and order of children. Parent
/// links are not compared. Null entries of a child list are passed over.
///
/// The path names the node of the first tree where the difference lies, in the
/// grammar of rkXMLFactory's paths: element names joined by `/`, then `@name` for an
/// attribute. A step that its name alone would not find (a later sibling of the same
/// name) carries its child position, `item[2]`; comments, headers and nodes of no kind
/// stand as `#comment[i]`, `#header[i]` and `#node[i]`. A difference in the number of
/// children names the element that holds them; the empty path names a document's top level.
///
/// Usage:
///
///     const rkXMLDifference difference = rkXMLDifference::between(saved, reread);
///     if (difference.differs) std::cerr << difference.path << ": " << difference.reason << "\n";
///     // settings/window/@width: value "800" became "1024"
struct RKXML_API rkXMLDifference {
    /// What differs first.
    enum Kind {
        None,       ///< nothing: the trees are equal
        NodeKind,   ///< a node and its counterpart are of different kinds
        Name,       ///< an element's name or a comment's text (or the name of a node of no kind)
        Value,      ///< an element's value
        Attribute,  ///< an attribute missing on one side, or its value
        Header,     ///< a header's version or encoding
        Children,   ///< the number of an element's children
    };

    /// Decides whether an element value of the first tree and its counterpart count as equal.
    using ValueMatch = std::function<bool(const std::string& first, const std::string& second)>;

    /// Whether the trees differ; false when they are equal.
    bool differs = false;
    /// What differs; None when the trees are equal.
    Kind kind = None;
    /// Where, as described above; empty when the trees are equal.
    std::string path;
    /// What differs, in words, e.g. `value "800" became "1024"`; empty when the trees are equal.
    std::string reason;
    /// The node of the first tree where the difference lies (for Children, the holding element); null when equal.
    const rkXMLNode* first = nullptr;
    /// Its counterpart in the second tree; null when equal.
    const rkXMLNode* second = nullptr;

    /// Compares the trees below the two documents' hidden roots (the roots' own fields are not compared).
    /// `sameValue`, if given, replaces the byte comparison of element values. Equal documents answer differs false.
    static rkXMLDifference between(const rkXMLDocument& first, const rkXMLDocument& second,
                                   const ValueMatch& sameValue = nullptr);
    /// Compares the two elements themselves (name, value, attributes) and everything below them; the paths
    /// start with the first element's name. `sameValue` as above. Equal subtrees answer differs false.
    static rkXMLDifference between(const rkXMLElement& first, const rkXMLElement& second,
                                   const ValueMatch& sameValue = nullptr);
};

#endif
