// The mixing thread and the ring: stopping at any moment, pausing, the
// end of a song without loop, repeated starts, and the exact order of the
// blocks a device receives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include "music/player/basic_outputs.h"
#include "music/player/module_player.h"
#include "music/player/thread_priority.h"
#include "player_fakes.h"

namespace kestrane::music::player {
namespace {

using testing::BlockStamps;
using testing::ManualOutput;
using testing::ReadAll;
using testing::StampSource;
using testing::TempPath;
using testing::WaitFor;
using testing::WavSamples;

struct Rig {
    std::shared_ptr<ManualOutput::Probe> out = std::make_shared<ManualOutput::Probe>();
    std::shared_ptr<StampSource::Probe> src = std::make_shared<StampSource::Probe>();
    ModulePlayer player{std::make_unique<ManualOutput>(out)};
    Rig() { player.SetPollInterval(std::chrono::microseconds(500)); }
    int Play(int blocks, unsigned flags = 0) {
        return player.PlaySource(std::make_unique<StampSource>(src, blocks), flags);
    }
    // Moves the device on by `blocks` blocks and waits until the player has
    // refilled everything behind the new play position.
    void Advance(int blocks) {
        out->position += static_cast<std::uint64_t>(blocks) * kBlockBytes;
        const auto queries = out->queries.load();
        ASSERT_TRUE(WaitFor([&] { return out->queries > queries + 1; }));
    }
    std::vector<std::int16_t> Ring() const {
        std::vector<std::byte> raw(kRingBytes);
        out->ring.load()->Read(0, raw);
        std::vector<std::int16_t> s(kRingBytes / 2);
        std::memcpy(s.data(), raw.data(), raw.size());
        return s;
    }
};

TEST(ModulePlayerThread, StartFillsTheWholeRingBeforeTheDeviceOpens) {
    Rig rig;
    ASSERT_EQ(rig.Play(0), 1);
    EXPECT_TRUE(rig.player.IsPlaying());
    EXPECT_EQ(rig.out->opens, 1);
    // Blocks 1..16 are in ring slots 0..15; the device sits in block 0, so
    // nothing more may be rendered until it moves.
    const auto stamps = BlockStamps(rig.Ring());
    std::vector<int> expected(16);
    for (int i = 0; i < 16; ++i) expected[i] = i + 1;
    EXPECT_EQ(stamps, expected);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rig.src->rendered, 16);
    rig.player.Stop();
}

TEST(ModulePlayerThread, RefillsOnlyTheBlocksBehindThePlayPosition) {
    Rig rig;
    ASSERT_EQ(rig.Play(0), 1);
    // The device finishes blocks 0..2 and plays in block 3: slots 0..2 get
    // blocks 17..19 and slot 3 (being played) keeps block 4.
    rig.Advance(3);
    ASSERT_TRUE(WaitFor([&] { return rig.src->rendered == 19; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rig.src->rendered, 19);
    const auto stamps = BlockStamps(rig.Ring());
    EXPECT_EQ(stamps[0], 17);
    EXPECT_EQ(stamps[2], 19);
    EXPECT_EQ(stamps[3], 4);
    // Once around the ring: position 18 blocks lies in slot 2.
    rig.Advance(15);
    ASSERT_TRUE(WaitFor([&] { return rig.src->rendered == 34; }));
    EXPECT_EQ(BlockStamps(rig.Ring())[1], 34);
    rig.player.Stop();
}

TEST(ModulePlayerThread, StopEndsTheThreadThenClosesTheDeviceAndFreesTheSong) {
    Rig rig;
    ASSERT_EQ(rig.Play(0), 1);
    rig.Advance(5);
    rig.player.Stop();
    EXPECT_FALSE(rig.player.IsPlaying());
    EXPECT_EQ(rig.out->closes, 1);
    EXPECT_FALSE(rig.out->open);
    EXPECT_TRUE(rig.src->destroyed);
    EXPECT_EQ(rig.out->close_thread, std::this_thread::get_id());
    // Nothing runs any more: the position moving changes nothing.
    const int rendered = rig.src->rendered;
    rig.out->position += 8 * kBlockBytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rig.src->rendered, rendered);
}

TEST(ModulePlayerThread, StopAndNullPlayAreHarmlessWhenIdle) {
    Rig rig;
    rig.player.Stop();
    rig.player.Stop();
    EXPECT_EQ(rig.player.Play(nullptr, 0, 0), 0);
    EXPECT_EQ(rig.player.Play(nullptr, 0, kModuleMemory), 0);
    EXPECT_EQ(rig.out->opens, 0);
    EXPECT_EQ(rig.out->closes, 0);
    // A null source during playback is a stop.
    ASSERT_EQ(rig.Play(0), 1);
    EXPECT_EQ(rig.player.Play(nullptr, 0, 0), 0);
    EXPECT_FALSE(rig.player.IsPlaying());
    EXPECT_EQ(rig.out->closes, 1);
    EXPECT_TRUE(rig.src->destroyed);
}

TEST(ModulePlayerThread, DeviceThatDoesNotOpenLeavesNothingBehind) {
    Rig rig;
    rig.out->fail_open = true;
    EXPECT_EQ(rig.Play(0), 0);
    EXPECT_FALSE(rig.player.IsPlaying());
    EXPECT_TRUE(rig.src->destroyed);
    EXPECT_EQ(rig.out->closes, 0);
    // No output at all behaves the same.
    ModulePlayer silent;
    auto probe = std::make_shared<StampSource::Probe>();
    EXPECT_EQ(silent.PlaySource(std::make_unique<StampSource>(probe, 0), 0), 0);
    EXPECT_TRUE(probe->destroyed);
}

TEST(ModulePlayerThread, PausedWritesSilenceAndHoldsThePosition) {
    Rig rig;
    ASSERT_EQ(rig.Play(0, kModulePaused), 1);
    EXPECT_TRUE(rig.player.IsPaused());
    EXPECT_EQ(rig.src->rendered, 0);
    rig.Advance(4);
    ASSERT_TRUE(WaitFor([&] { return rig.out->queries > 3; }));
    EXPECT_EQ(rig.src->rendered, 0);
    for (int s : BlockStamps(rig.Ring())) EXPECT_EQ(s, 0);
    // Resuming continues the song from where it stood: its first block.
    rig.player.Resume();
    rig.Advance(2);
    ASSERT_TRUE(WaitFor([&] { return rig.src->rendered >= 2; }));
    rig.player.Stop();
    const auto stamps = BlockStamps(rig.Ring());
    EXPECT_EQ(stamps[4], 1);
    EXPECT_EQ(stamps[5], 2);
}

TEST(ModulePlayerThread, MasterVolumeReachesTheRenderer) {
    Rig rig;
    rig.player.SetMasterVolume(16384);
    ASSERT_EQ(rig.Play(0), 1);
    EXPECT_EQ(rig.src->last_master, 16384);
    rig.player.SetMasterVolume(1000);
    rig.Advance(2);
    ASSERT_TRUE(WaitFor([&] { return rig.src->last_master == 1000; }));
    rig.player.Stop();
}

TEST(ModulePlayerThread, NullOutputConsumesTheRingAsTimePasses) {
    auto src = std::make_shared<StampSource::Probe>();
    ModulePlayer player(std::make_unique<NullSoundOutput>());
    ASSERT_EQ(player.PlaySource(std::make_unique<StampSource>(src, 0), 0), 1);
    // Its clock moves the play position, so the thread keeps refilling.
    ASSERT_TRUE(WaitFor([&] { return src->rendered > 24; }));
    player.Stop();
    EXPECT_TRUE(src->destroyed);
}

// A device writing to a file receives every block once, in order.
struct WavRig {
    std::string path;
    WavFileOutput* wav;
    std::shared_ptr<StampSource::Probe> src = std::make_shared<StampSource::Probe>();
    ModulePlayer player;
    explicit WavRig(const std::string& name) : path(TempPath(name)) {
        auto out = std::make_unique<WavFileOutput>(path);
        wav = out.get();
        player.SetOutput(std::move(out));
        player.SetPollInterval(std::chrono::microseconds(500));
    }
    ~WavRig() { std::remove(path.c_str()); }
    std::vector<int> Stamps() { return BlockStamps(WavSamples(ReadAll(path))); }
};

TEST(ModulePlayerThread, SongWithoutLoopPlaysOutCompletelyAndReleasesItself) {
    for (int blocks : {1, 5, 16, 17, 40}) {
        SCOPED_TRACE(blocks);
        WavRig rig("noloop.wav");
        ASSERT_EQ(rig.player.PlaySource(std::make_unique<StampSource>(rig.src, blocks), kModuleNoLoop), 1);
        ASSERT_TRUE(WaitFor([&] { return !rig.player.IsPlaying(); }));
        // Released by the mixing thread: device closed, song freed.
        EXPECT_FALSE(rig.wav->is_open());
        EXPECT_TRUE(rig.wav->lastFileOk());
        EXPECT_TRUE(rig.src->destroyed);
        std::vector<int> expected(blocks);
        for (int i = 0; i < blocks; ++i) expected[i] = i + 1;
        EXPECT_EQ(rig.Stamps(), expected);
        rig.player.Stop();  // finds nothing left to release
    }
}

// The device takes blocks ahead of playing them; the end of a song is only
// released once it has been played, or once the device has taken a second
// of silence past it without reporting (a device that never reports).
TEST(ModulePlayerThread, SongEndWaitsUntilTheDeviceHasPlayedIt) {
    Rig rig;
    rig.out->played = 0;
    ASSERT_EQ(rig.Play(3, kModuleNoLoop), 1);
    const std::uint64_t end = 3 * kBlockBytes;
    rig.Advance(4);  // the end block was taken, nothing heard yet
    rig.Advance(4);
    EXPECT_TRUE(rig.player.IsPlaying());
    EXPECT_EQ(rig.out->closes, 0);
    rig.out->played = static_cast<std::int64_t>(end) - 4;  // one frame short
    rig.Advance(1);
    EXPECT_TRUE(rig.player.IsPlaying());
    rig.out->played = static_cast<std::int64_t>(end);
    ASSERT_TRUE(WaitFor([&] { return !rig.player.IsPlaying(); }));
    EXPECT_EQ(rig.out->closes, 1);

    // A device whose played position never moves is released after the limit.
    ASSERT_EQ(rig.Play(2, kModuleNoLoop), 1);
    rig.out->played = 0;
    rig.Advance(2 + static_cast<int>(kDrainLimitBytes / kBlockBytes) - 1);
    EXPECT_TRUE(rig.player.IsPlaying());
    rig.out->position += 2 * kBlockBytes;  // past the limit: the thread ends
    ASSERT_TRUE(WaitFor([&] { return !rig.player.IsPlaying(); }));
    EXPECT_EQ(rig.out->closes, 2);
}

TEST(ModulePlayerThread, PauseInsertsSilenceWithoutLosingOrRepeatingBlocks) {
    WavRig rig("pause.wav");
    ASSERT_EQ(rig.player.PlaySource(std::make_unique<StampSource>(rig.src, 0), 0), 1);
    ASSERT_TRUE(WaitFor([&] { return rig.wav->blocksPlayed() >= 10; }));
    rig.player.Pause();
    const auto at_pause = rig.wav->blocksPlayed();
    // Long enough for the 16 blocks queued before the pause plus some silence.
    ASSERT_TRUE(WaitFor([&] { return rig.wav->blocksPlayed() >= at_pause + 24; }));
    rig.player.Resume();
    const auto at_resume = rig.wav->blocksPlayed();
    ASSERT_TRUE(WaitFor([&] { return rig.wav->blocksPlayed() >= at_resume + 24; }));
    rig.player.Stop();

    const auto stamps = rig.Stamps();
    ASSERT_GE(stamps.size(), 58u);
    int expected = 1, silent = 0;
    for (int s : stamps) {
        if (s == 0) {
            ++silent;
            continue;
        }
        ASSERT_EQ(s, expected) << "a block was lost or repeated";
        ++expected;
    }
    EXPECT_GE(silent, 1);
    // Silence sits in one run between two parts of the song.
    const auto first_zero = std::find(stamps.begin(), stamps.end(), 0);
    const auto last_zero = std::find(stamps.rbegin(), stamps.rend(), 0).base();
    EXPECT_EQ(std::count(first_zero, last_zero, 0), silent);
    EXPECT_NE(last_zero, stamps.end());
}

TEST(ModulePlayerThread, RepeatedStartsAndStopsStayBalanced) {
    Rig rig;
    for (int cycle = 0; cycle < 60; ++cycle) {
        const int blocks = cycle % 3 == 0 ? 3 : 0;  // some end by themselves
        ASSERT_EQ(rig.Play(blocks, cycle % 2 ? unsigned{kModuleNoLoop} : 0u), 1);
        if (cycle % 4 == 1) rig.out->position += (cycle % 7) * kBlockBytes;
        if (cycle % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 3));
        if (cycle % 6 == 0) {
            // Let a short song without loop end and release itself first.
            rig.out->position += 40 * kBlockBytes;
        }
        EXPECT_EQ(rig.out->opens, cycle + 1);
    }
    rig.player.Stop();
    EXPECT_EQ(rig.out->opens, 60);
    EXPECT_EQ(rig.out->closes, 60);
    EXPECT_FALSE(rig.out->open);
}

TEST(ModulePlayerThread, SecondStartReplaysFromTheBeginning) {
    WavRig rig("replay.wav");
    ASSERT_EQ(rig.player.PlaySource(std::make_unique<StampSource>(rig.src, 0), 0), 1);
    ASSERT_TRUE(WaitFor([&] { return rig.wav->blocksPlayed() >= 20; }));
    auto probe = std::make_shared<StampSource::Probe>();
    ASSERT_EQ(rig.player.PlaySource(std::make_unique<StampSource>(probe, 6), kModuleNoLoop), 1);
    EXPECT_TRUE(rig.src->destroyed);
    ASSERT_TRUE(WaitFor([&] { return !rig.player.IsPlaying(); }));
    EXPECT_EQ(rig.Stamps(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

struct Scheduling {
    int policy;
    int nice;
};

Scheduling CurrentScheduling() {
    return {sched_getscheduler(0) & ~SCHED_RESET_ON_FORK,
            getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()))};
}

// Whether `after` is what `report` says happened to a thread that had `before`.
void ExpectPriorityAsReported(ThreadPriority report, Scheduling before, Scheduling after) {
    switch (report) {
        case ThreadPriority::kRealTime:
            EXPECT_EQ(after.policy, SCHED_RR);
            break;
        case ThreadPriority::kRaised:
            EXPECT_EQ(after.policy, before.policy);
            EXPECT_LT(after.nice, before.nice);
            break;
        case ThreadPriority::kNormal:
            EXPECT_EQ(after.policy, before.policy);
            EXPECT_EQ(after.nice, before.nice);
            break;
    }
}

TEST(ModulePlayerThread, MixingThreadRunsAtTheMostUrgentPriorityAllowed) {
    // What this machine allows (often nothing without privilege), learned on
    // a thread of the test's own; the report must match what happened.
    const Scheduling caller = CurrentScheduling();
    ThreadPriority allowed = ThreadPriority::kNormal;
    std::thread([&] {
        const Scheduling before = CurrentScheduling();
        allowed = RaiseCurrentThreadForAudio();
        ExpectPriorityAsReported(allowed, before, CurrentScheduling());
    }).join();

    Rig rig;
    ASSERT_EQ(rig.Play(0), 1);
    rig.Advance(1);
    rig.player.Stop();
    ExpectPriorityAsReported(allowed, caller, {rig.out->position_policy, rig.out->position_nice});
    // Only the mixing thread changes; the controlling thread keeps its own.
    const Scheduling after = CurrentScheduling();
    EXPECT_EQ(after.policy, caller.policy);
    EXPECT_EQ(after.nice, caller.nice);
}

}  // namespace
}  // namespace kestrane::music::player
