// Bitmap fonts: loading the "TFDS" blobs, drawing and measuring text.
#include "plotwick/font.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "plotwick/image.h"
#include "plotwick/lzw.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace plotwick {

namespace {

const Font* FailFont(BlockHeap& heap, void* raw, const char* why) {
    if (raw) heap.Free(raw);
    DebugPrintString("FontLoad", why);
    return nullptr;
}

}  // namespace

const Font* FontLoad(RasterState& raster, std::span<const uint8_t> blob) {
    BlockHeap& heap = raster.heap;
    if (blob.size() < kFontBlobHeaderBytes || std::memcmp(blob.data(), kFontMagic, 4) != 0) {
        return FailFont(heap, nullptr, "not a font blob");
    }
    const uint32_t packed = ReadLe32(blob, 4);
    const uint32_t unpacked = ReadLe32(blob, 8);
    if (packed > blob.size() - kFontBlobHeaderBytes)
        return FailFont(heap, nullptr, "compressed size beyond the blob");
    if (unpacked < kFontHeaderBytes || unpacked > kMaxFontBytes)
        return FailFont(heap, nullptr, "bad unpacked size");

    auto* raw = static_cast<uint8_t*>(heap.Alloc(unpacked));
    if (!raw) return FailFont(heap, nullptr, "no memory");
    const LzwResult r =
        LzwDecode(heap, blob.subspan(kFontBlobHeaderBytes, packed), std::span<uint8_t>(raw, unpacked));
    if (r.written != unpacked) return FailFont(heap, raw, "compressed data damaged or short");

    const std::span<const uint8_t> data(raw, unpacked);
    const int64_t pitch = static_cast<int32_t>(ReadLe32(data, 0));
    const int64_t height = static_cast<int32_t>(ReadLe32(data, 4));
    const uint32_t mono = ReadLe32(data, 8);
    if (pitch <= 0 || height <= 0 || height > kMaxFontLineHeight ||
        static_cast<int64_t>(kFontHeaderBytes) + pitch * height > static_cast<int64_t>(unpacked)) {
        return FailFont(heap, raw, "atlas size does not fit");
    }
    void* record = heap.Alloc(sizeof(Font));
    if (!record) return FailFont(heap, raw, "no memory");
    Font* font = std::construct_at(static_cast<Font*>(record));
    font->pitch = static_cast<int32_t>(pitch);
    font->lineHeight = static_cast<int32_t>(height);
    font->monochrome = mono != 0 ? 1 : 0;
    font->atlas = raw + kFontHeaderBytes;
    for (int g = 0; g < kFontGlyphs; ++g) {
        const std::size_t at = kFontColumnsOffset + 2 * static_cast<std::size_t>(g);
        font->firstColumn[g] = static_cast<uint16_t>(raw[at] | raw[at + 1] << 8);
        font->glyphWidth[g] = raw[kFontWidthsOffset + g];
        // A glyph reaching past the atlas row would read into the next row.
        if (int64_t{font->firstColumn[g]} + font->glyphWidth[g] > pitch) {
            heap.Free(record);
            return FailFont(heap, raw, "glyph beyond the atlas");
        }
    }
    return font;
}

void SetFont(RasterState& raster, const Font* font) { raster.font = font; }

TextExtent TextSizeWith(const Font* font, const char* text) {
    TextExtent e;
    if (!font || !text) return e;
    int64_t line = 0, widest = 0, lines = 1;
    for (const char* p = text; *p; ++p) {
        const int ch = static_cast<unsigned char>(*p);
        if (ch == '\n') {
            widest = std::max(widest, line);
            line = 0;
            ++lines;
        } else if (ch >= kFontFirstChar && ch < kFontFirstChar + kFontGlyphs) {
            line += font->glyphWidth[ch - kFontFirstChar] + 1;
        }
    }
    widest = std::max(widest, line);
    e.width = static_cast<int32_t>(std::min<int64_t>(widest, INT32_MAX));
    e.height = static_cast<int32_t>(std::min<int64_t>(lines * font->lineHeight, INT32_MAX));
    return e;
}

TextExtent TextSize(const RasterState& raster, const char* text) { return TextSizeWith(raster.font, text); }

void TextDraw(RasterState& raster, int32_t x, int32_t y, const char* text, uint32_t colour) {
    const Font* font = raster.font;
    if (!font || !text || !*text) return;
    const RasterRect c = EffectiveClip(raster);
    if (c.Empty()) return;
    const int64_t startX = int64_t{x} + raster.origin.x;
    int64_t penY = int64_t{y} + raster.origin.y;
    if (startX >= c.right || penY >= c.bottom) return;
    const TextExtent size = TextSizeWith(font, text);
    if (startX + size.width <= c.left || penY + size.height <= c.top) return;

    const Bitmap& t = raster.target;
    int64_t penX = startX;
    for (const char* p = text; *p; ++p) {
        const int ch = static_cast<unsigned char>(*p);
        if (ch == '\n') {
            penX = startX;
            penY += font->lineHeight;
            continue;
        }
        if (ch < kFontFirstChar || ch >= kFontFirstChar + kFontGlyphs) continue;
        const int g = ch - kFontFirstChar;
        const int64_t gw = font->glyphWidth[g];
        // The visible part of this glyph cell.
        const int64_t x0 = std::max<int64_t>(penX, c.left), x1 = std::min<int64_t>(penX + gw, c.right);
        const int64_t y0 = std::max<int64_t>(penY, c.top),
                      y1 = std::min<int64_t>(penY + font->lineHeight, c.bottom);
        for (int64_t row = y0; row < y1; ++row) {
            const uint8_t* cov =
                font->atlas + (row - penY) * font->pitch + font->firstColumn[g] + (x0 - penX);
            uint32_t* d = BitmapRow(t, static_cast<int32_t>(row));
            for (int64_t col = x0; col < x1; ++col, ++cov) {
                if (*cov == 0) continue;
                d[col] = font->monochrome ? colour : MixPixel(d[col], colour, *cov);
            }
        }
        penX += gw;
    }
}

}  // namespace plotwick
