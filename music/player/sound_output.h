// The sound device seen by the mixing thread: the fixed output format, the
// looping output ring the player fills, and the narrow interface every
// output (desktop sound, WAV file, null, test fakes) implements.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

namespace kestrane::music::player {

inline constexpr int kSampleRate = 48000;
inline constexpr int kChannels = 2;
inline constexpr std::size_t kBytesPerFrame = 4;
inline constexpr std::size_t kBlockFrames = 1024;
inline constexpr std::size_t kBlockSamples = kBlockFrames * kChannels;
inline constexpr std::size_t kBlockBytes = kBlockFrames * kBytesPerFrame;
inline constexpr std::size_t kRingBlocks = 16;
inline constexpr std::size_t kRingBytes = kBlockBytes * kRingBlocks;
// One second of output: far more than any device holds in its buffers, so a
// device that has taken this much beyond a point has surely played it.
inline constexpr std::uint64_t kDrainLimitBytes = std::uint64_t{kSampleRate} * kBytesPerFrame;

// 16 blocks of 1,024 stereo frames that the device plays over and over
// while the mixing thread rewrites the blocks behind the play position.
// The device reads on its own thread, so every access copies under a short
// lock: a device that reads ahead into a block being rewritten (an
// underrun) gets one whole version of it, never torn memory.
class OutputRing {
public:
    OutputRing() = default;
    OutputRing(const OutputRing&) = delete;
    OutputRing& operator=(const OutputRing&) = delete;

    // Stores one block of kBlockSamples interleaved samples at index % 16.
    void WriteBlock(std::size_t index, std::span<const std::int16_t, kBlockSamples> samples);
    // Copies out.size() bytes of the looping stream starting at the absolute
    // byte offset (wrapping around the ring as often as needed).
    void Read(std::uint64_t offset, std::span<std::byte> out) const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::array<std::int16_t, kRingBytes / 2> samples_{};
};

// A sound device playing an OutputRing in a loop. Open and Close come from
// the caller's thread or, when a song ends by itself, from the mixing
// thread; Position only from the mixing thread.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts playing the ring from its first byte (48 kHz, stereo, signed
    // 16-bit, left first). False when there is no usable device. The ring
    // stays valid until Close returns.
    virtual bool Open(const OutputRing& ring) = 0;
    // Bytes the device has taken from the ring since Open; never decreases.
    virtual std::uint64_t Position() = 0;
    // Bytes actually played since Open: Position less what the device still
    // holds in its own buffers. nullopt for outputs without such buffers,
    // which play what they take.
    virtual std::optional<std::uint64_t> PlayedPosition() { return std::nullopt; }
    // Stops playing and releases the device; safe when not open. Once it
    // returns the device no longer touches the ring.
    virtual void Close() = 0;
};

}  // namespace kestrane::music::player
