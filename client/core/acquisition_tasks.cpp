#include "core/acquisition_tasks.h"

#include "acquisition/intervals.h"
#include "acquisition/qt/qt_alarm_actions.h"

namespace kestrane::ui {

AcquisitionTasks::AcquisitionTasks(AlarmActions* actions, Clock* clock, LocalTimeSource* time)
    : ownActions_(actions ? nullptr : std::make_unique<QtAlarmActions>()),
      actions_(actions ? actions : ownActions_.get()),
      clock_(clock ? clock : &systemClock_),
      time_(time ? time : &systemTime_) {}

AcquisitionTasks::~AcquisitionTasks() = default;

void AcquisitionTasks::setProgramGuard(AlarmProgramGuard* guard) {
    if (ownActions_) ownActions_->setProgramGuard(guard);
}

void AcquisitionTasks::TriggerCheck(int channel, const ChannelSettings& settings, ChannelState& state) {
    const std::string board = boardPid_ ? boardPid_() : std::string();
    const TriggerState before = state.trigger;
    RunTriggerCheck(settings, state.shown, state.trigger, *clock_, *actions_, board, channel);
    if (triggerObserver_) triggerObserver_(channel, before, state.trigger);
}

void AcquisitionTasks::WriteLogRecord(int, const ChannelSettings& settings, const ChannelState& state) {
    kestrane::WriteLogRecord(settings, state.shown, *time_);
}

int AcquisitionTasks::LogPeriodMs(const ChannelSettings& settings, ChannelState& state) {
    return LogIntervalToMs(settings.logInterval, state.lastLogPeriodMs);
}

}  // namespace kestrane::ui
