// The one place where the client's readings enter the live view. Today it
// is fed from the client core's reading observer (a channel's state after a
// pass showed it) and from Connect/Disconnect; when the acquisition session
// hands out typed readings and board events, only this adapter changes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "acquisition/channel_model.h"
#include "live/live_recorder.h"

namespace kestrane::live {

class LiveFeed {
public:
    // `clock` gives the time of a reading in milliseconds since 1970 UTC.
    LiveFeed(LiveRecorder& recorder, std::function<int64_t()> clock)
        : recorder_(recorder), clock_(std::move(clock)) {}

    // A pass showed channel 1..6's reading: its number, unit and text go in.
    void OnReading(int channel, const ChannelState& state, const ChannelSettings& settings);
    // Connected to board `pid`: the trend of another board is cleared, so an
    // export never names the wrong board.
    void OnConnected(const std::string& pid);
    // Disconnected or the board was lost: a gap, never bridged.
    void OnDisconnected();

    const std::string& board() const { return board_; }
    // Counts every change, so a window redraws only when something came in.
    uint64_t generation() const { return generation_; }
    // Reset from the window: statistics and trend cleared.
    void Reset();

    LiveRecorder& recorder() { return recorder_; }

private:
    LiveRecorder& recorder_;
    std::function<int64_t()> clock_;
    std::string board_;
    bool connected_ = false;
    uint64_t generation_ = 0;
};

}  // namespace kestrane::live
