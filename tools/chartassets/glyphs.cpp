#include "glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <memory>

namespace chartassets {

namespace {

struct LibraryCloser {
    void operator()(FT_Library lib) const { FT_Done_FreeType(lib); }
};
struct FaceCloser {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using LibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryCloser>;
using FacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceCloser>;

bool OpenFace(const std::string& path, double pixelSize, LibraryPtr* lib, FacePtr* face, std::string* error) {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) {
        *error = "FreeType cannot start";
        return false;
    }
    lib->reset(l);
    FT_Face f = nullptr;
    if (FT_New_Face(l, path.c_str(), 0, &f) != 0) {
        *error = "cannot open font " + path;
        return false;
    }
    face->reset(f);
    // Whole sizes as pixel sizes (the scale-1 fonts); fractional ones, for
    // the scaled fonts, in 26.6 points at 72 dpi, which is the same unit.
    const double whole = std::floor(pixelSize);
    const FT_Error set =
        whole == pixelSize
            ? FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(whole))
            : FT_Set_Char_Size(f, 0, static_cast<FT_F26Dot6>(std::lround(pixelSize * 64)), 72, 72);
    if (set != 0) {
        *error = "cannot set pixel size";
        return false;
    }
    return true;
}

// Coverage of bitmap pixel (x, y): 1-bit bitmaps become 0 or 255.
uint8_t CoverageAt(const FT_Bitmap& bm, int x, int y) {
    const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
    if (bm.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    return row[x];
}

// Copies the rendered glyph into a cell of `cellW` × `height` whose origin
// (pen position on the baseline) is (penX, baseline); outside parts are cut.
void Place(const FT_GlyphSlot slot, int penX, int baseline, int cellW, int height,
           std::vector<uint8_t>& cell) {
    const FT_Bitmap& bm = slot->bitmap;
    for (unsigned y = 0; y < bm.rows; ++y) {
        const int cy = baseline - slot->bitmap_top + static_cast<int>(y);
        if (cy < 0 || cy >= height) continue;
        for (unsigned x = 0; x < bm.width; ++x) {
            const int cx = penX + slot->bitmap_left + static_cast<int>(x);
            if (cx < 0 || cx >= cellW) continue;
            uint8_t& dst = cell[static_cast<size_t>(cy) * cellW + cx];
            dst = std::max(dst, CoverageAt(bm, static_cast<int>(x), static_cast<int>(y)));
        }
    }
}

}  // namespace

bool RasterizeFont(const FontSpec& spec, FontAtlas* out, std::string* error) {
    LibraryPtr lib;
    FacePtr face;
    if (!OpenFace(spec.path, spec.pixelSize, &lib, &face, error)) return false;
    const FT_Int32 load = FT_LOAD_RENDER | (spec.monochrome ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);

    std::vector<std::vector<uint8_t>> cells(96);
    int widths[96] = {};
    for (int g = 0; g < 96; ++g) {
        const int ch = 32 + g;
        int advance = 0;
        if (ch == 127) {
            advance = spec.digitWidth;  // no glyph in the face: an outlined box
        } else {
            if (FT_Load_Char(face.get(), static_cast<FT_ULong>(ch), load) != 0) {
                *error = "cannot render character " + std::to_string(ch);
                return false;
            }
            advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        }
        if (ch >= '0' && ch <= '9') advance = spec.digitWidth;
        widths[g] = std::clamp(advance, spec.minWidth, spec.maxWidth);
    }
    // Even the advances out to the wanted pitch: add a blank column to, or
    // take one from, the widest letters first (digits keep their width).
    int sum = 0;
    for (int w : widths) sum += w;
    const int pitch = spec.pitch > 0 ? spec.pitch : sum;
    std::vector<int> order;
    for (int g = 0; g < 96; ++g) {
        const int ch = 32 + g;
        if (!(ch >= '0' && ch <= '9') && ch != 127) order.push_back(g);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return widths[a] > widths[b]; });
    for (size_t k = 0; sum != pitch && k < order.size() * 4; ++k) {
        const int g = order[k % order.size()];
        if (sum < pitch && widths[g] < spec.maxWidth) {
            ++widths[g];
            ++sum;
        } else if (sum > pitch && widths[g] > spec.minWidth) {
            --widths[g];
            --sum;
        }
    }
    if (sum != pitch || pitch > 0xFFFF) {
        *error =
            "glyph widths cannot reach pitch " + std::to_string(pitch) + " (got " + std::to_string(sum) + ")";
        return false;
    }

