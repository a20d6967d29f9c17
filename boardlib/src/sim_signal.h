// A simulated channel's input: a sum of constant, sine, ramp and noise
// terms in volts, evaluated at a time in seconds, or a fixed raw reading
// word. Parsed from text such as "12.6 + sine(0.15, 20) - noise(0.002)".
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane::board {

struct SignalTerm {
    enum class Kind { kConstant, kSine, kRamp, kNoise };
    Kind kind = Kind::kConstant;
    double sign = 1.0;
    // constant: a = volts. sine: a = amplitude, b = period s, c = phase deg.
    // ramp: a = from, b = to, c = period s (saw tooth). noise: a = amplitude.
    double a = 0, b = 0, c = 0;
};

struct Signal {
    std::vector<SignalTerm> terms;    // empty: 0 V
    std::optional<uint32_t> rawWord;  // "word 0x401000C0": sent as is
};

// Parses a signal text; std::nullopt with `error` set when it is malformed.
std::optional<Signal> ParseSignal(std::string_view text, std::string& error);

// Volts at `seconds`; noise terms draw from `rng`.
double EvaluateSignal(const Signal& signal, double seconds, std::mt19937& rng);

}  // namespace kestrane::board
