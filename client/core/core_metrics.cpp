#include "client/core/core_metrics.h"

#include <chrono>

#include "common/open_data.h"

namespace kestrane::core {

int64_t NowUnixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

BoardMetrics SnapshotMetrics(const AcquisitionSession& core, std::optional<int64_t> lastReadingUnixMs,
                             bool polling) {
    BoardMetrics m;
    m.board = core.currentPid();
    m.connected = polling && core.connected();
    m.lastReadingUnixMs = lastReadingUnixMs;
    if (!m.connected) return m;
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelSettings& ch = core.settings().channels[static_cast<std::size_t>(n - 1)];
        const ChannelState& state = core.states().at(n);
        if (state.hasReading && state.number)
            m.channels.push_back({n, ch.vmName, UnitForMode(ch.mode), *state.number});
        if (ch.HighBandEnabled()) m.alarms.push_back({n, "high", state.trigger.highArmed == 1});
        if (ch.LowBandEnabled()) m.alarms.push_back({n, "low", state.trigger.lowArmed == 1});
    }
    return m;
}

std::string CoreMetricsFile::PathFor(const AcquisitionSession& core) const {
    return MetricsFilePath(dir_, core.currentPid());
}

bool CoreMetricsFile::Write(const AcquisitionSession& core, bool polling) const {
    const std::string board = core.currentPid();
    if (board.empty()) return false;  // no board selected: nothing to name the file after
    return WriteFileAtomically(PathFor(core),
                               FormatBoardMetrics(SnapshotMetrics(core, lastReadingUnixMs_, polling)));
}

}  // namespace kestrane::core
