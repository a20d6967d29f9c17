// Bit-identity of the renderer's output: FNV-1a hashes of the 16-bit PCM of
// the carried About song, the committed seed modules and the generated
// corpus. Any change to the mixer or the sequencer that alters one sample of
// one of these renders fails here, with the new hash printed for review.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "about_song.h"
#include "music/engine/xm_renderer.h"
#include "music/engine/xm_song.h"
#include "xm_song_corpus.h"
#include "xm_writer.h"

namespace kestrane::music::engine {
namespace {

uint64_t Fnv1a(const std::vector<int16_t>& pcm) {
    uint64_t h = 14695981039346656037ull;
    for (int16_t s : pcm) {
        const auto u = static_cast<uint16_t>(s);
        for (uint8_t byte : {static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(u >> 8)}) {
            h ^= byte;
            h *= 1099511628211ull;
        }
    }
    return h;
}

struct Render {
    uint64_t hash = 0;
    int peak = 0;
};

// Renders `seconds` of the song, looping, through whole blocks as the player
// does, and hashes the PCM.
Render RenderHash(std::span<const uint8_t> bytes, int seconds) {
    XmLoadResult loaded = LoadXm(bytes);
    EXPECT_TRUE(loaded.ok()) << XmLoadErrorText(loaded.error);
    XmRenderer r(std::make_shared<const XmSong>(std::move(loaded.song)), true);
    std::vector<int16_t> pcm;
    std::array<int16_t, kXmBlockSamples> block{};
    const size_t blocks = static_cast<size_t>(seconds) * kXmSampleRate / kXmBlockFrames;
    pcm.reserve(blocks * kXmBlockSamples);
    for (size_t b = 0; b < blocks; ++b) {
        r.RenderBlock(block);
        pcm.insert(pcm.end(), block.begin(), block.end());
    }
    int peak = 0;
    for (int16_t v : pcm) peak = std::max(peak, std::abs(int{v}));
    return {Fnv1a(pcm), peak};
}

std::vector<uint8_t> ReadSeed(const std::string& name) {
    std::ifstream in(std::string(KESTRANE_XM_SEED_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Expected {
    int seconds;
    uint64_t hash;
};

// The reviewed renders. A deliberate change of output updates the hash here
// together with the reason in the commit message.
const std::map<std::string, Expected>& ExpectedHashes() {
    static const std::map<std::string, Expected> table = {
        {"about-song", {60, 0xe7b66aa86629f2cbull}},
        {"seed:effects-4ch.xm", {20, 0x4a783c3d5eaf908eull}},
        {"seed:one-note.xm", {5, 0xf2160de30919df91ull}},
        {"seed:amiga-missing-pattern.xm", {5, 0xcd0bb1f64794db91ull}},
        {"pingpong-2frame-64ch-top-pitch", {8, 0xa89b489fee5dd451ull}},
        {"retrigger-every-tick-64ch-tempo255", {8, 0x689b650f771366e9ull}},
        {"loop-1frame-64ch", {6, 0xc766aab7187294f9ull}},
        {"clipping-64ch-full-volume", {4, 0x259e67e881db33b9ull}},
        {"oneshots-offsets-cuts-delays-32ch", {8, 0x70bf858e3399cd45ull}},
        {"amiga-slides-16ch", {8, 0xa7711fadfc016011ull}},
        {"envelopes-ramps-32ch", {8, 0xcc05e4cae14280f5ull}},
        {"band-4ch", {45, 0x0ec2eb53a3723b46ull}},
        {"band-8ch", {45, 0x2ae721c994ac2094ull}},
        {"band-22ch", {45, 0xa800b275892936d1ull}},
    };
    return table;
}

void Check(const std::string& name, std::span<const uint8_t> bytes) {
    const auto it = ExpectedHashes().find(name);
    ASSERT_NE(it, ExpectedHashes().end()) << "no expected hash for " << name;
    const Render render = RenderHash(bytes, it->second.seconds);
    const uint64_t got = render.hash;
    // A render of silence would guard nothing.
    EXPECT_GT(render.peak, 1000) << name;
    char line[160];
    std::snprintf(line, sizeof line, "{\"%s\", {%d, 0x%016llxull}},", name.c_str(), it->second.seconds,
                  static_cast<unsigned long long>(got));
    EXPECT_EQ(got, it->second.hash) << "render changed: " << line;
}

TEST(RenderHash, AboutSong) { Check("about-song", music::AboutSongBytes()); }

TEST(RenderHash, SeedModules) {
    for (const char* name : {"effects-4ch.xm", "one-note.xm", "amiga-missing-pattern.xm"}) {
        const std::vector<uint8_t> bytes = ReadSeed(name);
        ASSERT_FALSE(bytes.empty()) << name;
        Check(std::string("seed:") + name, bytes);
    }
}

TEST(RenderHash, GeneratedCorpus) {
    const std::vector<xmw::CorpusSong> corpus = xmw::SongCorpus();
    EXPECT_EQ(corpus.size() + 4, ExpectedHashes().size()) << "every corpus song has a hash";
    for (const xmw::CorpusSong& c : corpus) {
        SCOPED_TRACE(c.name);
        Check(c.name, xmw::WriteXm(c.song));
    }
}

// The portable mixing loop (machines without AVX2) gives the same renders.
TEST(RenderHash, PortableMixerMatches) {
    XmAllowSimdMixing(false);
    Check("about-song", music::AboutSongBytes());
    for (const xmw::CorpusSong& c : xmw::SongCorpus()) {
        SCOPED_TRACE(c.name);
        Check(c.name, xmw::WriteXm(c.song));
    }
    XmAllowSimdMixing(true);
}

}  // namespace
}  // namespace kestrane::music::engine
