// The alarm checks and log records of the channels, as the client core
// runs them from the trigger and logging timers: the trigger engine and
// the log writer with the system clock, the desktop's alarm actions and
// the local time.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "acquisition/logging.h"
#include "acquisition/trigger_engine.h"
#include "core/client_core.h"

class QObject;

namespace kestrane {
class AlarmProgramGuard;
class QtAlarmActions;
}  // namespace kestrane

namespace kestrane::ui {

class AcquisitionTasks final : public ChannelTasks {
public:
    // `actions` null: the desktop's own (programs started, sounds played).
    explicit AcquisitionTasks(AlarmActions* actions = nullptr, Clock* clock = nullptr,
                              LocalTimeSource* time = nullptr);
    ~AcquisitionTasks() override;

    // The selected board's PID, told to alarm programs; unset: none.
    void setBoardSource(std::function<std::string()> pid) { boardPid_ = std::move(pid); }
    // The desktop's own actions start programs only when `guard` allows.
    void setProgramGuard(AlarmProgramGuard* guard);
    // Told a channel's trigger flags before and after each check.
    void setTriggerObserver(std::function<void(int, const TriggerState&, const TriggerState&)> observer) {
        triggerObserver_ = std::move(observer);
    }

    void TriggerCheck(int channel, const ChannelSettings& settings, ChannelState& state) override;
    void WriteLogRecord(int channel, const ChannelSettings& settings, const ChannelState& state) override;
    // The logging interval's period; an unknown text keeps the channel's
    // last valid period, or one second.
    int LogPeriodMs(const ChannelSettings& settings, ChannelState& state) override;

private:
    std::unique_ptr<QtAlarmActions> ownActions_;
    SystemClock systemClock_;
    SystemLocalTime systemTime_;
    AlarmActions* actions_;
    Clock* clock_;
    LocalTimeSource* time_;
    std::function<std::string()> boardPid_;
    std::function<void(int, const TriggerState&, const TriggerState&)> triggerObserver_;
};

}  // namespace kestrane::ui
