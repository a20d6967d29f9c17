// FreeType rasterising for the asset generator: a proportional bitmap font
// atlas for characters 32..127, and a line of anti-aliased text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace chartassets {

struct FontSpec {
    std::string path;
    double pixelSize = 0;  // FreeType pixel size of the em (fractional above scale 1)
    int lineHeight = 0;    // rows of every glyph
    int baseline = 0;      // row of the baseline from the top
    bool monochrome = false;
    int digitWidth = 0;  // every digit gets exactly this advance
    int minWidth = 0, maxWidth = 0;
    int pitch = 0;  // wanted atlas pitch: glyph advances are evened out to it; 0 keeps their sum
};

struct FontAtlas {
    int pitch = 0;
    int lineHeight = 0;
    bool monochrome = false;
    uint16_t firstColumn[96] = {};
    uint8_t width[96] = {};
    std::vector<uint8_t> atlas;  // pitch * lineHeight coverage bytes
};

bool RasterizeFont(const FontSpec& spec, FontAtlas* out, std::string* error);
// The unpacked font: 300-byte header (pitch, height, mono, columns, widths) + atlas.
std::vector<uint8_t> FontPayload(const FontAtlas& font);

struct TextImage {
    int width = 0, height = 0;
    std::vector<uint8_t> coverage;  // width * height, top row first
};
// Anti-aliased text on one line; height = ascender + descender of the size.
bool RenderText(const std::string& path, double pixelSize, const std::string& text, TextImage* out,
                std::string* error);

}  // namespace chartassets
