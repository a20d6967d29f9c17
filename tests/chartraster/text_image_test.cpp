// Bitmap fonts (loading, measuring, drawing) and picture blob decoding,
// including damaged blobs that must be refused without leaking.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plotwick/assets.h"
#include "plotwick/font.h"
#include "plotwick/image.h"
#include "plotwick/lzw.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace plotwick {
namespace {

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    if (v.size() < at + 4) v.resize(at + 4);
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

// An unpacked font: glyph g is 2 columns wide at column 2g, column 0 inked.
std::vector<uint8_t> TestFontPayload(int height, bool mono, uint8_t ink) {
    const int pitch = 192;
    std::vector<uint8_t> p(300 + pitch * height, 0);
    Put32(p, 0, pitch);
    Put32(p, 4, static_cast<uint32_t>(height));
    Put32(p, 8, mono ? 1u : 0u);
    for (int g = 0; g < 96; ++g) {
        p[12 + 2 * g] = static_cast<uint8_t>((2 * g) & 0xFF);
        p[13 + 2 * g] = static_cast<uint8_t>((2 * g) >> 8);
        p[204 + g] = 2;
        for (int y = 0; y < height; ++y) p[300 + y * pitch + 2 * g] = ink;
    }
    return p;
}

std::vector<uint8_t> FontBlob(const std::vector<uint8_t>& payload, int64_t unpackedOverride = -1) {
    const std::vector<uint8_t> packed = LzwEncode(payload);
    std::vector<uint8_t> blob = {'T', 'F', 'D', 'S'};
    Put32(blob, 4, static_cast<uint32_t>(packed.size()));
    Put32(blob, 8,
          static_cast<uint32_t>(unpackedOverride >= 0 ? unpackedOverride
                                                      : static_cast<int64_t>(payload.size())));
    blob.insert(blob.end(), packed.begin(), packed.end());
    return blob;
}

std::vector<uint8_t> PictureBlob(uint32_t word0, uint32_t height, const std::vector<uint8_t>& payload) {
    const std::vector<uint8_t> packed = LzwEncode(payload);
    std::vector<uint8_t> blob;
    Put32(blob, 0, word0);
    Put32(blob, 4, height);
    Put32(blob, 8, static_cast<uint32_t>(packed.size()));
    blob.insert(blob.end(), packed.begin(), packed.end());
    return blob;
}

class TextTest : public ::testing::Test {
protected:
    static constexpr int kW = 120, kH = 40;
    void SetUp() override {
        ASSERT_TRUE(RasterInit(raster, kW, kH));
        SetDiagnosticSink([this](std::string_view t) { diags.emplace_back(t); });
        RectFill(raster, 0, 0, kW, kH, kBg);
        small = RasterAssets(raster).smallFont;
        large = RasterAssets(raster).largeFont;
        ASSERT_NE(small, nullptr);
        ASSERT_NE(large, nullptr);
    }
    void TearDown() override { SetDiagnosticSink(nullptr); }
    std::vector<uint32_t> Snapshot() const {
        std::vector<uint32_t> v;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) v.push_back(PixelAt(BackBuffer(raster), x, y));
        return v;
    }
    std::vector<uint32_t> Drawn(const Font* f, int x, int y, const char* text) {
        RectFill(raster, 0, 0, kW, kH, kBg);
        SetFont(raster, f);
        TextDraw(raster, x, y, text, kInk);
        return Snapshot();
    }
    int Width(const Font* f, char c) const { return f->glyphWidth[static_cast<unsigned char>(c) - 32]; }

    static constexpr uint32_t kBg = 0xFFFFFFFFu, kInk = 0xFF000000u;
    RasterState raster;
    const Font* small = nullptr;
    const Font* large = nullptr;
    std::vector<std::string> diags;
};

TEST_F(TextTest, TextSizeCountsOneSpareColumnPerCharacter) {
    for (const Font* f : {small, large}) {
        SetFont(raster, f);
        const TextExtent abc = TextSize(raster, "abc");
        EXPECT_EQ(abc.width, Width(f, 'a') + Width(f, 'b') + Width(f, 'c') + 3);
        EXPECT_EQ(abc.height, f->lineHeight);
        const TextExtent two = TextSize(raster, "a\nabc\x01\xC4");  // control and high bytes do not count
        EXPECT_EQ(two.width, abc.width);
        EXPECT_EQ(two.height, 2 * f->lineHeight);
        EXPECT_EQ(TextSize(raster, "12:30\n").height, 2 * f->lineHeight);
        EXPECT_EQ(TextSize(raster, nullptr).width, 0);
    }
    SetFont(raster, nullptr);
    EXPECT_EQ(TextSize(raster, "abc").width, 0);
}

