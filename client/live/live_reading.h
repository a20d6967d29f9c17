// What the live view is fed: one converted reading of one channel, and the
// mark of a break in the readings (board lost, disconnected). Times are
// milliseconds since 1970 UTC, the same clock the log rows carry.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kestrane::live {

inline constexpr int kLiveChannels = 6;

enum class Unit : uint8_t { Volts, Amperes };

struct Reading {
    int channel = 0;     // 1..6
    int64_t unixMs = 0;  // when it was read
    double value = 0.0;  // the shown number, sign included
    Unit unit = Unit::Volts;
    uint8_t decimals = 0;  // places shown; kShortestDecimals: the shortest exact form
};

inline int64_t ToUnixMs(std::chrono::system_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

inline const char* UnitSymbol(Unit unit) { return unit == Unit::Amperes ? "A" : "V"; }

// Decimals for a value shown in exponent form: it is written in the
// shortest form that reads back to the same value.
inline constexpr uint8_t kShortestDecimals = 127;

// The value as the logger's CSV writes it: "12.350", "-0.5", "0" (never a
// negative zero).
std::string PlainNumber(double value, uint8_t decimals);

}  // namespace kestrane::live
