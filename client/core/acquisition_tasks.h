// The alarm checks and log records of the channels, as the session runs
// them from the trigger and logging timers: the trigger engine and the log
// writer with the system clock and the local time, and the alarm actions
// the shell passes in.
#pragma once

#include <string>

#include "acquisition/log_failure_report.h"
#include "acquisition/logging.h"
#include "acquisition/trigger_engine.h"
#include "client/core/session.h"

namespace kestrane::core {

class AcquisitionTasks final : public ChannelTasks {
public:
    // Null clock or time: the system's. A record that cannot be written
    // is reported once per channel and cause, on stderr and to
    // `onLogFailure`, and again when writing works once more.
    explicit AcquisitionTasks(AlarmActions& actions, Clock* clock = nullptr, LocalTimeSource* time = nullptr,
                              LogFailureReporter::Listener onLogFailure = {});

    void TriggerCheck(const std::string& board, int channel, const ChannelSettings& settings,
                      ChannelState& state) override;
    void WriteLogRecord(int channel, const ChannelSettings& settings, const ChannelState& state) override;
    // The logging interval's period; an unknown text keeps the channel's
    // last valid period, or one second.
    int LogPeriodMs(const ChannelSettings& settings, ChannelState& state) override;

private:
    SystemClock systemClock_;
    SystemLocalTime systemTime_;
    AlarmActions& actions_;
    Clock& clock_;
    LocalTimeSource& time_;
    LogFailureReporter logFailures_;
};

}  // namespace kestrane::core
