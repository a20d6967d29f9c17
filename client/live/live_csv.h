// The readings of a time range as CSV in the logger's columns
// (time,board,channel,name,value,unit; ISO 8601 UTC times), rows of all
// chosen channels merged in time order.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "live/trend_store.h"

namespace kestrane::live {

struct CsvExport {
    int64_t fromMs = 0;  // readings with times in [fromMs, toMs)
    int64_t toMs = 0;
    std::string board;                             // product ID text, "000A"
    std::array<std::string, kLiveChannels> names;  // channel names
    std::array<bool, kLiveChannels> channels{};    // which channels go out
};

// Writes the header and the rows; returns the number of rows, or -1 when
// the stream failed.
int64_t WriteCsv(const TrendStore& store, const CsvExport& what, std::ostream& out);

}  // namespace kestrane::live
