#include "music/player/basic_outputs.h"

#include <array>
#include <cstring>

namespace kestrane::music::player {

bool NullSoundOutput::Open(const OutputRing&) {
    start_ = std::chrono::steady_clock::now();
    open_ = true;
    return true;
}

std::uint64_t NullSoundOutput::Position() {
    if (!open_) return 0;
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    const std::uint64_t frames = static_cast<std::uint64_t>(us) * kSampleRate / 1000000;
    return frames * kBytesPerFrame;
}

void NullSoundOutput::Close() { open_ = false; }

bool WavFileOutput::Open(const OutputRing& ring) {
    std::lock_guard lock(mutex_);
    lastOk_ = false;
    if (!writer_.Open(path_)) {
        writer_.Close();
        return false;
    }
    ring_ = &ring;
    position_ = 0;
    blocksPlayed_ = 0;
    open_ = true;
    return true;
}

std::uint64_t WavFileOutput::Position() {
    std::lock_guard lock(mutex_);
    if (!ring_) return position_;
    std::array<std::byte, kBlockBytes> raw;
    ring_->Read(position_, raw);
    std::array<std::int16_t, kBlockSamples> samples;
    std::memcpy(samples.data(), raw.data(), raw.size());
    writer_.Write(samples);
    position_ += kBlockBytes;
    ++blocksPlayed_;
    return position_;
}

void WavFileOutput::Close() {
    std::lock_guard lock(mutex_);
    if (!ring_) return;
    ring_ = nullptr;
    lastOk_ = writer_.Close();
    open_ = false;
}

}  // namespace kestrane::music::player
