#include "rkXMLComment.h"

rkXMLComment::rkXMLComment() : rkXMLNode(Comment) {}

rkXMLComment::~rkXMLComment() = default;
