// Internal access to a stream's tables, for checks that they stay unchanged.
#ifndef RKXML_STREAM_STREAM_ACCESS_H
#define RKXML_STREAM_STREAM_ACCESS_H

#include "rkXMLFStream.h"

namespace rkxml_detail {

struct StreamAccess {
    static const std::map<std::string, std::string>& symbols(const rkXMLFStream& stream) { return stream.symbols; }
    static const std::set<std::string, std::less<>>& openTags(const rkXMLFStream& stream) { return stream.openTags; }
};

}  // namespace rkxml_detail

#endif
