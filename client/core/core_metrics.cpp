#include "client/core/core_metrics.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/open_data.h"
#include "kestrane_dll.h"
#include "kestrane_version.h"

namespace kestrane::core {

namespace {

// One of the board's USB strings; empty when the library cannot read it.
std::string BoardString(int32_t (*get)(int32_t, char*), uint32_t productId) {
    std::vector<char> buffer(static_cast<std::size_t>(KESTRANE_STRING_TEXT_SIZE) * 4, '\0');
    if (get(static_cast<int32_t>(productId), buffer.data()) != 1) return {};
    buffer.back() = '\0';
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace

BoardIdentity ReadBoardIdentity(uint32_t productId, std::string firmware) {
    return {BoardString(GetProductString, productId), BoardString(GetManufacturerString, productId),
            std::move(firmware)};
}

int64_t NowUnixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::vector<std::pair<std::string, std::string>> AlarmEventsBetween(const TriggerState& before,
                                                                    const TriggerState& after) {
    std::vector<std::pair<std::string, std::string>> events;
    if (before.highFired == 0 && after.highFired == 1) events.emplace_back("high", "alarm");
    if (before.highArmed == 1 && after.highArmed == 0) events.emplace_back("high", "return");
    if (before.lowFired == 0 && after.lowFired == 1) events.emplace_back("low", "alarm");
    if (before.lowArmed == 1 && after.lowArmed == 0) events.emplace_back("low", "return");
    return events;
}

BoardMetrics SnapshotMetrics(const AcquisitionSession& core, std::optional<int64_t> lastReadingUnixMs,
                             bool polling, const MetricsCounters& counters, const BoardIdentity& identity) {
    BoardMetrics m;
    m.board = core.currentPid();
    m.version = KESTRANE_VERSION_TEXT;
    m.product = identity.product;
    m.manufacturer = identity.manufacturer;
    m.firmware = identity.firmware;
    m.connected = polling && core.connected();
    m.lastReadingUnixMs = lastReadingUnixMs;
    m.counters = counters;
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelSettings& ch = core.settings().channels[static_cast<std::size_t>(n - 1)];
        const ChannelState& state = core.states().at(n);
        // Counters of what is configured start at 0, so a rate has a start.
        if (ch.HighBandEnabled())
            for (const char* event : {"alarm", "return"})
                m.counters.alarmEvents.try_emplace({n, "high", event}, 0);
        if (ch.LowBandEnabled())
            for (const char* event : {"alarm", "return"})
                m.counters.alarmEvents.try_emplace({n, "low", event}, 0);
        if (!ch.IsPolled()) continue;
        m.counters.readings.try_emplace(n, 0);
        ChannelMetric channel{n, ch.vmName, UnitForMode(ch.mode), std::nullopt};
        if (m.connected && state.hasReading) channel.value = state.number;
        m.channels.push_back(std::move(channel));
    }
    if (!m.connected) return m;
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelSettings& ch = core.settings().channels[static_cast<std::size_t>(n - 1)];
        const ChannelState& state = core.states().at(n);
        if (ch.HighBandEnabled()) m.alarms.push_back({n, "high", state.trigger.highArmed == 1});
        if (ch.LowBandEnabled()) m.alarms.push_back({n, "low", state.trigger.lowArmed == 1});
    }
    return m;
}

void CoreMetricsFile::NoteReading(const std::string& board, int channel, int64_t unixMs) {
    lastReadingUnixMs_ = unixMs;
    ++counters_[board].readings[channel];
}

void CoreMetricsFile::NoteExchange(const std::string& board, bool ok) {
    MetricsCounters& c = counters_[board];
    ++(ok ? c.exchangesOk : c.exchangesFailed);
}

void CoreMetricsFile::NoteBoardLost(const std::string& board) { ++counters_[board].boardLost; }

void CoreMetricsFile::NoteTrigger(const std::string& board, int channel, const TriggerState& before,
                                  const TriggerState& after) {
    if (before == after) return;
    for (const auto& [band, event] : AlarmEventsBetween(before, after))
        ++counters_[board].alarmEvents[{channel, band, event}];
}

std::string CoreMetricsFile::PathFor(const AcquisitionSession& core) const {
    return MetricsFilePath(dir_, core.currentPid());
}

bool CoreMetricsFile::Write(const AcquisitionSession& core, bool polling) {
    const std::string board = core.currentPid();
    if (board.empty()) return false;  // no board selected: nothing to name the file after
    const std::string path = PathFor(core);
    if (!writtenPath_.empty() && writtenPath_ != path) std::remove(writtenPath_.c_str());
    writtenPath_ = path;
    const auto counters = counters_.find(board);
    const auto identity = identities_.find(board);
    return WriteFileAtomically(
        path, FormatBoardMetrics(
                  SnapshotMetrics(core, lastReadingUnixMs_, polling,
                                  counters == counters_.end() ? MetricsCounters{} : counters->second,
                                  identity == identities_.end() ? BoardIdentity{} : identity->second)));
}

bool CoreMetricsFile::Remove(const AcquisitionSession& core) {
    if (!writtenPath_.empty() && writtenPath_ != PathFor(core)) std::remove(writtenPath_.c_str());
    writtenPath_.clear();
    if (core.currentPid().empty()) return false;
    return std::remove(PathFor(core).c_str()) == 0;
}

}  // namespace kestrane::core
