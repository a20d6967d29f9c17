// Turns the session's typed readings and board events into live readings
// and gap marks.
#include "live/live_feed.h"

#include <charconv>
#include <cmath>

namespace kestrane::live {

std::optional<Reading> ToLiveReading(const core::Reading& reading) {
    // The shown digits, formatted from the session's number (never from the
    // shown text), read back as the nearest double: the live CSV then writes
    // the same digits as the logger's rows.
    const std::string digits = kestrane::PlainNumber(reading.value);
    double value = 0.0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    Reading r;
    r.channel = reading.channel;
    r.unixMs = reading.unixMs;
    r.value = value;
    r.unit = reading.unit == "A" ? Unit::Amperes : Unit::Volts;
    // The session's places: the CSV export rounds to them as the logger does.
    r.decimals = reading.value.decimals < 0 || reading.value.decimals >= kShortestDecimals
                     ? kShortestDecimals
                     : static_cast<uint8_t>(reading.value.decimals);
    return r;
}

void LiveFeed::OnReading(const core::Reading& reading) {
    const auto r = ToLiveReading(reading);
    if (r && recorder_.Add(*r)) ++generation_;
}

void LiveFeed::OnConnected(const std::string& board) {
    if (!board_.empty() && board != board_) recorder_.Reset();
    board_ = board;
    receiving_ = true;
    ++generation_;
}

void LiveFeed::OnDisconnected(const std::string& /*board*/) { MarkGap(); }

void LiveFeed::OnBoardLost(const std::string& /*board*/) { MarkGap(); }

void LiveFeed::OnBoardBack(const std::string& board) {
    if (board == board_) receiving_ = true;
}

void LiveFeed::MarkGap() {
    if (!receiving_) return;
    receiving_ = false;
    recorder_.Gap(clock_());
    ++generation_;
}

void LiveFeed::Reset() {
    recorder_.Reset();
    ++generation_;
}

}  // namespace kestrane::live
