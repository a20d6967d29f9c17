// The session's timers as Qt timers, for a shell without a window (the
// logger): one precise QTimer per id, the same kind the main window uses,
// so the cadence is the client's.
#pragma once

#include <QTimer>

#include <functional>
#include <map>
#include <memory>

#include "client/core/scheduler.h"

namespace kestrane::core {

class QtTimerScheduler final : public Scheduler {
public:
    // `onTimer` gets the id of each timer that fires.
    explicit QtTimerScheduler(std::function<void(int)> onTimer = {}) : onTimer_(std::move(onTimer)) {}
    void SetHandler(std::function<void(int)> onTimer) { onTimer_ = std::move(onTimer); }

    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    bool active(int id) const;

private:
    std::function<void(int)> onTimer_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace kestrane::core
