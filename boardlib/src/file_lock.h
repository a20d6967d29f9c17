// The exchange lock between programs: an flock on a descriptor, taken with
// a bounded wait, and the descriptor's owner. Used on hidraw nodes and on
// the simulated bus's lock files alike.
#pragma once

#include <chrono>
#include <utility>

namespace kestrane::board {

// Owns one file descriptor; closing it drops any flock taken through it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();
    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

// Takes an exclusive flock on `fd`, waiting at most `wait` for the holder
// to let go; false when it still holds it then, or the descriptor cannot be
// locked at all.
bool LockWithin(int fd, std::chrono::milliseconds wait);

}  // namespace kestrane::board
