// The module the About box carries: a valid XM that loads within the
// player's limits, plays 30-60 s of audible, unclipped stereo music and
// uses the features a tracker song is made of.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "about_song.h"
#include "music/engine/xm_renderer.h"
#include "music/engine/xm_song.h"

namespace kestrane::music::engine {
namespace {

TEST(AboutSong, IsAnExtendedModuleThatLoads) {
    const auto bytes = AboutSongBytes();
    ASSERT_GT(bytes.size(), 17u);
    EXPECT_EQ(std::memcmp(bytes.data(), "Extended Module: ", 17), 0);
    const XmLoadResult loaded = LoadXm(bytes);
    ASSERT_TRUE(loaded.ok()) << XmLoadErrorText(loaded.error);
    EXPECT_LT(loaded.song.restartPosition, loaded.song.songLength);
}

TEST(AboutSong, UsesEnvelopesVibratoSlidesPortamentoAndPanning) {
    const XmLoadResult loaded = LoadXm(AboutSongBytes());
    ASSERT_TRUE(loaded.ok());
    std::set<int> effects;
    std::set<int> volumeColumn;  // high nibble
    for (const auto& p : loaded.song.patterns)
        for (const auto& c : p.cells) {
            if (c.effect || c.param) effects.insert(c.effect);
            if (c.volume) volumeColumn.insert(c.volume >> 4);
        }
    for (int e : {3, 4, 8, 10, 15, 16, 17, 25}) EXPECT_TRUE(effects.count(e)) << "effect " << e;
    EXPECT_TRUE(volumeColumn.count(0xC)) << "volume-column panning";
    bool sustain = false, loopedPanning = false, autoVibrato = false;
    for (const auto& in : loaded.song.instruments) {
        sustain |= in.volumeEnvelope.On() && (in.volumeEnvelope.type & kXmEnvSustain);
        loopedPanning |= in.panningEnvelope.On() && (in.panningEnvelope.type & kXmEnvLoop);
        autoVibrato |= in.vibratoDepth > 0;
    }
    EXPECT_TRUE(sustain);
    EXPECT_TRUE(loopedPanning);
    EXPECT_TRUE(autoVibrato);
}

TEST(AboutSong, PlaysHalfAMinuteToAMinuteOfAudibleUnclippedStereo) {
    XmLoadResult loaded = LoadXm(AboutSongBytes());
    ASSERT_TRUE(loaded.ok());
    const auto pcm =
        XmRenderToPcm(std::make_shared<const XmSong>(std::move(loaded.song)), 120 * kXmSampleRate);
    const double seconds = static_cast<double>(pcm.size() / 2) / kXmSampleRate;
    EXPECT_GE(seconds, 30.0);
    EXPECT_LE(seconds, 60.0);
    // Every full second is audible: no dropouts or silent stretches.
    const std::size_t second = 2 * kXmSampleRate;
    for (std::size_t at = 0; at + second <= pcm.size(); at += second) {
        double sum = 0;
        for (std::size_t i = at; i < at + second; ++i) sum += static_cast<double>(pcm[i]) * pcm[i];
        EXPECT_GT(std::sqrt(sum / static_cast<double>(second)), 300.0) << "second " << at / second;
    }
    std::size_t clipped = 0, wide = 0;
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
        clipped += (std::abs(pcm[i]) >= 32767) + (std::abs(pcm[i + 1]) >= 32767);
        wide += std::abs(pcm[i] - pcm[i + 1]) > 200;
    }
    EXPECT_EQ(clipped, 0u);
    EXPECT_GT(wide, pcm.size() / 20) << "left and right hardly differ";
}

}  // namespace
}  // namespace kestrane::music::engine
