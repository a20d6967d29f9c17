// The metrics file of the board a session polls: its readings, alarm
// bands, connection and last reading time, kept in a folder a node
// exporter's textfile collector serves. The desktop client and the
// headless logger keep the same file through this one module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "client/core/session.h"
#include "common/metrics_file.h"

namespace kestrane::core {

// Environment variable naming the folder the desktop client keeps its
// metrics file in; unset or empty: no file.
inline constexpr const char* kMetricsDirEnvVar = "KESTRANE_METRICS_DIR";

// How often the file is rewritten while the program runs.
inline constexpr int kMetricsPeriodMs = 2000;

// Milliseconds since 1970 UTC, from the system clock.
int64_t NowUnixMs();

// What the file holds for a session. Channel values and alarm bands appear
// only while connected (and `polling`), and a channel's value only once it
// showed a number since the last Connect, so nothing from before a loss is
// served. `polling` false: the program is ending, the board reads as lost.
BoardMetrics SnapshotMetrics(const AcquisitionSession& core, std::optional<int64_t> lastReadingUnixMs,
                             bool polling = true);

class CoreMetricsFile {
public:
    explicit CoreMetricsFile(std::string dir) : dir_(std::move(dir)) {}

    void NoteReading(int64_t unixMs) { lastReadingUnixMs_ = unixMs; }
    std::optional<int64_t> lastReading() const { return lastReadingUnixMs_; }

    // The file of the core's current board; false when it cannot be
    // written (the next write tries again). The last write of a program
    // that ends passes `polling` false, so the file does not go on
    // claiming a connected board.
    bool Write(const AcquisitionSession& core, bool polling = true) const;
    std::string PathFor(const AcquisitionSession& core) const;

private:
    std::string dir_;
    std::optional<int64_t> lastReadingUnixMs_;
};

}  // namespace kestrane::core
