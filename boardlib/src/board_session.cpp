#include "board_session.h"

#include <system_error>

namespace kestrane::board {

BoardSession::BoardSession(std::unique_ptr<HidTransport> transport, std::chrono::milliseconds idleRelease)
    : transport_(std::move(transport)) {
    library_.transport = transport_.get();
    library_.idleRelease = idleRelease;
}

BoardSession::~BoardSession() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    ReleaseAllBoards(library_);
}

size_t BoardSession::HeldBoards() {
    std::lock_guard<std::mutex> hold(mutex_);
    return library_.held.size();
}

// Called with the mutex held. The library keeps no thread while nothing is
// open: the watcher starts with the first held handle and ends when the
// last one has been closed, so a client that stops calling is left with
// neither handles nor threads of this library after the idle period.
void BoardSession::WatchHeldBoards() {
    if (library_.held.empty() || watching_ || stopping_) return;
    // A watcher that has just finished may not have returned yet; it needs
    // the mutex no more, so joining here cannot wait on this caller.
    if (watcher_.joinable()) watcher_.join();
    try {
        watcher_ = std::thread([this] { WatchLoop(); });
        watching_ = true;
    } catch (const std::system_error&) {
        // Without a watcher nothing would close idle handles: hold none.
        ReleaseAllBoards(library_);
    }
}

void BoardSession::WatchLoop() {
    std::unique_lock<std::mutex> hold(mutex_);
    while (!stopping_) {
        const auto next = ReleaseIdleBoards(library_, BoardClock::now());
        if (!next) break;
        wake_.wait_until(hold, *next);
    }
    watching_ = false;
}

}  // namespace kestrane::board
