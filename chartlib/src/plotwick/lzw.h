// LZW coding of the embedded blobs: the GIF variant with an 8-bit alphabet,
// codes packed least-significant bit first, 9 to 14 bits wide, code 256
// clears the dictionary and code 257 ends the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "plotwick/heap.h"

namespace plotwick {

inline constexpr int kLzwClearCode = 256;
inline constexpr int kLzwEndCode = 257;
inline constexpr int kLzwFirstFree = 258;
inline constexpr int kLzwMinWidth = 9;
inline constexpr int kLzwMaxWidth = 14;
inline constexpr int kLzwMaxCodes = 1 << kLzwMaxWidth;  // 16384 dictionary entries
// prefix (uint16), suffix (uint8) and length (uint16) per entry.
inline constexpr std::size_t kLzwTableBytes = std::size_t{kLzwMaxCodes} * 5;

enum class LzwStatus {
    Ok,          // end code reached
    Truncated,   // input ran out before the end code
    BadCode,     // a code that is not yet defined
    OutputFull,  // the output buffer filled before the end code
    NoMemory,    // the working table could not be allocated
};

struct LzwResult {
    LzwStatus status = LzwStatus::Ok;
    std::size_t written = 0;  // bytes stored in the output
};

// Decodes into out, never writing beyond it. The working table comes from
// `heap` (the raster heap) for the duration of the call.
LzwResult LzwDecode(BlockHeap& heap, std::span<const uint8_t> in, std::span<uint8_t> out);

// Encodes so that LzwDecode reproduces the input exactly; the dictionary is
// cleared before it would outgrow 14-bit codes. Deterministic.
std::vector<uint8_t> LzwEncode(std::span<const uint8_t> in);

}  // namespace plotwick
