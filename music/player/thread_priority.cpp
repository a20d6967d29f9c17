#include "music/player/thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrane::music::player {
namespace {

// Niceness to aim for when no real-time policy is allowed: well ahead of
// ordinary work without reaching the values system daemons use.
constexpr int kWantedNice = -10;

}  // namespace

ThreadPriority RaiseCurrentThreadForAudio() {
    // The lowest real-time priority already runs ahead of every ordinary
    // thread; anything higher would compete with the sound server that
    // empties the ring. Reset on fork so no child inherits it. On Linux a
    // pid of 0 names the calling thread only.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    if (sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0) return ThreadPriority::kRealTime;

    // Niceness is per thread on Linux too.
    const auto tid = static_cast<id_t>(gettid());
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (errno != 0) return ThreadPriority::kNormal;
    if (kWantedNice < current && setpriority(PRIO_PROCESS, tid, kWantedNice) == 0)
        return ThreadPriority::kRaised;
    // Without privilege RLIMIT_NICE still allows going down to 20 - limit.
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const int floor = 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
        if (floor > kWantedNice && floor < current && setpriority(PRIO_PROCESS, tid, floor) == 0)
            return ThreadPriority::kRaised;
    }
    return ThreadPriority::kNormal;
}

}  // namespace kestrane::music::player
