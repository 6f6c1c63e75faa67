#ifndef RKXML_DOCUMENT_H
#define RKXML_DOCUMENT_H

#include <string>

#include "rkXMLElement.h"
#include "rkXMLHeader.h"
#include "rkXMLNode.h"

/// Owns one document tree and the name of its file.
///
/// The tree hangs under a hidden root element named "?root?" whose children
/// are the document's top level: the header, comments and the top-level element.
///
/// Usage:
///
///     rkXMLDocument doc;
///     doc.setFileName("settings.xml");
///     doc.setStandardHeader();
///     rkXMLElement* top = new rkXMLElement;
///     top->setName("settings");
///     top->setParent(doc.getRoot());
///     doc.setTopLevelElement(top);                  // the document owns it now
class RKXML_API rkXMLDocument {
public:
    /// An empty document: a hidden root without children, no file name.
    rkXMLDocument();
    /// A deep copy of `other`'s tree and file name.
    /// @throws std::runtime_error "Unknown element type" for a node of no known kind (and leaks nothing).
    rkXMLDocument(const rkXMLDocument& other);
    /// Destroys the whole tree.
    virtual ~rkXMLDocument();
    /// Replaces tree and file name by a deep copy of `other`'s.
    /// @throws std::runtime_error "Unknown element type" as the copy does; this document then stays as it was.
    rkXMLDocument& operator=(const rkXMLDocument& other);
    /// Takes `other`'s tree and file name without copying (pointers into the tree stay valid); `other` is left
    /// as a new document: no file name, an empty hidden root (made when it is first needed). Never fails.
    rkXMLDocument(rkXMLDocument&& other) noexcept;
    /// Destroys this tree, then takes `other`'s tree and file name as the move constructor does; `other` is left
    /// as a new document. Moving a document to itself changes nothing.
    rkXMLDocument& operator=(rkXMLDocument&& other) noexcept;

    /// The name of every hidden root, "?root?".
    static const std::string& getRootTagName();
    /// The hidden root, never null (a moved-from document gets a new one here).
    rkXMLNode* getRoot() const;
    /// Replaces the whole tree by a new hidden root without children; the file name stays.
    void makeEmpty();
    /// The first element among the top-level nodes, or null.
    rkXMLNode* getTopLevelElement() const;
    /// Destroys the current top-level element and appends `element` (of any kind; null appends
    /// nothing) at the end of the top level. Given the current top-level element itself, moves
    /// it to the end instead. False, changing nothing, when `element` is the hidden root or any
    /// other node already in this document's tree (the header, a comment, a second top-level
    /// element, a node below the top level).
    bool setTopLevelElement(rkXMLNode* element);
    /// The first header among the top-level nodes, or null.
    rkXMLHeader* getHeader() const;
    /// Gives the document a header (created in front of all top-level nodes if missing) with this
    /// version and encoding; unaccepted values fall back to the header's defaults. True.
    bool setHeader(const std::string& version, const std::string& encoding);
    /// setHeader("1.0", ""): the declaration `<?xml version="1.0" ?>`. True.
    bool setStandardHeader();
    /// Takes the header out of the document and destroys it; false if there is none.
    bool removeHeader();
    /// Stores the name of the file that the stream reads and writes; any text is accepted.
    void setFileName(const std::string& fileName);
    /// The file name; empty if never set.
    const std::string& getFileName() const;

private:
    RKXML_LOCAL void swap(rkXMLDocument& other) noexcept;

    mutable rkXMLNode* root;  // null only in a moved-from document, until getRoot makes a new one
    std::string fileName;
};

#endif
