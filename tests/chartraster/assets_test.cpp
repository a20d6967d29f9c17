// The embedded fonts and pictures: decoded sizes, glyph widths, and the
// picture regions the chart blits from.
#include <gtest/gtest.h>

#include <algorithm>

#include "plotwick/assets.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace plotwick {
namespace {

namespace pa = assets;

class AssetsTest : public ::testing::Test {
protected:
    void SetUp() override { a = &RasterAssets(raster); }
    static uint32_t Alpha(const Bitmap* b, int x, int y) { return PixelAt(*b, x, y) >> 24; }
    // Whether any pixel of the rectangle has nonzero alpha.
    static bool Inked(const Bitmap* b, int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                if (Alpha(b, x, y) != 0) return true;
        return false;
    }
    RasterState raster;
    const ChartAssets* a = nullptr;
};

TEST_F(AssetsTest, FontsHaveTheirLineHeightsPitchesAndWidths) {
    struct Case {
        const char* name;
        const Font* font;
        int lineHeight, pitch, monochrome, minWidth, maxWidth, digitWidth;
    } cases[] = {
        {"small", a->smallFont, 11, 559, 1, 2, 11, 6},
        {"large", a->largeFont, 19, 970, 0, 4, 19, 10},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.font, nullptr) << c.name;
        EXPECT_EQ(c.font->lineHeight, c.lineHeight) << c.name;
        EXPECT_EQ(c.font->pitch, c.pitch) << c.name;
        EXPECT_EQ(c.font->monochrome, c.monochrome) << c.name;
        int column = 0;
        for (int g = 0; g < 96; ++g) {
            EXPECT_GE(c.font->glyphWidth[g], c.minWidth) << c.name << " glyph " << g + 32;
            EXPECT_LE(c.font->glyphWidth[g], c.maxWidth) << c.name << " glyph " << g + 32;
            EXPECT_EQ(c.font->firstColumn[g], column) << c.name << " glyph " << g + 32;
            column += c.font->glyphWidth[g];
        }
        for (char d = '0'; d <= '9'; ++d)
            EXPECT_EQ(c.font->glyphWidth[d - 32], c.digitWidth) << c.name << " " << d;
        // Every printable character except the space has ink.
        for (int ch = 33; ch < 127; ++ch) {
            const int g = ch - 32;
            bool ink = false;
            for (int y = 0; y < c.font->lineHeight && !ink; ++y)
                for (int x = 0; x < c.font->glyphWidth[g] && !ink; ++x)
                    ink = c.font->atlas[y * c.font->pitch + c.font->firstColumn[g] + x] != 0;
            EXPECT_TRUE(ink) << c.name << " '" << static_cast<char>(ch) << "'";
        }
    }
}

TEST_F(AssetsTest, PicturesHaveTheirSizesAndAlpha) {
    ASSERT_NE(a->caption, nullptr);
    ASSERT_NE(a->sheet, nullptr);
    EXPECT_EQ(a->caption->width, pa::kCaptionWidth);
    EXPECT_EQ(a->caption->height, pa::kCaptionHeight);
    EXPECT_EQ(a->sheet->width, pa::kSheetWidth);
    EXPECT_EQ(a->sheet->height, pa::kSheetHeight);
    EXPECT_EQ(a->caption->flags, kBitmapAlpha);
    EXPECT_EQ(a->sheet->flags, kBitmapAlpha);
    EXPECT_EQ(&RasterAssets(raster), a);  // decoded once
    EXPECT_EQ(PictureCount(raster), 2);
}

TEST_F(AssetsTest, CaptionWordsLieInTheirRegionsReadingUpward) {
    const Bitmap* c = a->caption;
    for (const pa::Region& r : {pa::kCaptionAmps, pa::kCaptionVolts}) {
        int minX = 99, maxX = -1, minY = 999, maxY = -1;
        for (int y = 0; y < c->height; ++y)
            for (int x = 0; x < c->width; ++x)
                if (Alpha(c, x, y) && y >= r.y && y < r.y + r.h) {
                    minX = std::min(minX, x), maxX = std::max(maxX, x);
                    minY = std::min(minY, y), maxY = std::max(maxY, y);
                }
        ASSERT_GE(maxX, 0);
        // A word turned to read upward is much taller than wide.
        EXPECT_GT(maxY - minY, 2 * (maxX - minX));
    }
    // Nothing outside the two regions.
    EXPECT_FALSE(Inked(c, 0, 80, 30, 18));
    EXPECT_FALSE(Inked(c, 0, 168, 30, 8));
}

