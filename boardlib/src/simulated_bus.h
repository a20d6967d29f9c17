// A simulated HID bus that behaves like boards on USB: the simulated
// firmware answers the command reports in the board's formats, encoding
// each channel's signal so the decoded reading shows the configured volts,
// and injects the faults the configuration names. Used for demos and tests
// when KESTRANE_SIMULATION names a simulation file. The exchange lock of a
// bus read from a file is a lock file per device, shared by every program
// simulating that file, as a hidraw node's lock is.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "hid_transport.h"
#include "sim_file.h"

namespace kestrane::board {

// Seconds on a steady clock; tests substitute their own.
using SimClock = std::function<double()>;
SimClock SteadySimClock();
// How the bus waits out a read timeout or an open delay; fuzzing skips it.
using SimSleep = std::function<void(std::chrono::milliseconds)>;
SimSleep RealSimSleep();

class SimulatedBus final : public HidTransport {
public:
    // A fixed configuration.
    explicit SimulatedBus(SimConfig config, SimClock clock = SteadySimClock(),
                          SimSleep sleep = RealSimSleep());
    // Reads `path` now and again whenever the file changes; a file that is
    // missing or does not parse makes Enumerate fail (the reason goes to
    // stderr once per change).
    static std::unique_ptr<SimulatedBus> FromFile(std::string path, SimClock clock = SteadySimClock());
    ~SimulatedBus() override;

    std::optional<std::vector<HidDeviceInfo>> Enumerate() override;
    // A reload of the file is a change of the bus; a device that vanishes
    // is not announced, its next exchange fails as a board that left does.
    bool TakeBusChange() override;
    std::unique_ptr<HidDevice> Open(const std::string& path) override;

    // Output reports sent to any device since the configuration was loaded.
    uint64_t WritesSent() const;
    // Handles open on the devices of the current configuration.
    int OpenHandles() const;

    struct State;
    // Only FromFile can make this tag; the constructor must be public for
    // std::make_unique.
    class WatchTag {
        friend class SimulatedBus;
        WatchTag() = default;
    };
    SimulatedBus(std::string path, SimClock clock, WatchTag);

private:
    void ReloadIfChanged();

    std::shared_ptr<State> state_;
};

}  // namespace kestrane::board
