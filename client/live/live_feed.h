// The one place where the client's readings enter the live view: it listens
// to the acquisition session, turns each typed reading into a live reading
// and marks a gap where the readings stop (disconnected, board lost).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "client/core/session_events.h"
#include "live/live_recorder.h"

namespace kestrane::live {

class LiveFeed final : public core::SessionListener {
public:
    // `clock` gives the time of a gap mark in milliseconds since 1970 UTC.
    LiveFeed(LiveRecorder& recorder, std::function<int64_t()> clock)
        : recorder_(recorder), clock_(std::move(clock)) {}

    // A shown reading: its number, places and unit go in.
    void OnReading(const core::Reading& reading) override;
    // Connected to `board`: the trend of another board is cleared, so an
    // export never names the wrong board.
    void OnConnected(const std::string& board) override;
    // Disconnected or the board was lost: a gap, never bridged.
    void OnDisconnected(const std::string& board) override;
    void OnBoardLost(const std::string& board) override;
    // The lost board answers again: its readings continue after the gap.
    void OnBoardBack(const std::string& board) override;

    const std::string& board() const { return board_; }
    // Counts every change, so a window redraws only when something came in.
    uint64_t generation() const { return generation_; }
    // Reset from the window: statistics and trend cleared.
    void Reset();

    LiveRecorder& recorder() { return recorder_; }

private:
    void MarkGap();

    LiveRecorder& recorder_;
    std::function<int64_t()> clock_;
    std::string board_;
    bool receiving_ = false;  // readings may come; a stop marks one gap
    uint64_t generation_ = 0;
};

// The session's number as the live view keeps it: the double nearest the
// shown digits and their places (kShortestDecimals where the places cannot
// be kept). Empty when the number does not fit a double.
std::optional<Reading> ToLiveReading(const core::Reading& reading);

}  // namespace kestrane::live
