// Picture blob format helpers: the header layout and the RGB565 pixel
// conversion, shared by the decoder, its tests and the asset generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "plotwick/raster.h"

namespace plotwick {

inline constexpr std::size_t kPictureHeaderBytes = 12;
inline constexpr uint32_t kPictureHasAlpha = 0x10000u;  // in the width word
// Pictures larger than this are refused (the embedded ones are far smaller).
inline constexpr int64_t kMaxPicturePixels = int64_t{4096} * 4096;

// Little-endian 32-bit word at `at`, 0 when it does not fit in b.
uint32_t ReadLe32(std::span<const uint8_t> b, std::size_t at);
// RGB565 word to a B,G,R,A pixel: each channel scaled by shifting, truncated.
uint32_t Rgb565ToPixel(uint16_t p, uint8_t alpha);

}  // namespace plotwick
