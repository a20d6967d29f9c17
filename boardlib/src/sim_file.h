// The simulation file: the HID devices of a simulated bus, their USB
// identity, firmware text, channel signals and faults. A line-based text
// format (see README "Simulated board"); the parser accepts any bytes and
// either yields a configuration or names the first bad line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim_signal.h"

namespace kestrane::board {

enum class SimFault {
    kNone,
    kAbsent,     // not on the bus at all
    kBusy,       // present, but another program holds it: open fails
    kReadFails,  // the read of the answer fails
    kNoAnswer,   // the board never answers: the read times out
    kGarbage,    // the answer bytes are random
};

struct SimDevice {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0x0100;
    std::string product = "KESTRANEUNIT";
    std::string manufacturer = "Morvane";
    std::string firmware = "KESTRANE FW 1.00";
    std::array<Signal, 6> channels{};
    SimFault fault = SimFault::kNone;
    // Bytes the answer read returns, report ID included (1-128).
    int answerLength = 65;
    // Exchanges this process may make before the device vanishes; 0: never.
    uint64_t vanishAfter = 0;
    // Milliseconds the first open (no other handle open) takes, as the
    // kernel's HID driver sleeps before it starts polling a device.
    uint32_t openDelayMs = 0;
    // Milliseconds between a command and its answer, as a USB exchange takes
    // a few; the exchange lock is held all the while.
    uint32_t answerDelayMs = 0;
};

struct SimConfig {
    std::vector<SimDevice> devices;
};

inline constexpr size_t kMaxSimFileBytes = 1 << 20;
inline constexpr size_t kMaxSimDevices = 4096;
inline constexpr size_t kMaxSimStringLength = 126;

struct SimParseResult {
    std::optional<SimConfig> config;
    std::string error;  // "line N: ..." when config is empty
};

SimParseResult ParseSimulation(std::string_view text);

}  // namespace kestrane::board