TEST_F(TextTest, LineFeedReturnsToTheStartOneLineLower) {
    const auto twoLines = Drawn(small, 10, 3, "7\n7");
    const auto first = Drawn(small, 10, 3, "7");
    const auto second = Drawn(small, 10, 3 + small->lineHeight, "7");
    for (size_t i = 0; i < twoLines.size(); ++i) {
        const uint32_t expected = first[i] != kBg ? first[i] : second[i];
        ASSERT_EQ(twoLines[i], expected) << "pixel " << i % kW << "," << i / kW;
    }
    EXPECT_NE(first, Drawn(small, 10, 3, " "));  // the digit has ink
}

TEST_F(TextTest, BytesOutsideTheGlyphRangeAreSkippedWithoutAdvancing) {
    EXPECT_EQ(Drawn(small, 2, 2,
                    "a\xC4\x01\x7F"
                    "b"),
              Drawn(small, 2, 2,
                    "a\x7F"
                    "b"));
    EXPECT_EQ(Drawn(large, 2, 2, "x\xFFy"), Drawn(large, 2, 2, "xy"));
}

TEST_F(TextTest, ClippedTextMatchesTheVisiblePartOfUnclippedText) {
    for (const Font* f : {small, large}) {
        const auto whole = Drawn(f, 0, 0, "W8@g");
        const auto shifted = Drawn(f, -5, -3, "W8@g");
        for (int y = 0; y + 3 < kH; ++y)
            for (int x = 0; x + 5 < kW; ++x)
                ASSERT_EQ(shifted[y * kW + x], whole[(y + 3) * kW + x + 5]) << x << "," << y;
    }
    // Starting right of or below the clip, or ending left of it, draws nothing.
    const auto blank = Drawn(small, 0, 0, "");
    EXPECT_EQ(Drawn(small, kW, 0, "abc"), blank);
    EXPECT_EQ(Drawn(small, 0, kH, "abc"), blank);
    EXPECT_EQ(Drawn(small, -200, 0, "abc"), blank);
    EXPECT_EQ(Drawn(small, 0, -50, "abc\nabc"), blank);
}

TEST_F(TextTest, MonochromePaintsFullColourAndAntiAliasedMixes) {
    int partial = 0;
    for (uint32_t p : Drawn(small, 1, 1, "Volts 0.125")) EXPECT_TRUE(p == kBg || p == kInk);
    for (uint32_t p : Drawn(large, 1, 1, "Volts 0.125")) partial += p != kBg && p != kInk;
    EXPECT_GT(partial, 10);
}

TEST(FontLoad, ReadsAValidBlob) {
    RasterState raster;
    const Font* f = FontLoad(raster, FontBlob(TestFontPayload(3, false, 128)));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->pitch, 192);
    EXPECT_EQ(f->lineHeight, 3);
    EXPECT_EQ(f->monochrome, 0);
    EXPECT_EQ(f->firstColumn[95], 190);
    EXPECT_EQ(f->glyphWidth[10], 2);
    EXPECT_EQ(f->atlas[2 * 192 + 4], 128);
    RasterFree(raster);
}

