// A board's readings as a Prometheus text-format file, the kind a node
// exporter's textfile collector serves: the channel values, the alarm
// bands, whether the board answers, what the board is, and counters of
// exchanges, losses, readings and alarm events. The file is replaced
// atomically so a scrape never sees half of it.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/reading_number.h"

namespace kestrane {

struct ChannelMetric {
    int channel = 0;
    std::string name;
    std::string unit;                    // "V" or "A"
    std::optional<ReadingNumber> value;  // empty: no current reading
};

struct AlarmMetric {
    int channel = 0;
    std::string band;  // "high" or "low"
    bool active = false;
};

struct AlarmEventKey {
    int channel = 0;
    std::string band;   // "high" or "low"
    std::string event;  // "alarm" or "return"
    friend auto operator<=>(const AlarmEventKey&, const AlarmEventKey&) = default;
};

// What happened since the program started; only ever grows.
struct MetricsCounters {
    uint64_t exchangesOk = 0;
    uint64_t exchangesFailed = 0;
    uint64_t boardLost = 0;
    std::map<int, uint64_t> readings;  // by channel
    std::map<AlarmEventKey, uint64_t> alarmEvents;
};

struct BoardMetrics {
    std::string board;    // product ID text
    std::string version;  // the writing program's version; empty: no build info
    // What the board says of itself; all empty until it was asked.
    std::string product;
    std::string manufacturer;
    std::string firmware;
    bool connected = false;
    std::optional<int64_t> lastReadingUnixMs;
    std::vector<ChannelMetric> channels;  // the polled channels
    std::vector<AlarmMetric> alarms;      // the enabled bands, while connected
    MetricsCounters counters;
};

// A label value with backslash, double quote and line feed escaped and
// invalid UTF-8 replaced, as the text format requires.
std::string PromLabelValue(std::string_view text);

// The whole file, one HELP and TYPE pair per family whether or not it has
// samples, so the files of several boards can be served together. Value
// series carry board and channel only; names and units are joined from
// kestrane_channel_info. Ends with a line feed.
std::string FormatBoardMetrics(const BoardMetrics& metrics);

// "DIR/kestrane-<board>.prom"; characters of the board text other than
// letters and digits become "_" so it can never leave the folder.
std::string MetricsFilePath(std::string_view dir, std::string_view board);

// Writes `content` to a temporary file beside `path` (a name the textfile
// collector ignores), flushes it and renames it over `path`. On failure
// the old file stays as it was and the temporary file is removed.
bool WriteFileAtomically(const std::string& path, std::string_view content);

}  // namespace kestrane
