// Where each node of a read stood in its text, for a stream that records it
// (setPositionsRecorded). The reader's scan for such a read is made apart, so that a
// read that does not record never calls it.
#ifndef RKXML_STREAM_POSITION_RECORDER_H
#define RKXML_STREAM_POSITION_RECORDER_H

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <unordered_map>

#include "rkXMLFStream.h"
#include "rkXMLNode.h"

namespace rkxml_detail {

class PositionRecorder {
public:
    using Position = rkXMLFStream::SourcePosition;
    using Table = std::unordered_map<const rkXMLNode*, Position>;

    // Records into `table` (emptied first) positions in `text`; with a null table, records nothing.
    PositionRecorder(Table* table, std::string_view text) : table(table), text(text) {
        if (table != nullptr) table->clear();
    }

    // Starts the record of `node`, whose "<" stands at `at`; positions are given in text order.
    Position& add(const rkXMLNode& node, std::size_t at) {
        Position& position = (*table)[&node];
        position.line = lineAt(at);
        position.start = at;
        return position;
    }

    // The record of `node`, which add() made.
    Position& of(const rkXMLNode& node) { return (*table)[&node]; }

    // The offset of `part`, a view into the text.
    std::size_t offsetOf(std::string_view part) const { return static_cast<std::size_t>(part.data() - text.data()); }

private:
    // Line feeds are counted once, from where the last count ended: the scan only moves forward.
    std::size_t lineAt(std::size_t at) {
        at = std::max(at, countedTo);
        lineFeeds += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(countedTo),
                                                         text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
        countedTo = at;
        return lineFeeds + 1;
    }

    Table* table;
    std::string_view text;
    std::size_t countedTo = 0;
    std::size_t lineFeeds = 0;
};

}  // namespace rkxml_detail

#endif
