// Bitmap font blob layout ("TFDS" + LZW-compressed glyph table and 8-bit
// coverage atlas), shared by FontLoad, its tests and the font generator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plotwick {

inline constexpr char kFontMagic[4] = {'T', 'F', 'D', 'S'};
inline constexpr std::size_t kFontBlobHeaderBytes = 12;  // magic, packed size, unpacked size
inline constexpr std::size_t kFontHeaderBytes = 300;     // pitch, height, mono, columns, widths
inline constexpr std::size_t kFontColumnsOffset = 12;
inline constexpr std::size_t kFontWidthsOffset = 204;
inline constexpr int kFontFirstChar = 32;
inline constexpr int kFontGlyphs = 96;  // characters 32..127
// Bounds a damaged header cannot exceed.
inline constexpr std::size_t kMaxFontBytes = std::size_t{4} << 20;
inline constexpr int32_t kMaxFontLineHeight = 256;

}  // namespace plotwick
