#include "client/core/qt_scheduler.h"

#include <algorithm>

namespace kestrane::core {

void QtTimerScheduler::StartTimer(int id, int periodMs) {
    std::unique_ptr<QTimer>& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] {
            if (onTimer_) onTimer_(id);
        });
    }
    timer->start(std::max(1, periodMs));
}

void QtTimerScheduler::StopTimer(int id) {
    const auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool QtTimerScheduler::active(int id) const {
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

}  // namespace kestrane::core
