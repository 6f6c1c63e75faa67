#ifndef RKXML_COMMENT_H
#define RKXML_COMMENT_H

#include "rkXMLNode.h"

/// A comment node; its text is the node's name.
///
/// Usage:
///
///     rkXMLComment* c = new rkXMLComment;
///     c->setName(" written by the exporter ");   // stored as <!-- written by the exporter -->
class RKXML_API rkXMLComment : public rkXMLNode {
public:
    /// An empty comment: parent null, text empty, type Comment.
    rkXMLComment();
    /// Nothing of its own beyond the base's work.
    ~rkXMLComment() override;
};

#endif
