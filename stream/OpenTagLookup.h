// Whether a tag name is one of the stream's open tags (elements without end tag),
// as the reader and the writer both ask it.
#ifndef RKXML_STREAM_OPEN_TAG_LOOKUP_H
#define RKXML_STREAM_OPEN_TAG_LOOKUP_H

#include <bitset>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "stream/Grammar.h"

namespace rkxml_detail {

// Names are compared after ASCII lower-casing, and only looked up when some open
// tag has the name's length, as most names are not open tags.
class OpenTagLookup {
public:
    explicit OpenTagLookup(const std::set<std::string, std::less<>>& openTags) : openTags(openTags) {
        for (const std::string& tag : openTags) {
            if (tag.size() < lengths.size()) {
                lengths.set(tag.size());
            } else {
                anyLong = true;
            }
        }
    }

    bool holds(std::string_view name) {
        if (name.size() < lengths.size() ? !lengths.test(name.size()) : !anyLong) return false;
        lowered.assign(name);
        grammar::toLower(lowered);
        return openTags.find(lowered) != openTags.end();
    }

private:
    const std::set<std::string, std::less<>>& openTags;
    std::bitset<64> lengths;
    bool anyLong = false;
    std::string lowered;
};

}  // namespace rkxml_detail

#endif
