#include "client/core/acquisition_tasks.h"

#include "acquisition/intervals.h"

namespace kestrane::core {

AcquisitionTasks::AcquisitionTasks(AlarmActions& actions, Clock* clock, LocalTimeSource* time,
                                   LogFailureReporter::Listener onLogFailure)
    : actions_(actions),
      clock_(clock ? *clock : systemClock_),
      time_(time ? *time : systemTime_),
      logFailures_(std::move(onLogFailure)) {}

void AcquisitionTasks::TriggerCheck(const std::string& board, int channel, const ChannelSettings& settings,
                                    ChannelState& state) {
    RunTriggerCheck(settings, state.shown, state.trigger, clock_, actions_, board, channel, state.number);
}

void AcquisitionTasks::WriteLogRecord(int channel, const ChannelSettings& settings,
                                      const ChannelState& state) {
    logFailures_.Note(ChannelLogSource(channel), LogFilePath(settings),
                      kestrane::WriteLogRecord(settings, state.shown, time_));
}

int AcquisitionTasks::LogPeriodMs(const ChannelSettings& settings, ChannelState& state) {
    return LogIntervalToMs(settings.logInterval, state.lastLogPeriodMs);
}

}  // namespace kestrane::core
