// The metrics file of the board a session polls: its readings, alarm
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

#include "client/core/session.h"
#include "client/core/session_events.h"
#include "client/core/startup_logic.h"
#include "common/metrics_file.h"

namespace kestrane::core {

// Environment variable naming the folder the desktop client keeps its
// metrics file in; unset or empty: no file.
inline constexpr const char* kMetricsDirEnvVar = "KESTRANE_METRICS_DIR";
// How often the file is rewritten.
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

// Channel tasks that tell an observer a channel's trigger flags before
// and after each check, for the alarm event counters; the rest is passed on.
class ObservedChannelTasks final : public ChannelTasks {
public:
    using Observer = std::function<void(const std::string& board, int channel, const TriggerState& before,
                                        const TriggerState& after)>;
    ObservedChannelTasks(ChannelTasks& inner, Observer observer)
        : inner_(inner), observer_(std::move(observer)) {}
    void TriggerCheck(const std::string& board, int channel, const ChannelSettings& settings,
                      ChannelState& state) override {
        const TriggerState before = state.trigger;
        inner_.TriggerCheck(board, channel, settings, state);
        if (observer_) observer_(board, channel, before, state.trigger);
    }
    void WriteLogRecord(int channel, const ChannelSettings& settings, const ChannelState& state) override {
        inner_.WriteLogRecord(channel, settings, state);
    }
    int LogPeriodMs(const ChannelSettings& settings, ChannelState& state) override {
        return inner_.LogPeriodMs(settings, state);
    }

private:
    ChannelTasks& inner_;
    Observer observer_;
};

// What the board says of itself, for kestrane_board_info.
struct BoardIdentity {
    std::string product;
    std::string manufacturer;
    std::string firmware;
};

// The board's USB product and manufacturer strings from the board
// library, with `firmware`; a string the library cannot read stays empty.
BoardIdentity ReadBoardIdentity(uint32_t productId, std::string firmware);

// What the file holds for a session. Every polled channel is named; its
// value appears only while connected (and `polling`) once it showed a
// number since the last Connect, so nothing from before a loss is served,
// and alarm bands likewise. `polling` false: the board reads as lost.
BoardMetrics SnapshotMetrics(const AcquisitionSession& core, std::optional<int64_t> lastReadingUnixMs,
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

    // The file of the session's current board; false when it cannot be
    // written (the next write tries again). When the session changed
    // boards, the previous board's file goes: nothing writes it any more.
    bool Write(const AcquisitionSession& core, bool polling = true);
    // A clean stop: the file goes, so the collector stops serving the
    // board instead of reporting it lost. A crash leaves the file, whose
    // age then tells that nothing writes it any more.
    bool Remove(const AcquisitionSession& core);
    std::string PathFor(const AcquisitionSession& core) const;

private:
    std::string dir_;
    std::optional<int64_t> lastReadingUnixMs_;
    std::string writtenPath_;  // the file the last write made
    std::map<std::string, MetricsCounters> counters_;
    std::map<std::string, BoardIdentity> identities_;
};

// What a session tells the metrics file: each reading, each lost board,
// and at every connection what the board says of itself. `identify` reads
// the board's strings (ReadBoardIdentity in the programs, a fake in tests).
class MetricsListener final : public SessionListener {
public:
    using Identify = std::function<BoardIdentity(uint32_t productId, std::string firmware)>;
    MetricsListener(CoreMetricsFile& file, Identify identify) : file_(file), identify_(std::move(identify)) {}

    void OnReading(const Reading& r) override { file_.NoteReading(r.board, r.channel, r.unixMs); }
    void OnBoardLost(const std::string& board) override { file_.NoteBoardLost(board); }
    void OnFirmware(const std::string& text) override { firmware_ = text; }
    void OnConnected(const std::string& board) override {
        if (identify_) file_.NoteIdentity(board, identify_(ProductIdFromPid(board), firmware_));
        firmware_.clear();
    }

private:
    CoreMetricsFile& file_;
    Identify identify_;
    std::string firmware_;  // told by the Connect now under way
};

}  // namespace kestrane::core
