#include "music/player/sound_output.h"

#include <algorithm>
#include <cstring>

namespace kestrane::music::player {

void OutputRing::WriteBlock(std::size_t index, std::span<const std::int16_t, kBlockSamples> samples) {
    const std::size_t first = (index % kRingBlocks) * kBlockSamples;
    std::lock_guard lock(mutex_);
    std::copy(samples.begin(), samples.end(), samples_.begin() + first);
}

void OutputRing::Read(std::uint64_t offset, std::span<std::byte> out) const {
    const auto* bytes = reinterpret_cast<const std::byte*>(samples_.data());
    std::size_t at = static_cast<std::size_t>(offset % kRingBytes);
    std::size_t done = 0;
    std::lock_guard lock(mutex_);
    while (done < out.size()) {
        const std::size_t run = std::min(out.size() - done, kRingBytes - at);
        std::memcpy(out.data() + done, bytes + at, run);
        done += run;
        at = 0;
    }
}

void OutputRing::Clear() {
    std::lock_guard lock(mutex_);
    samples_.fill(0);
}

}  // namespace kestrane::music::player