TEST(FontLoad, RefusesDamagedBlobsWithoutLeaking) {
    RasterState raster;
    std::vector<std::string> diags;
    SetDiagnosticSink([&](std::string_view t) { diags.emplace_back(t); });
    const std::vector<uint8_t> good = TestFontPayload(3, true, 255);
    auto withWord = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> p = good;
        Put32(p, at, v);
        return FontBlob(p);
    };
    std::vector<uint8_t> wrongMagic = FontBlob(good);
    wrongMagic[3] = 'X';
    std::vector<uint8_t> packedTooBig = FontBlob(good);
    Put32(packedTooBig, 4, static_cast<uint32_t>(packedTooBig.size()));
    std::vector<uint8_t> glyphBeyond = good;
    glyphBeyond[12 + 2 * 95] = 191;  // 191 + 2 > pitch 192
    struct Case {
        const char* name;
        std::vector<uint8_t> blob;
    } cases[] = {
        {"wrong magic", wrongMagic},
        {"too short for the header", {'T', 'F', 'D', 'S', 0, 0}},
        {"compressed size beyond the blob", packedTooBig},
        {"unpacked size below the header", FontBlob(std::vector<uint8_t>(good.begin(), good.begin() + 299))},
        {"unpacked size absurd", FontBlob(good, 0x7FFFFFFF)},
        {"stream shorter than stated", FontBlob(good, static_cast<int64_t>(good.size()) + 1)},
        {"pitch zero", withWord(0, 0)},
        {"pitch negative", withWord(0, 0xFFFFFF00u)},
        {"height zero", withWord(4, 0)},
        {"height absurd", withWord(4, 100000)},
        {"atlas beyond the data", withWord(4, 4)},
        {"glyph beyond the atlas row", FontBlob(glyphBeyond)},
    };
    for (const Case& c : cases) {
        const int64_t live = RasterHeapLiveBlocks(raster);
        EXPECT_EQ(FontLoad(raster, c.blob), nullptr) << c.name;
        EXPECT_EQ(RasterHeapLiveBlocks(raster), live) << c.name;
    }
    EXPECT_FALSE(diags.empty());
    // Every cut of a real font blob is refused.
    const std::span<const uint8_t> real = assets::SmallFontBlob();
    for (size_t n = 0; n < real.size(); n += 7) EXPECT_EQ(FontLoad(raster, real.first(n)), nullptr) << n;
    EXPECT_NE(FontLoad(raster, real), nullptr);
    SetDiagnosticSink(nullptr);
    RasterFree(raster);
}

TEST(ImageDecode, ConvertsRgb565AndTheAlphaPlane) {
    RasterState raster;
    const std::vector<uint8_t> colours = {0x00, 0xF8, 0xE0, 0x07,
                                          0x1F, 0x00, 0xFF, 0xFF};  // red, green, blue, white
    Bitmap* plain = ImageDecode(raster, PictureBlob(2, 2, colours));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->flags, 0u);
    EXPECT_EQ(PixelAt(*plain, 0, 0), 0xFFF80000u);  // rows run top to bottom
    EXPECT_EQ(PixelAt(*plain, 1, 0), 0xFF00FC00u);
    EXPECT_EQ(PixelAt(*plain, 0, 1), 0xFF0000F8u);
    EXPECT_EQ(PixelAt(*plain, 1, 1), 0xFFF8FCF8u);

    std::vector<uint8_t> withPlane = colours;
    withPlane.insert(withPlane.end(), {0, 10, 200, 255});
    Bitmap* alpha = ImageDecode(raster, PictureBlob(2 | kPictureHasAlpha, 2, withPlane));
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->flags, kBitmapAlpha);
    EXPECT_EQ(PixelAt(*alpha, 0, 0), 0x00F80000u);
    EXPECT_EQ(PixelAt(*alpha, 1, 0), 0x0A00FC00u);
    EXPECT_EQ(PixelAt(*alpha, 0, 1), 0xC80000F8u);
    EXPECT_EQ(PictureCount(raster), 2);
    RasterFree(raster);
    EXPECT_EQ(PictureCount(raster), 0);
    EXPECT_EQ(RasterHeapLiveBlocks(raster), 0);
}

TEST(ImageDecode, RefusesDamagedBlobsWithoutLeaking) {
    RasterState raster;
    std::vector<std::string> diags;
    SetDiagnosticSink([&](std::string_view t) { diags.emplace_back(t); });
    const std::vector<uint8_t> four(8, 0x55);
    std::vector<uint8_t> packedTooBig = PictureBlob(2, 2, four);
    Put32(packedTooBig, 8, 1000);
    struct Case {
        const char* name;
        std::vector<uint8_t> blob;
    } cases[] = {
        {"shorter than the header", std::vector<uint8_t>(11, 0)},
        {"zero width", PictureBlob(0, 2, four)},
        {"zero height", PictureBlob(2, 0, four)},
        {"absurd size", PictureBlob(0xFFFF, 0xFFFFFFFFu, four)},
        {"compressed size beyond the blob", packedTooBig},
        {"too few pixels", PictureBlob(3, 2, four)},
        {"alpha plane missing", PictureBlob(2 | kPictureHasAlpha, 2, four)},
    };
    for (const Case& c : cases) {
        const int64_t live = RasterHeapLiveBlocks(raster);
        EXPECT_EQ(ImageDecode(raster, c.blob), nullptr) << c.name;
        EXPECT_EQ(RasterHeapLiveBlocks(raster), live) << c.name;
        EXPECT_EQ(PictureCount(raster), 0) << c.name;
    }
    EXPECT_EQ(diags.size(), std::size(cases));
    SetDiagnosticSink(nullptr);
    RasterFree(raster);
}

}  // namespace
}  // namespace plotwick
