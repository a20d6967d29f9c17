// Test doubles for the module player: block sources that stamp every block
// with its number, an output whose position the test moves by hand, and
// helpers for waiting and for reading WAV files back.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include "music/player/module_player.h"
#include "music/player/sound_output.h"
#include "temp_dir.h"

namespace kestrane::music::player::testing {

// Block n (counting from 1) holds the value n in every sample, so a capture
// shows which blocks played, in which order. Ends after `blocks` blocks
// when that is not 0.
class StampSource final : public BlockSource {
public:
    struct Probe {
        std::atomic<int> rendered{0};
        std::atomic<bool> destroyed{false};
        std::atomic<std::int32_t> last_master{-1};
    };
    StampSource(std::shared_ptr<Probe> probe, int blocks) : probe_(std::move(probe)), blocks_(blocks) {}
    ~StampSource() override { probe_->destroyed = true; }
    bool RenderBlock(std::span<std::int16_t, kBlockSamples> out, std::int32_t master) override {
        probe_->last_master = master;
        if (blocks_ != 0 && next_ > blocks_) {
            std::fill(out.begin(), out.end(), std::int16_t{0});
            return false;
        }
        std::fill(out.begin(), out.end(), static_cast<std::int16_t>(next_ % 30000));
        ++probe_->rendered;
        ++next_;
        return blocks_ == 0 || next_ <= blocks_;
    }

private:
    std::shared_ptr<Probe> probe_;
    int blocks_;
    int next_ = 1;
};

// An output whose play position the test sets; it remembers how it was used.
class ManualOutput final : public SoundOutput {
public:
    struct Probe {
        std::atomic<int> opens{0};
        std::atomic<int> closes{0};
        std::atomic<bool> open{false};
        std::atomic<bool> fail_open{false};
        std::atomic<std::uint64_t> position{0};
        // Bytes heard; below 0 the device plays what it takes (no buffer).
        std::atomic<std::int64_t> played{-1};
        std::atomic<std::uint64_t> queries{0};
        std::atomic<const OutputRing*> ring{nullptr};
        std::thread::id close_thread{};
        // Scheduling of the thread that last asked for the position.
        std::atomic<int> position_policy{-1};
        std::atomic<int> position_nice{0};
    };
    explicit ManualOutput(std::shared_ptr<Probe> probe) : probe_(std::move(probe)) {}
    bool Open(const OutputRing& ring) override {
        if (probe_->fail_open) return false;
        ++probe_->opens;
        probe_->position = 0;
        probe_->ring = &ring;
        probe_->open = true;
        return true;
    }
    std::uint64_t Position() override {
        probe_->position_policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
        probe_->position_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        ++probe_->queries;
        return probe_->position;
    }
    std::optional<std::uint64_t> PlayedPosition() override {
        const std::int64_t played = probe_->played;
        if (played < 0) return std::nullopt;
        return static_cast<std::uint64_t>(played);
    }
    void Close() override {
        ++probe_->closes;
        probe_->open = false;
        probe_->close_thread = std::this_thread::get_id();
    }

private:
    std::shared_ptr<Probe> probe_;
};

// Polls `done` until it holds or the (generous) limit passes; the limit
// only bounds a hang, it never decides a result on a slow machine.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The samples of a WAV file written by WavWriter (44-byte header).
inline std::vector<std::int16_t> WavSamples(const std::vector<std::uint8_t>& file) {
    std::vector<std::int16_t> samples;
    for (std::size_t i = 44; i + 1 < file.size(); i += 2)
        samples.push_back(static_cast<std::int16_t>(file[i] | (file[i + 1] << 8)));
    return samples;
}

// One value per block of a stamped capture (the first sample of each).
inline std::vector<int> BlockStamps(const std::vector<std::int16_t>& samples) {
    std::vector<int> stamps;
    for (std::size_t i = 0; i + kBlockSamples <= samples.size(); i += kBlockSamples)
        stamps.push_back(samples[i]);
    return stamps;
}

// A file in this test program's own temporary folder, removed at exit.
inline std::string TempPath(const std::string& name) {
    static const kestrane::test::TempDir dir("kestrane-xmplayer");
    return dir.File(name);
}

}  // namespace kestrane::music::player::testing
