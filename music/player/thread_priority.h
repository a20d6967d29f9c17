// Gives the calling thread the most urgent scheduling the system allows for
// audio work: a real-time policy where permitted, else a lower niceness,
// else nothing. Unprivileged desktops usually refuse both; playback then
// runs at normal priority, which the ring's 320 ms of headroom tolerates.
#pragma once

namespace kestrane::music::player {

enum class ThreadPriority {
    kRealTime,  // SCHED_RR at the lowest real-time priority
    kRaised,    // normal policy, lower niceness than before
    kNormal,    // unchanged
};

// Affects only the calling thread; never fails loudly.
ThreadPriority RaiseCurrentThreadForAudio();

}  // namespace kestrane::music::player
