#ifndef RKXML_HEADER_H
#define RKXML_HEADER_H

#include <string>

#include "rkXMLNode.h"

/// The XML declaration of a document. It holds a checked version and encoding
/// and keeps the declaration text, ready to write, in its name.
///
/// Usage:
///
///     rkXMLHeader* h = document.getHeader();       // or document.setHeader("1.0", "utf-8")
///     h->setEncodingType("utf-8");
///     h->getName();                                 // <?xml version="1.0" encoding="utf-8" ?>
class RKXML_API rkXMLHeader : public rkXMLNode {
public:
    /// An empty header: version, encoding and declaration text empty; type Header.
    rkXMLHeader();
    /// Releases version and encoding; does not unlink the header from its parent.
    ~rkXMLHeader() override;

    /// The version: "1.0", "1.1", "2.0", or empty before it is first set.
    const std::string& getVersion() const;
    /// The encoding: a name as XML writes it ("utf-8", "ISO-8859-1", ...), or empty.
    const std::string& getEncodingType() const;
    /// Sets the version if it is "1.0", "1.1" or "2.0", else "1.0"; rebuilds the declaration text.
    void setVersion(const std::string& version);
    /// Keeps the encoding as given if it is a well-formed XML encoding name (a letter, then letters, digits,
    /// ".", "_", "-"; not checked against a list), else sets it empty; rebuilds the text.
    void setEncodingType(const std::string& encoding);
    /// Reads version and encoding out of a declaration's inner text (`xml version="1.0" ...`), in double quotes;
    /// what it cannot find or accept falls back to version "1.0" and no encoding.
    void decode(const std::string& text);

private:
    void rebuildText();

    std::string version;
    std::string encoding;
};

#endif
