// The WAV writer produces a canonical 48 kHz stereo 16-bit file whose
// sizes match its data, and reports every failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "music/player/wav_writer.h"
#include "player_fakes.h"

namespace kestrane::music::player {
namespace {

using testing::ReadAll;
using testing::TempPath;

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

TEST(WavWriter, HeaderAndDataFollowTheCanonicalLayout) {
    struct Case {
        std::vector<std::vector<std::int16_t>> writes;
        std::uint32_t dataBytes;
    } cases[] = {
        {{}, 0},
        {{{1, -1}}, 4},
        {{{0x1234, -2, 32767, -32768}, {7, 8}}, 12},
        {{{5, 6, 7}}, 4},  // half a frame is dropped, never written
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dataBytes);
        const std::string path = TempPath("format.wav");
        {
            WavWriter w;
            ASSERT_TRUE(w.Open(path));
            for (const auto& samples : c.writes) ASSERT_TRUE(w.Write(samples));
            EXPECT_EQ(w.framesWritten(), c.dataBytes / 4);
            ASSERT_TRUE(w.Close());
        }
        const auto b = ReadAll(path);
        std::remove(path.c_str());
        ASSERT_EQ(b.size(), 44u + c.dataBytes);
        EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
        EXPECT_EQ(U32(b, 4), 36u + c.dataBytes);
        EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
        EXPECT_EQ(U32(b, 16), 16u);
        EXPECT_EQ(U16(b, 20), 1);  // PCM
        EXPECT_EQ(U16(b, 22), 2);  // stereo
        EXPECT_EQ(U32(b, 24), 48000u);
        EXPECT_EQ(U32(b, 28), 192000u);  // bytes per second
        EXPECT_EQ(U16(b, 32), 4);        // bytes per frame
        EXPECT_EQ(U16(b, 34), 16);
        EXPECT_EQ(std::memcmp(b.data() + 36, "data", 4), 0);
        EXPECT_EQ(U32(b, 40), c.dataBytes);
        std::size_t at = 44;
        for (const auto& samples : c.writes)
            for (std::size_t i = 0; i < samples.size() / 2 * 2; ++i, at += 2)
                EXPECT_EQ(static_cast<std::int16_t>(U16(b, at)), samples[i]);
    }
}

TEST(WavWriter, FailuresAreReportedNotHidden) {
    WavWriter w;
    EXPECT_FALSE(w.Open("/nonexistent-dir/x.wav"));
    const std::int16_t frame[2] = {1, 2};
    EXPECT_FALSE(w.Write(frame));
    // A full disk: /dev/full accepts the open and refuses the data.
    if (std::FILE* f = std::fopen("/dev/full", "wb")) {
        std::fclose(f);
        WavWriter full;
        std::vector<std::int16_t> lots(1 << 16, 3);
        bool ok = full.Open("/dev/full");
        for (int i = 0; ok && i < 8; ++i) ok = full.Write(lots);
        EXPECT_FALSE(ok && full.Close());
    }
}

TEST(WavWriter, ReopeningStartsAFreshFile) {
    const std::string path = TempPath("reopen.wav");
    WavWriter w;
    ASSERT_TRUE(w.Open(path));
    const std::int16_t a[4] = {1, 2, 3, 4};
    ASSERT_TRUE(w.Write(a));
    ASSERT_TRUE(w.Open(path));  // finishes the first, truncates
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(ReadAll(path).size(), 44u);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace kestrane::music::player
