#include "core/acquisition_tasks.h"

#include "acquisition/intervals.h"

#if __has_include("acquisition/qt/qt_alarm_actions.h")
#include "acquisition/qt/qt_alarm_actions.h"
#define KESTRANE_HAVE_QT_ALARM_ACTIONS 1
#endif

namespace kestrane::ui {
namespace {

// Until the desktop actions are built in, alarms change their flags only.
class SilentAlarmActions final : public AlarmActions {
public:
    void StartProgram(const std::string&) override {}
    void PlaySound(const std::string&) override {}
};

std::unique_ptr<AlarmActions> MakeDesktopActions() {
#ifdef KESTRANE_HAVE_QT_ALARM_ACTIONS
    return std::make_unique<QtAlarmActions>();
#else
    return std::make_unique<SilentAlarmActions>();
#endif
}

}  // namespace

AcquisitionTasks::AcquisitionTasks(AlarmActions* actions, Clock* clock, LocalTimeSource* time)
    : ownActions_(actions ? nullptr : MakeDesktopActions()),
      actions_(actions ? actions : ownActions_.get()),
      clock_(clock ? clock : &systemClock_),
      time_(time ? time : &systemTime_) {}

AcquisitionTasks::~AcquisitionTasks() = default;

void AcquisitionTasks::TriggerCheck(int, const ChannelSettings& settings, ChannelState& state) {
    RunTriggerCheck(settings, state.shown, state.trigger, *clock_, *actions_);
}

void AcquisitionTasks::WriteLogRecord(int, const ChannelSettings& settings, const ChannelState& state) {
    kestrane::WriteLogRecord(settings, state.shown, *time_);
}

int AcquisitionTasks::LogPeriodMs(const ChannelSettings& settings, ChannelState& state) {
    return LogIntervalToMs(settings.logInterval, state.lastLogPeriodMs);
}

}  // namespace kestrane::ui
