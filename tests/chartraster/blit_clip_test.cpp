// Origin and clip stack, target selection, blits in their three source
// modes, tiled blits and the paint cycle that presents the back buffer.
#include <climits>

#include "raster_fixture.h"

namespace plotwick::test {
namespace {

// A picture whose pixel (x, y) is 0xFF000000 | (y << 8) | x + 1, so every
// copied pixel tells where it came from.
Bitmap* NumberedPicture(RasterState& raster, int w, int h, uint32_t flags = 0) {
    Bitmap* p = BitmapCreate(raster, w, h, flags);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            BitmapRow(*p, y)[x] = 0xFF000000u | static_cast<uint32_t>(y << 8) | static_cast<uint32_t>(x + 1);
    return p;
}

TEST_F(RasterTest, PushClipMovesTheOriginAndNarrowsTheClip) {
    PushClip(raster, 2, 3, 4, 5);
    EXPECT_EQ(CurrentOrigin(raster).x, 2);
    EXPECT_EQ(CurrentOrigin(raster).y, 3);
    RectFill(raster, -10, -10, 100, 100, 0u);
    EXPECT_EQ(CountEq(0u), 20);
    EXPECT_EQ(Px(2, 3), 0u);
    EXPECT_EQ(Px(5, 7), 0u);
    EXPECT_EQ(Px(6, 7), bg);
    PushClip(raster, 1, 1, 10, 2);  // origin (3,4), clip (3,4)-(6,6)
    Clear(bg);
    RectFill(raster, 0, 0, 100, 100, 0u);
    EXPECT_EQ(CountEq(0u), 6);
    EXPECT_EQ(Px(3, 4), 0u);
    PopClip(raster);
    PopClip(raster);
    EXPECT_EQ(ClipDepth(raster), 0);
    EXPECT_EQ(CurrentOrigin(raster).x, 0);
    RectFill(raster, 0, 0, 100, 100, 0u);
    EXPECT_EQ(CountEq(0u), kW * kH);
    EXPECT_TRUE(diags.empty());
}

TEST_F(RasterTest, EmptyClipStopsAllDrawingUntilItsPop) {
    Bitmap* pic = NumberedPicture(raster, 4, 4);
    const Font* font = RasterAssets(raster).smallFont;
    ASSERT_NE(font, nullptr);
    SetFont(raster, font);
    PushClip(raster, 2, 2, 2, 2);
    PushClip(raster, 5, 5, 2, 2);  // disjoint: empty
    RectFill(raster, -5, -5, 50, 50, 0u);
    RectBlend(raster, -5, -5, 50, 50, 0u, 64);
    HLine(raster, -5, -5, 50, 0u);
    VLineHalf(raster, -5, -5, 50, 0u);
    LineAA(raster, -7, -7, 10, 10, 0u);
    PutPixelWeighted(raster, -5, -5, 0u, 300);
    BlitFrom(raster, -7, -7, 4, 4, 0, 0, pic);
    BlitTiled(raster, -7, -7, 20, 20, 0, 0, 2, 2, 0, 0);
    TextDraw(raster, -7, -7, "8888", 0u);
    EXPECT_EQ(CountNot(bg), 0);
    PopClip(raster);
    RectFill(raster, 0, 0, 50, 50, 0u);
    EXPECT_EQ(CountEq(0u), 4);
    PopClip(raster);
}

TEST_F(RasterTest, ClipStackOverflowAndUnderflowAreRefused) {
    for (int i = 0; i < kClipStackDepth; ++i) PushClip(raster, 0, 0, 100, 100);
    EXPECT_TRUE(diags.empty());
    PushClip(raster, 1, 1, 1, 1);  // one too deep
    PushClip(raster, 1, 1, 1, 1);
    EXPECT_EQ(diags.size(), 2u);
    EXPECT_EQ(ClipDepth(raster), kClipStackDepth + 2);
    RectFill(raster, 0, 0, 100, 100, 0u);
    EXPECT_EQ(CountNot(bg), 0);  // refused levels draw nothing
    PopClip(raster);
    PopClip(raster);
    EXPECT_EQ(ClipDepth(raster), kClipStackDepth);
    RectFill(raster, 0, 0, 100, 100, 0u);  // the deepest accepted level is back
    EXPECT_EQ(CountEq(0u), kW * kH);
    for (int i = 0; i < kClipStackDepth; ++i) PopClip(raster);
    EXPECT_EQ(diags.size(), 2u);
    PopClip(raster);  // unmatched
    EXPECT_EQ(diags.size(), 3u);
    EXPECT_EQ(ClipDepth(raster), 0);
    EXPECT_EQ(CurrentClip(raster).right, kW);
}

TEST_F(RasterTest, DrawingIntoASmallPictureStaysInsideIt) {
    Bitmap* pic = BitmapCreate(raster, 4, 3, 0);
    ASSERT_NE(pic, nullptr);
    SetTarget(raster, pic);
    RectFill(raster, -100, -100, 1000, 1000,
             0xFF00FF00u);  // the clip is the back buffer's, larger than the picture
    LineAA(raster, -5, 1, 50, 1, 0xFF00FF00u);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(PixelAt(*pic, x, 0), 0xFF00FF00u) << x;
        EXPECT_EQ(PixelAt(*pic, x, 1), 0xFF00FF00u) << x;
        EXPECT_EQ(PixelAt(*pic, x, 2), 0x0000FF00u) << x;  // the line's lighter second row
    }
    SetTarget(raster, nullptr);
    EXPECT_EQ(CountNot(bg), 0);
}

TEST_F(RasterTest, PlainBlitCopiesAndClipsBothSides) {
    Bitmap* pic = NumberedPicture(raster, 4, 3);
    struct Case {
        const char* name;
        int x, y, w, h, sx, sy;
        int copied;
        int probeX, probeY;
        uint32_t probe;
    } cases[] = {
        {"whole", 5, 5, 4, 3, 0, 0, 12, 5, 5, 0xFF000001u},
        {"target clipped moves the source", -1, -1, 4, 3, 0, 0, 6, 0, 0, 0xFF000102u},
        {"beyond the source is not read", 0, 0, 10, 10, 2, 1, 4, 1, 1, 0xFF000204u},
        {"source corner negative", 0, 0, 3, 3, -1, -1, 4, 1, 1, 0xFF000001u},
        {"source entirely outside", 0, 0, 3, 3, 10, 10, 0, 0, 0, 0},
        {"zero size", 0, 0, 0, 3, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Clear(bg);
        BlitFrom(raster, c.x, c.y, c.w, c.h, c.sx, c.sy, pic);
        EXPECT_EQ(CountNot(bg), c.copied) << c.name;
        if (c.copied) {
            EXPECT_EQ(Px(c.probeX, c.probeY), c.probe) << c.name;
        }
    }
}

TEST_F(RasterTest, AlphaBlitsSkipZeroAlphaAndBlend) {
    Bitmap* pic = BitmapCreate(raster, 3, 1, kBitmapAlpha);
    uint32_t* row = BitmapRow(*pic, 0);
    row[0] = 0x00FFFFFFu;  // alpha 0: skipped even though the colour is white
    row[1] = 0x40A1C1E1u;  // alpha 64
    row[2] = 0xFFA1C1E1u;  // alpha 255
    BlitFrom(raster, 0, 0, 3, 1, 0, 0, pic);
    EXPECT_EQ(Px(0, 0), bg);
    EXPECT_EQ(Px(1, 0), 0x00416181u);
    EXPECT_EQ(Px(2, 0), 0x00A0C0E0u);

    Bitmap* pre = BitmapCreate(raster, 3, 1, kBitmapAlpha | kBitmapPremultiplied);
    row = BitmapRow(*pre, 0);
    row[0] = 0x00123456u;  // alpha 0: skipped
    row[1] = 0x80400000u;  // src + dst * 128 / 256
    row[2] = 0x80FF0000u;  // not truly premultiplied: saturates instead of carrying
    Clear(0x00FFFFFFu);
    BlitFrom(raster, 0, 0, 3, 1, 0, 0, pre);
    EXPECT_EQ(Px(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(Px(1, 0), 0x00BF7F7Fu);
    EXPECT_EQ(Px(2, 0), 0x00FF7F7Fu);
}

TEST_F(RasterTest, BlitFromKeepsTheSelectedSource) {
    Bitmap* a = NumberedPicture(raster, 2, 2);
    Bitmap* b = NumberedPicture(raster, 3, 3);
    SetSource(raster, a);
    BlitFrom(raster, 0, 0, 3, 3, 0, 0, b);
    EXPECT_EQ(CurrentSource(raster).bits, a->bits);
    BlitFrom(raster, 0, 0, 3, 3, 0, 0, nullptr);  // no picture: nothing, not the back buffer onto itself
    EXPECT_EQ(CountNot(bg), 9);
    SetSource(raster, nullptr);
    EXPECT_EQ(CurrentSource(raster).bits, BackBuffer(raster).bits);
}

TEST_F(RasterTest, BlitWithinTheBackBufferHandlesOverlap) {
    for (int y = 0; y < kH; ++y) HLine(raster, 0, y, kW, 0xFF000000u | static_cast<uint32_t>(y));
    SetSource(raster, nullptr);
    Blit(raster, 0, 2, kW, 6, 0, 1);  // rows 1..6 move down one row
    for (int y = 2; y < 8; ++y) EXPECT_EQ(Px(3, y), 0xFF000000u | static_cast<uint32_t>(y - 1)) << y;
    Blit(raster, 0, 1, kW, 6, 0, 2);  // and back up
    for (int y = 1; y < 7; ++y) EXPECT_EQ(Px(3, y), 0xFF000000u | static_cast<uint32_t>(y)) << y;
}

TEST_F(RasterTest, BlitTiledRepeatsTheTileFromItsOffset) {
    Bitmap* pic = NumberedPicture(raster, 3, 2);
    SetSource(raster, pic);
    struct Case {
        int offX;
        uint32_t row1[7];  // x = 0..6 on row 1
    } cases[] = {
        {0, {0, 0xFF000001u, 0xFF000002u, 0xFF000001u, 0xFF000002u, 0xFF000001u, 0}},
        {1, {0, 0xFF000002u, 0xFF000001u, 0xFF000002u, 0xFF000001u, 0xFF000002u, 0}},
    };
    for (const Case& c : cases) {
        Clear(0);
        BlitTiled(raster, 1, 1, 5, 3, 0, 0, 2, 2, c.offX, 0);
        for (int x = 0; x < 7; ++x) EXPECT_EQ(Px(x, 1), c.row1[x]) << "offX " << c.offX << " x " << x;
        EXPECT_EQ(Px(1, 2), (c.row1[1] & 0xFFu) | 0xFF000100u);
        EXPECT_EQ(Px(1, 3), c.row1[1]);
        EXPECT_EQ(Px(1, 4), 0u);
        EXPECT_EQ(CountNot(0), 15);
        EXPECT_EQ(ClipDepth(raster), 0);
    }
    Clear(0);
    BlitTiled(raster, 0, 0, 5, 5, 0, 0, 0, 2, 0, 0);  // no tile size: nothing, and no endless loop
    BlitTiled(raster, 0, 0, 5, 5, 0, 0, 2, -1, 0, 0);
    EXPECT_EQ(CountNot(0), 0);
    BlitTiled(raster, -1000000, -1000000, INT_MAX, INT_MAX, 0, 0, 1, 1, 0,
              0);  // only the visible tiles are visited
    EXPECT_EQ(CountEq(0xFF000001u), kW * kH);
}

class FakeWindow : public PaintWindow {
public:
    explicit FakeWindow(RasterRect box) : box_(box) {}
    RasterRect ClipBox() const override { return box_; }
    void Present(const PresentFrame& frame) override {
        ++presents;
        rect = frame.rect;
        const int w = frame.rect.right - frame.rect.left, h = frame.rect.bottom - frame.rect.top;
        pixels.assign(static_cast<size_t>(w) * h, 0);
        CopyFrameTopDown(frame, pixels.data(), w * 4);
    }
    int presents = 0;
    RasterRect rect;
    std::vector<uint32_t> pixels;

private:
    RasterRect box_;
};

TEST_F(RasterTest, PaintPresentsOnlyTheClipBoxTopDown) {
    FakeWindow empty(RasterRect{3, 3, 3, 9});
    EXPECT_FALSE(PaintBegin(raster, empty));
    PaintEnd(raster);
    EXPECT_EQ(empty.presents, 0);

    FakeWindow win(RasterRect{2, 1, 6, 4});
    SetOrigin(raster, 5, 5);
    PushClip(raster, 0, 0, 1, 1);
    ASSERT_TRUE(PaintBegin(raster, win));
    EXPECT_EQ(ClipDepth(raster), 0);
    EXPECT_EQ(CurrentOrigin(raster).x, 0);
    for (int y = 0; y < kH; ++y) HLine(raster, 0, y, kW, 0xFF000000u | static_cast<uint32_t>(y));
    EXPECT_EQ(Px(2, 0), bg);  // outside the box the buffer is left as it was
    EXPECT_EQ(Px(6, 1), bg);
    PaintEnd(raster);
    ASSERT_EQ(win.presents, 1);
    EXPECT_EQ(win.rect.left, 2);
    EXPECT_EQ(win.rect.bottom, 4);
    ASSERT_EQ(win.pixels.size(), 12u);
    EXPECT_EQ(win.pixels[0], 0xFF000001u);  // top row of the box first
    EXPECT_EQ(win.pixels[11], 0xFF000003u);
    PaintEnd(raster);  // no open paint: nothing
    EXPECT_EQ(win.presents, 1);
}

TEST_F(RasterTest, PaintGrowsTheBackBufferForALargerWindow) {
    FakeWindow big(RasterRect{0, 0, 40, 30});
    ASSERT_TRUE(PaintBegin(raster, big));
    EXPECT_EQ(BackBuffer(raster).width, 40);
    EXPECT_EQ(BackBuffer(raster).height, 30);
    RectFill(raster, 0, 0, 100, 100, 0xFF0000FFu);
    PaintEnd(raster);
    ASSERT_EQ(big.pixels.size(), 1200u);
    EXPECT_EQ(big.pixels.back(), 0xFF0000FFu);

    FakeWindow huge(RasterRect{-10, -10, kMaxBackBufferSide + 100, 50});
    ASSERT_TRUE(PaintBegin(raster, huge));
    EXPECT_EQ(BackBuffer(raster).width, kMaxBackBufferSide);  // drawn only as far as the buffer reaches
    EXPECT_EQ(CurrentClip(raster).left, 0);
    PaintEnd(raster);
    EXPECT_EQ(huge.rect.right, kMaxBackBufferSide);
}

}  // namespace
}  // namespace plotwick::test