    out->pitch = pitch;
    out->lineHeight = spec.lineHeight;
    out->monochrome = spec.monochrome;
    out->atlas.assign(static_cast<size_t>(pitch) * spec.lineHeight, 0);
    int column = 0;
    for (int g = 0; g < 96; ++g) {
        const int ch = 32 + g;
        const int w = widths[g];
        std::vector<uint8_t> cell(static_cast<size_t>(w) * spec.lineHeight, 0);
        if (ch == 127) {
            const int top = spec.baseline - spec.lineHeight / 2, bottom = spec.baseline - 1;
            for (int y = top; y <= bottom; ++y) {
                for (int x = 1; x < w - 1; ++x) {
                    if (y == top || y == bottom || x == 1 || x == w - 2)
                        cell[static_cast<size_t>(y) * w + x] = 255;
                }
            }
        } else {
            FT_Load_Char(face.get(), static_cast<FT_ULong>(ch), load);
            // Glyphs whose advance was narrowed are centred in the cell.
            const int natural = static_cast<int>((face->glyph->advance.x + 32) >> 6);
            const int pen = w >= natural ? 0 : (w - natural) / 2;
            Place(face->glyph, pen, spec.baseline, w, spec.lineHeight, cell);
        }
        out->firstColumn[g] = static_cast<uint16_t>(column);
        out->width[g] = static_cast<uint8_t>(w);
        for (int y = 0; y < spec.lineHeight; ++y) {
            std::copy_n(cell.begin() + static_cast<ptrdiff_t>(y) * w, w,
                        out->atlas.begin() + static_cast<ptrdiff_t>(y) * pitch + column);
        }
        column += w;
    }
    return true;
}

std::vector<uint8_t> FontPayload(const FontAtlas& font) {
    std::vector<uint8_t> out(300, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, static_cast<uint32_t>(font.pitch));
    put32(4, static_cast<uint32_t>(font.lineHeight));
    put32(8, font.monochrome ? 1u : 0u);
    for (int g = 0; g < 96; ++g) {
        out[12 + 2 * g] = static_cast<uint8_t>(font.firstColumn[g] & 0xFF);
        out[13 + 2 * g] = static_cast<uint8_t>(font.firstColumn[g] >> 8);
        out[204 + g] = font.width[g];
    }
    out.insert(out.end(), font.atlas.begin(), font.atlas.end());
    return out;
}

bool RenderText(const std::string& path, double pixelSize, const std::string& text, TextImage* out,
                std::string* error) {
    LibraryPtr lib;
    FacePtr face;
    if (!OpenFace(path, pixelSize, &lib, &face, error)) return false;
    const int ascender = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
    const int descender = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
    int width = 0;
    for (char ch : text) {
        if (FT_Load_Char(face.get(), static_cast<unsigned char>(ch), FT_LOAD_DEFAULT) != 0) {
            *error = "cannot load character";
            return false;
        }
        width += static_cast<int>((face->glyph->advance.x + 32) >> 6);
    }
    out->width = width;
    out->height = ascender + descender;
    out->coverage.assign(static_cast<size_t>(width) * out->height, 0);
    int pen = 0;
    for (char ch : text) {
        FT_Load_Char(face.get(), static_cast<unsigned char>(ch), FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT);
        Place(face->glyph, pen, ascender, width, out->height, out->coverage);
        pen += static_cast<int>((face->glyph->advance.x + 32) >> 6);
    }
    return true;
}

}  // namespace chartassets
