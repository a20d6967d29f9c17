// The XM writer's own helpers and layout decisions that the loader tests do
// not already exercise.
#include <gtest/gtest.h>

#include "xm_writer.h"

namespace kestrane::music::engine {
namespace {

TEST(XmWriter, NoteNames) {
    const struct {
        const char* name;
        uint8_t note;
    } cases[] = {
        {"C-0", 1}, {"C#0", 2}, {"B-0", 12}, {"C-4", 49}, {"A-4", 58}, {"F#5", 67},  {"B-7", 96},
        {"C-8", 0}, {"H-4", 0}, {"C-", 0},   {"C-44", 0}, {"", 0},     {nullptr, 0}, {"c-4", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(xmw::Note(c.name), c.note) << (c.name ? c.name : "null");
}

TEST(XmWriter, HeaderAndPatternLayout) {
    xmw::Song s;
    s.channels = 2;
    s.orders = {0, 0, 0};
    xmw::Pattern p;
    p.rows = 2;
    p.At(0, 0, 2) = xmw::Cell{49, 1, 0x40, 0x0C, 0x20};  // full form: 5 bytes
    p.At(1, 1, 2) = xmw::Cell{0, 0, 0, 0x0F, 0x06};      // compressed: 3 bytes
    s.patterns.push_back(p);
    const std::vector<uint8_t> b = xmw::WriteXm(s);
    ASSERT_EQ(b.size(), 336u + 9 + 5 + 1 + 1 + 3);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 17), "Extended Module: ");
    EXPECT_EQ(b[37], 0x1A);
    EXPECT_EQ(b[60], 20);  // header size 276, little-endian
    EXPECT_EQ(b[61], 1);
    EXPECT_EQ(b[64], 3);  // song length
    EXPECT_EQ(b[68], 2);  // channels
    EXPECT_EQ(b[70], 1);  // patterns
    EXPECT_EQ(b[74], 1);  // linear table
    const size_t pat = 336;
    EXPECT_EQ(b[pat + 5], 2);      // rows
    EXPECT_EQ(b[pat + 7], 10);     // packed size
    EXPECT_EQ(b[pat + 9], 49);     // full form starts with the note
    EXPECT_EQ(b[pat + 14], 0x80);  // empty cell
    EXPECT_EQ(b[pat + 15], 0x80);
    EXPECT_EQ(b[pat + 16], 0x98);  // effect and parameter follow
    EXPECT_EQ(b[pat + 17], 0x0F);
    EXPECT_EQ(b[pat + 18], 0x06);
}

TEST(XmWriter, SamplesAreDeltaEncoded) {
    xmw::Song s;
    s.patterns.resize(1);
    xmw::Sample a;
    a.data = {10, 5, -128, 127};
    xmw::Sample w;
    w.sixteenBit = true;
    w.data = {1000, -1000};
    w.loopType = 1;
    w.loopStart = 1;
    w.loopLength = 1;
    xmw::Instrument in;
    in.samples = {a, w};
    s.instruments.push_back(in);
    const std::vector<uint8_t> b = xmw::WriteXm(s);
    const size_t data = b.size() - 4 - 4;
    EXPECT_EQ(b[data + 0], 10);
    EXPECT_EQ(b[data + 1], static_cast<uint8_t>(-5));
    EXPECT_EQ(b[data + 2], static_cast<uint8_t>(-133));
    EXPECT_EQ(b[data + 3], 255);
    const int16_t d0 = static_cast<int16_t>(b[data + 4] | (b[data + 5] << 8));
    const int16_t d1 = static_cast<int16_t>(b[data + 6] | (b[data + 7] << 8));
    EXPECT_EQ(d0, 1000);
    EXPECT_EQ(d1, -2000);
    // The 16-bit sample's header counts bytes: length 4, loop start 2, loop 2.
    const size_t header2 = data - 40;
    EXPECT_EQ(b[header2], 4);
    EXPECT_EQ(b[header2 + 4], 2);
    EXPECT_EQ(b[header2 + 8], 2);
    EXPECT_EQ(b[header2 + 14], 0x11);
}

}  // namespace
}  // namespace kestrane::music::engine
