// The session's timers, by id, started and stopped through the shell's
// scheduler: the window's own timers in the client, plain Qt timers in
// the logger, a fake in tests. Each shell calls AcquisitionSession::OnTimer(id) when
// one fires.
#pragma once

namespace kestrane::core {

inline constexpr int kTimerPolling = 1;
inline constexpr int kTimerTrigger = 3;
inline constexpr int kTimerAnimation = 4;
inline constexpr int kTimerRetry = 8;      // looks for a lost board
inline constexpr int kTimerLogFirst = 11;  // 10 + channel
inline constexpr int kPollingPeriodMs = 50;
inline constexpr int kTriggerPeriodMs = 50;
inline constexpr int kAnimationPeriodMs = 1000;
inline constexpr int kRetryPeriodMs = 2000;

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Starts timer `id`, or restarts it with a new period.
    virtual void StartTimer(int id, int periodMs) = 0;
    // Stops it; a timer never started is left alone.
    virtual void StopTimer(int id) = 0;
};

}  // namespace kestrane::core
