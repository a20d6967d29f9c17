// The metrics file of the board a client core polls: its readings, alarm
// bands, connection, what the board is and counters of what happened, kept
// in a folder a node exporter's textfile collector serves. The desktop
// client and the headless logger keep the same file through this module.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/channel_model.h"
#include "common/metrics_file.h"
#include "core/client_core.h"

namespace kestrane::ui {

// Environment variable naming the folder the desktop client keeps its
// metrics file in; unset or empty: no file.
inline constexpr const char* kMetricsDirEnvVar = "KESTRANE_METRICS_DIR";

// How often the file is rewritten while the program runs.
inline constexpr int kMetricsPeriodMs = 2000;

// Milliseconds since 1970 UTC, from the system clock.
int64_t NowUnixMs();

// The alarm events one trigger check made, from the channel's flags
// before and after it: a fired flag that rose is an alarm (the first or a
// repeat), an armed flag that fell is a return to normal. Pairs of band
// ("high", "low") and event ("alarm", "return").
std::vector<std::pair<std::string, std::string>> AlarmEventsBetween(const TriggerState& before,
                                                                    const TriggerState& after);

// A board exchange that tells an observer each result, for the counters.
class CountingBoardExchange final : public BoardExchange {
public:
    CountingBoardExchange(BoardExchange& inner, std::function<void(bool ok)> observer)
        : inner_(inner), observer_(std::move(observer)) {}
    bool Read(uint32_t productId, int command, std::string& answer) override {
        const bool ok = inner_.Read(productId, command, answer);
        if (observer_) observer_(ok);
        return ok;
    }

private:
    BoardExchange& inner_;
    std::function<void(bool)> observer_;
};

// What the board says of itself, for kestrane_board_info.
struct BoardIdentity {
    std::string product;
    std::string manufacturer;
    std::string firmware;
};

// What the file holds for a core. Every polled channel is named; its value
// appears only while connected (and `polling`) once it showed a number
// since the last Connect, so nothing from before a loss is served, and
// alarm bands likewise. `polling` false: the board reads as lost.
BoardMetrics SnapshotMetrics(const ClientCore& core, std::optional<int64_t> lastReadingUnixMs,
                             bool polling = true, const MetricsCounters& counters = {},
                             const BoardIdentity& identity = {});

class CoreMetricsFile {
public:
    explicit CoreMetricsFile(std::string dir) : dir_(std::move(dir)) {}

    // Counts one reading of `board`'s `channel` taken at `unixMs`.
    void NoteReading(const std::string& board, int channel, int64_t unixMs);
    void NoteExchange(const std::string& board, bool ok);
    void NoteBoardLost(const std::string& board);
    void NoteTrigger(const std::string& board, int channel, const TriggerState& before,
                     const TriggerState& after);
    void NoteIdentity(const std::string& board, BoardIdentity identity) {
        identities_[board] = std::move(identity);
    }

    std::optional<int64_t> lastReading() const { return lastReadingUnixMs_; }

    // The file of the core's current board; false when it cannot be
    // written (the next write tries again). When the core changed boards,
    // the previous board's file goes: nothing writes it any more.
    bool Write(const ClientCore& core, bool polling = true);
    // A clean stop: the file goes, so the collector stops serving the
    // board instead of reporting it lost. A crash leaves the file, whose
    // age then tells that nothing writes it any more.
    bool Remove(const ClientCore& core);
    std::string PathFor(const ClientCore& core) const;

private:
    std::string dir_;
    std::optional<int64_t> lastReadingUnixMs_;
    std::string writtenPath_;  // the file the last write made
    std::map<std::string, MetricsCounters> counters_;
    std::map<std::string, BoardIdentity> identities_;
};

}  // namespace kestrane::ui
