// Fills, blends, lines, half-mix spans, weighted pixels and the
// anti-aliased line, checked against hand-computed pixels.
#include <climits>

#include "raster_fixture.h"

namespace plotwick::test {
namespace {

TEST_F(RasterTest, BackBufferRowsAreStoredBottomUp) {
    const Bitmap& b = BackBuffer(raster);
    EXPECT_EQ(b.pitch, kW * 4);
    EXPECT_EQ(b.topRow, b.bits + (kH - 1) * kW);
    RectFill(raster, 0, kH - 1, 1, 1, 0x11223344u);
    RectFill(raster, 0, 0, 1, 1, 0x55667788u);
    EXPECT_EQ(b.bits[0], 0x11223344u);  // lowest address: bottom row
    EXPECT_EQ(b.bits[(kH - 1) * kW], 0x55667788u);
}

TEST_F(RasterTest, RectFillIsClippedToTheBuffer) {
    struct Case {
        int x, y, w, h, filled;
    } cases[] = {
        {-2, -3, 5, 5, 6},
        {14, 10, 5, 5, 4},
        {0, 0, 0, 5, 0},
        {0, 0, 5, -1, 0},
        {20, 0, 3, 3, 0},
        {0, 0, 100, 100, kW * kH},
        {3, 4, 2, 3, 6},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0},
        {-5, -5, INT_MAX, INT_MAX, kW * kH},
    };
    for (const Case& c : cases) {
        Clear(0);
        RectFill(raster, c.x, c.y, c.w, c.h, 0xFF00FF00u);
        EXPECT_EQ(CountEq(0xFF00FF00u), c.filled) << c.x << "," << c.y << " " << c.w << "x" << c.h;
    }
    Clear(0);
    RectFill(raster, 3, 4, 2, 3, 0x80123456u);
    EXPECT_EQ(Px(3, 4), 0x80123456u);  // the colour's alpha byte is stored unchanged
    EXPECT_EQ(Px(4, 6), 0x80123456u);
    EXPECT_EQ(Px(5, 4), 0u);
    EXPECT_EQ(Px(3, 7), 0u);
}

TEST_F(RasterTest, RectBlendTakesItsThreePaths) {
    // Background 0xFF214161; odd channels tell the half-mix path from the general one.
    struct Case {
        int alpha;
        uint32_t colour, expected;
    } cases[] =
        {
            {0, 0x00A1C1E1u, 0xFF214161u},   {-7, 0x00A1C1E1u, 0xFF214161u},
            {256, 0x80A1C1E1u, 0x80A1C1E1u}, {1000, 0x00A1C1E1u, 0x00A1C1E1u},
            {128, 0x00A1C1E1u, 0x006080A0u},  // halves by shift: 0x10+0x50, 0x20+0x60, 0x30+0x70
            {129, 0x00A1C1E1u, 0x006181A1u},  // (c*129 + d*127) / 256
            {64, 0x00A1C1E1u, 0x00416181u},  {255, 0x00A1C1E1u, 0x00A0C0E0u},
            {1, 0x00A1C1E1u, 0x00214161u},
        };
    for (const Case& c : cases) {
        Clear(0xFF214161u);
        RectBlend(raster, 2, 2, 3, 3, c.colour, c.alpha);
        EXPECT_EQ(Px(2, 2), c.expected) << "alpha " << c.alpha;
        EXPECT_EQ(Px(4, 4), c.expected) << "alpha " << c.alpha;
        EXPECT_EQ(Px(5, 5), 0xFF214161u) << "alpha " << c.alpha;
    }
}

TEST_F(RasterTest, LinesRunRightAndDownClipped) {
    struct Case {
        bool vertical;
        int x, y, length, count;
        int lastX, lastY;  // last pixel drawn
    } cases[] = {
        {false, 2, 3, 4, 4, 5, 3}, {false, -2, 0, 4, 2, 1, 0}, {false, 14, 11, 9, 2, 15, 11},
        {true, 2, 3, 4, 4, 2, 6},  {true, 0, -5, 7, 2, 0, 1},  {false, 0, 0, 0, 0, 0, 0},
        {true, 0, 0, -3, 0, 0, 0}, {false, 0, 12, 5, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Clear(0);
        if (c.vertical)
            VLine(raster, c.x, c.y, c.length, 0xFF112233u);
        else
            HLine(raster, c.x, c.y, c.length, 0xFF112233u);
        EXPECT_EQ(CountEq(0xFF112233u), c.count) << c.vertical << " " << c.x << "," << c.y;
        if (c.count > 0) {
            EXPECT_EQ(Px(c.lastX, c.lastY), 0xFF112233u);
        }
    }
}

TEST_F(RasterTest, HalfSpansMixEvenlyAndClearAlpha) {
    HLineHalf(raster, 1, 1, 3, 0xFFA1C1E1u);
    VLineHalf(raster, 8, 2, 2, 0xFFA1C1E1u);
    for (auto [x, y] : {std::pair{1, 1}, {3, 1}, {8, 2}, {8, 3}})
        EXPECT_EQ(Px(x, y), 0x006080A0u) << x << "," << y;
    EXPECT_EQ(Px(4, 1), bg);
    EXPECT_EQ(Px(8, 4), bg);
    EXPECT_EQ(CountNot(bg), 5);
    // Twice over white with black gives a quarter.
    Clear(0x00FFFFFFu);
    HLineHalf(raster, 0, 0, 1, 0);
    HLineHalf(raster, 0, 0, 1, 0);
    EXPECT_EQ(Px(0, 0), 0x003F3F3Fu);
}

TEST_F(RasterTest, PutPixelWeightedStoresOrMixes) {
    struct Case {
        int weight;
        uint32_t expected;
    } cases[] = {
        {0, 0xFF214161u},   {-1, 0xFF214161u}, {256, 0xFFA1C1E1u}, {319, 0xFFA1C1E1u},
        {255, 0x00A0C0E0u}, {64, 0x00416181u}, {128, 0x006181A1u},
    };
    for (const Case& c : cases) {
        Clear(0xFF214161u);
        PutPixelWeighted(raster, 5, 6, 0xFFA1C1E1u, c.weight);
        EXPECT_EQ(Px(5, 6), c.expected) << "weight " << c.weight;
        EXPECT_LE(CountNot(0xFF214161u), 1);
    }
    PutPixelWeighted(raster, -1, 0, 0, 300);
    PutPixelWeighted(raster, kW, 0, 0, 300);
    EXPECT_LE(CountNot(0xFF214161u), 1);
}

TEST_F(RasterTest, LineAAFromAPointToItselfSetsOnePixel) {
    Clear(0);
    LineAA(raster, 4, 5, 4, 5, 0x00FF0000u);
    EXPECT_EQ(Px(4, 5), 0x00FF0000u);
    EXPECT_EQ(CountNot(0), 1);
}

TEST_F(RasterTest, LineAAWeightsFollowTheFraction) {
    // On black, red mixed with weight w has red = 255 * w / 256.
    constexpr uint32_t kFull = 0x00FF0000u, k64 = 0x003F0000u, k191 = 0x00BE0000u, k192 = 0x00BF0000u;
    struct Pixel {
        int x, y;
        uint32_t v;
    };
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        std::vector<Pixel> pixels;  // every changed pixel
    } cases[] = {
        {"horizontal covers two rows",
         2,
         5,
         6,
         5,
         {{2, 5, kFull},
          {3, 5, kFull},
          {4, 5, kFull},
          {5, 5, kFull},
          {2, 6, k64},
          {3, 6, k64},
          {4, 6, k64},
          {5, 6, k64}}},
        {"vertical covers two columns",
         3,
         2,
         3,
         5,
         {{3, 2, kFull}, {3, 3, kFull}, {3, 4, kFull}, {4, 2, k64}, {4, 3, k64}, {4, 4, k64}}},
        {"shallow slope",
         0,
         0,
         4,
         2,
         {{0, 0, kFull},
          {0, 1, k64},
          {1, 0, k191},
          {1, 1, k192},
          {2, 1, kFull},
          {2, 2, k64},
          {3, 1, k191},
          {3, 2, k192}}},
        {"shallow slope backwards",
         4,
         2,
         0,
         0,
         {{4, 2, kFull},
          {4, 3, k64},
          {3, 1, k191},
          {3, 2, k192},
          {2, 1, kFull},
          {2, 2, k64},
          {1, 0, k191},
          {1, 1, k192}}},
        {"steep slope",
         1,
         1,
         3,
         5,
         {{1, 1, kFull},
          {2, 1, k64},
          {1, 2, k191},
          {2, 2, k192},
          {2, 3, kFull},
          {3, 3, k64},
          {2, 4, k191},
          {3, 4, k192}}},
    };
    for (const Case& c : cases) {
        Clear(0);
        LineAA(raster, c.x1, c.y1, c.x2, c.y2, kFull);
        for (const Pixel& p : c.pixels) EXPECT_EQ(Px(p.x, p.y), p.v) << c.name << " at " << p.x << "," << p.y;
        EXPECT_EQ(CountNot(0), static_cast<int>(c.pixels.size())) << c.name;
    }
}

TEST_F(RasterTest, LineAAWithFarEndPointsOnlyDrawsInside) {
    Clear(0);
    LineAA(raster, -1000000, 3, 1000000, 3, 0x00FF0000u);
    EXPECT_EQ(CountEq(0x00FF0000u), kW);
    EXPECT_EQ(CountNot(0), 2 * kW);
    Clear(0);
    LineAA(raster, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0x00FF0000u);  // must finish and stay in bounds
    LineAA(raster, INT_MAX, 0, INT_MIN, 1, 0x00FF0000u);
    LineAA(raster, 0, INT_MIN, 1, INT_MAX, 0x00FF0000u);
    SUCCEED();
}

}  // namespace
}  // namespace plotwick::test
