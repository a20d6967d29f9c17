// Songs reach the player from memory, a file or a resource and come out of
// the device exactly as the renderer makes them; unreadable or invalid
// sources fail cleanly without opening the device.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "music/engine/xm_renderer.h"
#include "music/player/basic_outputs.h"
#include "music/player/module_player.h"
#include "music/player/module_source.h"
#include "player_fakes.h"
#include "xm_writer.h"

namespace kestrane::music::player {
namespace {

using testing::ManualOutput;
using testing::ReadAll;
using testing::TempPath;
using testing::WaitFor;
using testing::WavSamples;

// A 16-row, one-channel song: a looped square wave at C-4, then E-4.
std::vector<std::uint8_t> SmallSong() {
    xmw::Sample s;
    for (int i = 0; i < 64; ++i) s.data.push_back(i < 32 ? 90 : -90);
    s.loopType = 1;
    s.loopLength = 64;
    xmw::Song song;
    song.instruments.push_back(xmw::SingleSampleInstrument(s));
    xmw::Pattern p;
    p.rows = 16;
    p.At(0, 0, 1) = {xmw::Note("C-4"), 1, 0, 0, 0};
    p.At(8, 0, 1) = {xmw::Note("E-4"), 1, 0x30, 0, 0};
    song.patterns.push_back(p);
    return xmw::WriteXm(song);
}

struct TempFile {
    std::string path;
    TempFile(const std::string& name, const std::vector<std::uint8_t>& bytes) : path(TempPath(name)) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { std::remove(path.c_str()); }
};

TEST(ModulePlayerSources, EverySourcePlaysExactlyWhatTheRendererMakes) {
    const auto module = SmallSong();
    auto loaded = engine::LoadXm(module);
    ASSERT_TRUE(loaded.ok());
    const auto reference = engine::XmRenderToPcm(
        std::make_shared<const engine::XmSong>(std::move(loaded.song)), 10 * kSampleRate);
    ASSERT_GT(reference.size(), 16 * kBlockSamples);  // longer than the ring

    TempFile file("song.xm", module);
    const std::string resource = ":/music/song.xm";
    struct Case {
        const char* name;
        const void* source;
        std::uintptr_t parameter;
        unsigned flags;
    } cases[] = {
        {"memory", module.data(), module.size(), kModuleMemory | kModuleNoLoop},
        {"file", file.path.c_str(), 0, kModuleFile | kModuleNoLoop},
        {"resource", resource.c_str(), 0, kModuleNoLoop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wav_path = TempPath("source.wav");
        auto out = std::make_unique<WavFileOutput>(wav_path);
        auto* wav = out.get();
        ModulePlayer player(std::move(out));
        player.SetPollInterval(std::chrono::microseconds(500));
        player.SetResourceLoader([&](const std::string& name) -> std::optional<std::vector<std::uint8_t>> {
            if (name == resource) return module;
            return std::nullopt;
        });
        ASSERT_EQ(player.Play(c.source, c.parameter, c.flags), 1);
        ASSERT_TRUE(WaitFor([&] { return !player.IsPlaying(); }));
        EXPECT_TRUE(wav->lastFileOk());
        const auto played = WavSamples(ReadAll(wav_path));
        std::remove(wav_path.c_str());
        // Whole blocks: the song's frames, then silence to the block's end.
        ASSERT_EQ(played.size() % kBlockSamples, 0u);
        ASSERT_GE(played.size(), reference.size());
        ASSERT_LT(played.size(), reference.size() + kBlockSamples);
        EXPECT_TRUE(std::equal(reference.begin(), reference.end(), played.begin()));
        EXPECT_TRUE(std::all_of(played.begin() + static_cast<std::ptrdiff_t>(reference.size()), played.end(),
                                [](std::int16_t v) { return v == 0; }));
    }
}

TEST(ModulePlayerSources, UnusableSourcesFailWithoutOpeningTheDevice) {
    const auto module = SmallSong();
    std::vector<std::uint8_t> garbage(4096, 0xFF);
    TempFile file("garbage.xm", garbage);
    const std::string missing = TempPath("missing.xm");
    const std::string dir = std::filesystem::temp_directory_path().string();
    const std::string unknown = ":/music/none.xm";
    struct Case {
        const char* name;
        const void* source;
        std::uintptr_t parameter;
        unsigned flags;
        bool loader;
    } cases[] = {
        {"memory cut to its first bytes", module.data(), 30, kModuleMemory, true},
        {"memory of length 0", module.data(), 0, kModuleMemory, true},
        {"memory of noise", garbage.data(), garbage.size(), kModuleMemory, true},
        {"missing file", missing.c_str(), 0, kModuleFile, true},
        {"directory as file", dir.c_str(), 0, kModuleFile, true},
        {"file of noise", file.path.c_str(), 0, kModuleFile, true},
        {"unknown resource", unknown.c_str(), 0, 0, true},
        {"resource without a loader", unknown.c_str(), 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto probe = std::make_shared<ManualOutput::Probe>();
        ModulePlayer player(std::make_unique<ManualOutput>(probe));
        if (c.loader)
            player.SetResourceLoader(
                [](const std::string&) { return std::optional<std::vector<std::uint8_t>>(); });
        EXPECT_EQ(player.Play(c.source, c.parameter, c.flags), 0);
        EXPECT_FALSE(player.IsPlaying());
        EXPECT_EQ(probe->opens, 0);
    }
}

TEST(ModulePlayerSources, FailedStartStopsTheSongThatWasPlaying) {
    const auto module = SmallSong();
    auto probe = std::make_shared<ManualOutput::Probe>();
    ModulePlayer player(std::make_unique<ManualOutput>(probe));
    ASSERT_EQ(player.Play(module.data(), module.size(), kModuleMemory), 1);
    EXPECT_EQ(player.Play(module.data(), 10, kModuleMemory), 0);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(probe->closes, 1);
}

TEST(ModuleFileReader, ReadsRegularFilesOnly) {
    const std::vector<std::uint8_t> bytes{1, 2, 3, 0, 255};
    TempFile file("bytes.bin", bytes);
    TempFile empty("empty.bin", {});
    EXPECT_EQ(ReadModuleFile(file.path), bytes);
    EXPECT_EQ(ReadModuleFile(empty.path), std::vector<std::uint8_t>{});
    EXPECT_FALSE(ReadModuleFile(TempPath("nope.bin")));
    EXPECT_FALSE(ReadModuleFile(std::filesystem::temp_directory_path().string()));
    EXPECT_FALSE(ReadModuleFile(""));
}

}  // namespace
}  // namespace kestrane::music::player
