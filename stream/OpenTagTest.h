// The open-tag test of the reader and the writer.
#ifndef RKXML_STREAM_OPEN_TAG_TEST_H
#define RKXML_STREAM_OPEN_TAG_TEST_H

#include <bitset>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "stream/DiagnosticLog.h"

namespace rkxml_detail {

// Whether a scanned tag name is an open tag: compared after ASCII lower-casing
// (up to a zero byte), and only when some open tag has the name's length.
class OpenTagTest {
public:
    explicit OpenTagTest(const std::set<std::string, std::less<>>& openTags) : openTags(openTags) {
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
        toLower(lowered);
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
