// Helpers shared by the board library tests: a simulated bus built from
// simulation text, a fixed clock, a sleep that only records what it was
// asked to wait, and a text buffer that shows whether a call wrote into it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "board_access.h"
#include "simulated_bus.h"

namespace kestrane::board::testing {

inline std::unique_ptr<SimulatedBus> MakeBus(std::string_view text, double seconds = 0.0,
                                             SimSleep sleep = RealSimSleep()) {
    SimParseResult parsed = ParseSimulation(text);
    EXPECT_TRUE(parsed.config.has_value()) << parsed.error;
    if (!parsed.config) return std::make_unique<SimulatedBus>(SimConfig{});
    return std::make_unique<SimulatedBus>(
        std::move(*parsed.config), [seconds] { return seconds; }, std::move(sleep));
}

// One simulated bus with a library state wired to it. The bus does not
// really wait: `slept` lists the waits it was asked for.
struct Rig {
    explicit Rig(std::string_view text, double seconds = 0.0)
        : bus(MakeBus(text, seconds, [this](std::chrono::milliseconds ms) { slept.push_back(ms.count()); })) {
        lib.transport = bus.get();
    }
    std::vector<long long> slept;
    std::unique_ptr<SimulatedBus> bus;
    BoardLibrary lib;
};

// A caller's buffer pre-filled with a marker, with a guard tail to catch
// writes past the size the header promises.
template <size_t N>
struct TextBuffer {
    static constexpr char kMarker[] = "untouched";
    TextBuffer() {
        bytes.fill('#');
        std::memcpy(bytes.data(), kMarker, sizeof kMarker);
    }
    char* data() { return bytes.data(); }
    std::string text() const { return std::string(bytes.data(), strnlen(bytes.data(), N)); }
    bool Untouched() const { return text() == kMarker; }
    // Every byte after the first N is still the guard value.
    bool GuardIntact() const {
        for (size_t i = N; i < bytes.size(); ++i)
            if (bytes[i] != '#') return false;
        return true;
    }
    std::array<char, N + 64> bytes{};
};

}  // namespace kestrane::board::testing