TEST_F(AssetsTest, SheetRegionsHoldTheirParts) {
    const Bitmap* s = a->sheet;
    // Opaque bodies where text is drawn on them.
    EXPECT_EQ(Alpha(s, 35, 10), 255u);        // date tag
    EXPECT_EQ(Alpha(s, 45, 43 + 25), 240u);   // call-out body (slightly see-through)
    EXPECT_GT(Alpha(s, 50, 102 + 11), 200u);  // value tag body
    // The call-out's pointer at the top centre: top rows inked only there.
    EXPECT_TRUE(Inked(s, 43, 43, 4, 2));
    EXPECT_FALSE(Inked(s, 0, 43, 38, 4));
    EXPECT_FALSE(Inked(s, 52, 43, 38, 4));
    // The value tag's pointer at the left, touching x 0 near row 4.
    EXPECT_TRUE(Inked(s, 0, 102 + 3, 1, 3));
    EXPECT_FALSE(Inked(s, 0, 102 + 14, 4, 8));
    // Gaps between the parts stay clear.
    EXPECT_FALSE(Inked(s, 0, 20, 90, 23));
    EXPECT_FALSE(Inked(s, 0, 93, 90, 9));
    EXPECT_FALSE(Inked(s, 0, 124, 90, 6));
    EXPECT_FALSE(Inked(s, 25, 137, 9, 20));  // between track middle and right cap
}

TEST_F(AssetsTest, StripMiddlesTileAndHoveredLooksDiffer) {
    const Bitmap* s = a->sheet;
    struct Part {
        const char* name;
        pa::Region normal;
        int hoverY;
    } middles[] = {
        {"track middle", pa::kSheetTrackMiddle, pa::kSheetTrackHoverY},
        {"thumb middle", pa::kSheetThumbMiddle, pa::kSheetThumbHoverY},
    };
    for (const Part& p : middles) {
        for (int y0 : {p.normal.y, p.hoverY}) {
            for (int y = y0; y < y0 + p.normal.h; ++y)
                for (int x = p.normal.x + 1; x < p.normal.x + p.normal.w; ++x)
                    ASSERT_EQ(PixelAt(*s, x, y), PixelAt(*s, p.normal.x, y))
                        << p.name << " column " << x << " row " << y;
        }
        EXPECT_TRUE(Inked(s, p.normal.x, p.normal.y, p.normal.w, p.normal.h)) << p.name;
    }
    const pa::Region parts[] = {pa::kSheetTrackLeft, pa::kSheetTrackMiddle, pa::kSheetTrackRight,
                                pa::kSheetThumbLeft, pa::kSheetThumbMiddle, pa::kSheetThumbRight};
    for (int i = 0; i < 6; ++i) {
        const pa::Region r = parts[i];
        const int hoverY = i < 3 ? pa::kSheetTrackHoverY : pa::kSheetThumbHoverY;
        bool differs = false;
        for (int y = 0; y < r.h; ++y)
            for (int x = r.x; x < r.x + r.w; ++x)
                differs |= PixelAt(*s, x, r.y + y) != PixelAt(*s, x, hoverY + y);
        EXPECT_TRUE(differs) << "part " << i;
        // The caps round off: their outer corner is clear.
        if (i == 0 || i == 3) {
            EXPECT_EQ(Alpha(s, r.x, r.y + (i == 0 ? 2 : 0)), 0u) << "part " << i;
        }
        if (i == 2 || i == 5) {
            EXPECT_EQ(Alpha(s, r.x + r.w - 1, r.y + (i == 2 ? 2 : 0)), 0u) << "part " << i;
        }
    }
}

}  // namespace
}  // namespace plotwick
