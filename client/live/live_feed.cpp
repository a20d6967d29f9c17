// Turns the client core's channel states into typed live readings.
#include "live/live_feed.h"

namespace kestrane::live {

void LiveFeed::OnReading(int channel, const ChannelState& state, const ChannelSettings& settings) {
    Reading r;
    r.channel = channel;
    r.unixMs = clock_();
    r.value = state.value;
    r.unit = settings.IsShunt() ? Unit::Amperes : Unit::Volts;
    r.shown = state.shown;
    if (recorder_.Add(r)) ++generation_;
}

void LiveFeed::OnConnected(const std::string& pid) {
    if (!board_.empty() && pid != board_) recorder_.Reset();
    board_ = pid;
    connected_ = true;
    ++generation_;
}

void LiveFeed::OnDisconnected() {
    if (!connected_) return;
    connected_ = false;
    recorder_.Gap(clock_());
    ++generation_;
}

void LiveFeed::Reset() {
    recorder_.Reset();
    ++generation_;
}

}  // namespace kestrane::live
