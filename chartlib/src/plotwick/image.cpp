// Pictures: the library's list of bitmaps and the decoder of the embedded
// picture blobs (LZW-compressed RGB565 plus an optional alpha plane).
#include "plotwick/image.h"

#include <memory>

#include "plotwick/lzw.h"
#include "plotwick/raster_state.h"

namespace plotwick {

uint32_t ReadLe32(std::span<const uint8_t> b, std::size_t at) {
    if (at > b.size() || b.size() - at < 4) return 0;
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

uint32_t Rgb565ToPixel(uint16_t p, uint8_t alpha) {
    const uint32_t blue = (p & 0x1Fu) * 8u;
    const uint32_t green = ((p >> 5) & 0x3Fu) * 4u;
    const uint32_t red = (p >> 11) * 8u;
    return uint32_t{alpha} << 24 | red << 16 | green << 8 | blue;
}

Bitmap* BitmapCreate(RasterState& raster, int32_t width, int32_t height, uint32_t flags) {
    if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxPicturePixels) return nullptr;
    void* record = raster.heap.Alloc(sizeof(Bitmap));
    if (!record) return nullptr;
    auto* bits = static_cast<uint32_t*>(
        raster.heap.Alloc(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u));
    if (!bits) {
        raster.heap.Free(record);
        return nullptr;
    }
    Bitmap* b = std::construct_at(static_cast<Bitmap*>(record));
    b->width = width;
    b->height = height;
    b->bits = bits;
    b->pitch = width * 4;
    b->topRow = bits + static_cast<std::size_t>(height - 1) * static_cast<std::size_t>(width);
    b->flags = flags;
    b->next = raster.pictures;
    raster.pictures = b;
    return b;
}

int PictureCount(const RasterState& raster) {
    int n = 0;
    for (const Bitmap* b = raster.pictures; b; b = b->next) ++n;
    return n;
}

Bitmap* ImageDecode(RasterState& raster, std::span<const uint8_t> blob) {
    if (blob.size() < kPictureHeaderBytes) {
        DebugPrint("ImageDecode: blob too short");
        return nullptr;
    }
    const uint32_t word0 = ReadLe32(blob, 0);
    const int64_t width = word0 & 0xFFFFu;
    const bool hasAlpha = (word0 & 0x10000u) != 0;
    const int64_t height = ReadLe32(blob, 4);
    const uint32_t packed = ReadLe32(blob, 8);
    if (width == 0 || height == 0 || width * height > kMaxPicturePixels) {
        DebugPrintf("ImageDecode: bad size %d x %d", static_cast<int>(width),
                    static_cast<int>(height & 0x7FFFFFFF));
        return nullptr;
    }
    if (packed > blob.size() - kPictureHeaderBytes) {
        DebugPrint("ImageDecode: compressed size beyond the blob");
        return nullptr;
    }
    const std::size_t pixels = static_cast<std::size_t>(width * height);
    const std::size_t unpacked = pixels * 2 + (hasAlpha ? pixels : 0);
    BlockHeap& heap = raster.heap;
    auto* raw = static_cast<uint8_t*>(heap.Alloc(unpacked));
    if (!raw) {
        DebugPrint("ImageDecode: no memory");
        return nullptr;
    }
    const LzwResult r =
        LzwDecode(heap, blob.subspan(kPictureHeaderBytes, packed), std::span<uint8_t>(raw, unpacked));
    Bitmap* picture = nullptr;
    if (r.written != unpacked) {
        DebugPrint("ImageDecode: compressed data damaged or short");
    } else {
        picture = BitmapCreate(raster, static_cast<int32_t>(width), static_cast<int32_t>(height),
                               hasAlpha ? kBitmapAlpha : 0);
        if (picture) {
            const uint8_t* plane = raw + pixels * 2;
            for (int32_t y = 0; y < picture->height; ++y) {
                uint32_t* row = BitmapRow(*picture, y);
                for (int32_t x = 0; x < picture->width; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                          static_cast<std::size_t>(x);
                    const uint16_t p = static_cast<uint16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
                    row[x] = Rgb565ToPixel(p, hasAlpha ? plane[i] : 255);
                }
            }
        } else {
            DebugPrint("ImageDecode: no memory");
        }
    }
    heap.Free(raw);
    return picture;
}

}  // namespace plotwick
