// A board's readings as a Prometheus text-format file, the kind a node
// exporter's textfile collector serves: the channel values, the alarm
// bands, whether the board answers and when it last did. The file is
// replaced atomically so a scrape never sees half of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/reading_number.h"

namespace kestrane {

struct ChannelMetric {
    int channel = 0;
    std::string name;
    std::string unit;  // "V" or "A"
    ReadingNumber value;
};

struct AlarmMetric {
    int channel = 0;
    std::string band;  // "high" or "low"
    bool active = false;
};

struct BoardMetrics {
    std::string board;  // product ID text
    bool connected = false;
    std::optional<int64_t> lastReadingUnixMs;
    std::vector<ChannelMetric> channels;
    std::vector<AlarmMetric> alarms;
};

// A label value with backslash, double quote and line feed escaped and
// invalid UTF-8 replaced, as the text format requires.
std::string PromLabelValue(std::string_view text);

// The whole file: HELP and TYPE lines, then kestrane_channel_value,
// kestrane_alarm_active, kestrane_board_connected and, once a reading was
// taken, kestrane_last_reading_timestamp_seconds. Ends with a line feed.
std::string FormatBoardMetrics(const BoardMetrics& metrics);

// "DIR/kestrane-<board>.prom"; characters of the board text other than
// letters and digits become "_" so it can never leave the folder.
std::string MetricsFilePath(std::string_view dir, std::string_view board);

// Writes `content` to a temporary file beside `path` (a name the textfile
// collector ignores), flushes it and renames it over `path`. On failure
// the old file stays as it was and the temporary file is removed.
bool WriteFileAtomically(const std::string& path, std::string_view content);

}  // namespace kestrane
