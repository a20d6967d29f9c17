// Sound outputs without a sound card: one that has no device at all, a
// null device that consumes the ring at the real-time rate, and one that
// writes every block it plays into a WAV file.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "music/player/sound_output.h"
#include "music/player/wav_writer.h"

namespace kestrane::music::player {

// No sound device present: Open always fails, so the player stays silent.
class NoSoundOutput final : public SoundOutput {
public:
    bool Open(const OutputRing&) override { return false; }
    std::uint64_t Position() override { return 0; }
    void Close() override {}
};

// Plays nothing but advances its position at 192,000 bytes per second of
// the steady clock, so the mixing thread runs at its real pace.
class NullSoundOutput final : public SoundOutput {
public:
    bool Open(const OutputRing& ring) override;
    std::uint64_t Position() override;
    void Close() override;

private:
    std::atomic<bool> open_{false};
    std::chrono::steady_clock::time_point start_{};
};

// Writes the stream into a WAV file. It "plays" one block each time the
// mixing thread asks for the position, so the file receives every block in
// order, exactly once, whatever the machine's load; the mixing thread's own
// polling sets the pace (about four times real time).
class WavFileOutput final : public SoundOutput {
public:
    explicit WavFileOutput(std::string path) : path_(std::move(path)) {}
    bool Open(const OutputRing& ring) override;
    std::uint64_t Position() override;
    void Close() override;

    // True when the last file was completed without a write error.
    bool lastFileOk() const { return lastOk_.load(); }
    // Blocks written into the current (or last) file.
    std::uint64_t blocksPlayed() const { return blocksPlayed_.load(); }
    bool is_open() const { return open_.load(); }

private:
    std::string path_;
    std::mutex mutex_;
    const OutputRing* ring_ = nullptr;
    WavWriter writer_;
    std::uint64_t position_ = 0;
    std::atomic<bool> lastOk_{false};
    std::atomic<std::uint64_t> blocksPlayed_{0};
    std::atomic<bool> open_{false};
};

}  // namespace kestrane::music::player
