#include "file_lock.h"

#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace kestrane::board {

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

// flock has no timeout of its own: try, and between tries sleep a little
// longer each time, up to a few milliseconds, well below the length of a
// USB exchange, so the wait ends soon after the other program's exchange.
bool LockWithin(int fd, std::chrono::milliseconds wait) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point giveUp = Clock::now() + wait;
    std::chrono::microseconds pause{200};
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        const Clock::time_point now = Clock::now();
        if (now >= giveUp) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, giveUp - now));
        pause = std::min(pause * 2, std::chrono::microseconds{4000});
    }
}

}  // namespace kestrane::board
