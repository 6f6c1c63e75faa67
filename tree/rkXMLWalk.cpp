#include "rkXMLWalk.h"

#include "tree/WalkAccess.h"

rkXMLWalk::rkXMLWalk(const rkXMLElement& root) : open{{&root, root.begin()}} {}

bool rkXMLWalk::next() { return rkxml_detail::WalkAccess::next(*this); }
