// One BoardLibrary shared by every call of a process: calls are serialised,
// and the board handles they leave open are closed once idle by a watcher
// thread that exists only while a handle is held.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "board_access.h"

namespace kestrane::board {

class BoardSession {
public:
    explicit BoardSession(std::unique_ptr<HidTransport> transport,
                          std::chrono::milliseconds idleRelease = kIdleRelease);
    // Stops the watcher and closes every handle: unloading the library
    // leaves no board open.
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Runs `call` on the library alone, then makes sure the handles it left
    // open will be closed when idle.
    template <typename Call>
    int32_t Run(Call&& call) {
        std::unique_lock<std::mutex> hold(mutex_);
        const int32_t result = call(library_);
        WatchHeldBoards();
        return result;
    }

    size_t HeldBoards();

private:
    void WatchHeldBoards();
    void WatchLoop();

    std::unique_ptr<HidTransport> transport_;
    BoardLibrary library_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread watcher_;
    bool watching_ = false;
    bool stopping_ = false;
};

}  // namespace kestrane::board
