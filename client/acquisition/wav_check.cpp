#include "acquisition/wav_check.h"

#include <cstring>

namespace kestrane {
namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

bool FormatOk(const uint8_t* fmt, uint32_t size) {
    if (size < 16) return false;
    const uint16_t format = Le16(fmt);
    const uint16_t channels = Le16(fmt + 2);
    const uint32_t rate = Le32(fmt + 4);
    const uint16_t blockAlign = Le16(fmt + 12);
    const uint16_t bits = Le16(fmt + 14);
    uint16_t effective = format;
    if (format == kFormatExtensible) {
        // The real format is the first two bytes of the sub-format GUID.
        if (size < 40) return false;
        effective = Le16(fmt + 24);
    }
    if (channels < 1 || channels > 8) return false;
    if (rate < 1 || rate > 384000) return false;
    if (effective == kFormatPcm) {
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    } else if (effective == kFormatFloat) {
        if (bits != 32) return false;
    } else {
        return false;
    }
    return blockAlign == channels * (bits / 8);
}

}  // namespace

bool IsPlayableWav(std::span<const uint8_t> bytes) {
    const std::size_t n = bytes.size();
    if (n < 12 || n > kMaxSoundFileBytes) return false;
    const uint8_t* b = bytes.data();
    if (std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) return false;
    // Everything the header announces must be present.
    const uint64_t riffEnd = uint64_t{8} + Le32(b + 4);
    if (riffEnd > n) return false;

    bool haveFormat = false;
    uint16_t blockAlign = 0;
    uint64_t pos = 12;
    while (pos + 8 <= riffEnd) {
        const uint8_t* chunk = b + pos;
        const uint32_t size = Le32(chunk + 4);
        const uint64_t body = pos + 8;
        if (body + size > riffEnd) return false;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (haveFormat || !FormatOk(b + body, size)) return false;
            haveFormat = true;
            blockAlign = Le16(b + body + 12);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            return haveFormat && size >= blockAlign && size > 0;
        }
        pos = body + size + (size & 1U);  // chunks are padded to even sizes
    }
    return false;
}

}  // namespace kestrane
