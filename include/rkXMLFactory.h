#ifndef RKXML_FACTORY_H
#define RKXML_FACTORY_H

#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "rkXMLElement.h"
#include "rkXMLExport.h"
#include "rkXMLNode.h"

class rkXMLDocument;

/// Free functions that make the common walks and edits of a document tree one
/// call each. Every function checks its parent first: a null pointer or a node
/// that is not an element gives null, false or an empty list. Returned pointers
/// are borrowed from the tree.
///
/// findElement and the path functions look at elements only. The older lookups by
/// name (getElementAsFirst, getSaveChild, setElement) match children of every kind,
/// comments included: cast what they return with asElement, which answers null for
/// anything but an element.
///
/// A path, such as `settings/window/@width`, names element steps separated by `/`:
/// the first step is the name of the document's top-level element, each further step
/// the first child element of that name. It may end in one `@name` step, the
/// attribute `name` of the element reached. Refused, as naming nothing: an empty step
/// (`a//b`, a leading or trailing `/`, the empty path), a `@` without a name, an `@`
/// step that is not the last, and a path without an element step (`@width`).
///
/// Usage:
///
///     int width = rkXMLConverter::valueOr(rkXMLFactory::getText(doc, "settings/window/@width"), 800);
///     rkXMLFactory::setText(doc, "settings/window/@width", width + 100);  // makes what is missing
///     rkXMLElement* recent = rkXMLFactory::makePath(doc, "settings/recent");
///     rkXMLFactory::removeElement(rkXMLFactory::findPath(doc, "settings/legacy"));
///     for (rkXMLNode* item : rkXMLFactory::getElements(recent, "file")) { ... }
///     for (const std::string& file : rkXMLFactory::getTexts(doc, "settings/recent/file")) { ... }
///     rkXMLFactory::addText(doc, "settings/recent/file", "/home/ada/garden.svg");  // one more <file>
namespace rkXMLFactory {

/// `node` as an element, or null when it is null or of another kind (a comment, a header).
RKXML_API rkXMLElement* asElement(rkXMLNode* node);

/// Creates an element or comment named `name` under `parent` at `position` (or at the end);
/// null for a null or non-element parent, or a type other than Element and Comment.
RKXML_API rkXMLNode* createNode(rkXMLNode* parent, rkXMLNode::TType type, const std::string& name,
                                unsigned int position);
/// The first child named `name` (of any kind), or else a new node as createNode makes it; null on
/// a null or non-element parent, or when nothing is found and the type cannot be created.
/// The name ("save" for "safe") is kept on purpose: callers' code calls it by this name.
RKXML_API rkXMLNode* getSaveChild(rkXMLNode* parent, rkXMLNode::TType type, const std::string& name,
                                  unsigned int position);
/// The first child of any kind named `name`; null if none or on a null or non-element parent.
RKXML_API rkXMLNode* getElementAsFirst(rkXMLNode* parent, const std::string& name);
/// The child at `index` of any kind; null if out of range or on a null or non-element parent.
RKXML_API rkXMLNode* getElement(rkXMLNode* parent, unsigned int index);
/// A new element (alwaysCreate) or the first child named `name`, else a new element at `position`;
/// null on a null or non-element parent.
RKXML_API rkXMLNode* setElement(rkXMLNode* parent, const std::string& name, bool alwaysCreate, unsigned int position);
/// Unlinks and destroys `node` with its subtree; false (nothing destroyed) if it is null or not in
/// the child list of the element its parent link names.
RKXML_API bool removeElement(rkXMLNode* node);
/// Replaces the text of the comment at `position` (false), or inserts a new comment there or
/// appends one (true); false on a null or non-element parent.
RKXML_API bool setComment(rkXMLNode* parent, const std::string& comment, unsigned int position);
/// The comment children of `parent` in order; empty on a null or non-element parent.
RKXML_API std::list<rkXMLNode*> getComments(rkXMLNode* parent);
/// The element children of `parent` named `name`, in order; empty on a null or non-element parent.
RKXML_API std::list<rkXMLNode*> getElements(rkXMLNode* parent, const std::string& name);

/// The first child element of `parent` named `name` (comments and headers never match); null if there
/// is none, or on a null or non-element parent.
RKXML_API rkXMLElement* findElement(rkXMLNode* parent, const std::string& name);
/// A path split into its steps, as parsePath makes it.
struct PathSteps {
    std::vector<std::string> elements;     ///< the element names, the top-level element's first
    std::optional<std::string> attribute;  ///< the name after `@`; none when the path ends in an element
};
/// Splits `text` into `steps`; false, with why in `problem` (e.g. "empty name in 'a//b'"), for a path that the
/// path functions refuse as described above.
RKXML_API bool parsePath(const std::string& text, PathSteps& steps, std::string& problem);
/// The deepest element that the element steps of `steps` reach in `document`, the first child element of each
/// name; `reached` becomes how many steps it found: all of them, or the index of the first one missing. Null, with
/// `reached` 0, when the top-level element is missing or has another name than the first step.
RKXML_API rkXMLElement* reachPath(const rkXMLDocument& document, const PathSteps& steps, std::size_t& reached);
/// As makePath with a text, for steps that parsePath made; null, changing nothing, for steps without an element
/// or when the top-level element has another name than the first step.
RKXML_API rkXMLElement* makePath(rkXMLDocument& document, const PathSteps& steps);
/// The element that `path` names (for a path ending in `@name`, the element that holds that attribute);
/// null for a refused path, or when an element or the attribute is missing.
RKXML_API rkXMLElement* findPath(const rkXMLDocument& document, const std::string& path);
/// The element that `path` names, made where missing: elements appended to their parent (the top-level
/// element too, in a document without one), for `@name` the attribute with an empty value. Null, changing
/// nothing, for a refused path or when the top-level element has another name than the first step.
RKXML_API rkXMLElement* makePath(rkXMLDocument& document, const std::string& path);
/// The value of the element that `path` names, or for `@name` the attribute's value; empty for a refused
/// path or when anything is missing.
RKXML_API std::string getText(const rkXMLDocument& document, const std::string& path);
/// The values of every element that the last step of `path` names, in order: all the children of that name of the
/// element the steps before it name (for `@name`, that attribute's value of each of them that has it). Empty for a
/// refused path or when anything before the last step is missing.
RKXML_API std::vector<std::string> getTexts(const rkXMLDocument& document, const std::string& path);
/// Appends a new element for the last step of `path` with the value `text`, making the elements before it as
/// makePath does: a list of values. False, changing nothing, for a path ending in `@name` and where makePath
/// gives null.
RKXML_API bool addText(rkXMLDocument& document, const std::string& path, const std::string& text);
/// Sets the value of the element that `path` names, or for `@name` the attribute, to `text`, making what is
/// missing as makePath does; false, changing nothing, where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, const std::string& text);
// The typed forms write the value as rkXMLConverter::valueToString does. The `const char*` form keeps a literal
// text from being taken for a bool.

/// As setText with a text: `text` itself (null as the empty text); false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, const char* text);
/// As setText with the text "true" or "false"; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, bool value);
/// As setText with the value's decimal text; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, int value);
/// As setText with the value's decimal text; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, unsigned int value);
/// As setText with the value's decimal text; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, long value);
/// As setText with the value's decimal text; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, unsigned long value);
/// As setText with the value's decimal text; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, long long value);
/// As setText with the value's decimal text; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, unsigned long long value);
/// As setText with the value in general notation, at most 8 significant digits; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, float value);
/// As setText with the value in general notation, at most 10 significant digits; false where makePath gives null.
RKXML_API bool setText(rkXMLDocument& document, const std::string& path, double value);

}  // namespace rkXMLFactory

#endif
