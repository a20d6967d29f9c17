// Time per ReadKestrane exchange through the simulated bus: the cost of
// the library's own work (discovery, open, report building, decoding and
// formatting) per polling tick, without USB latency. The last case goes
// through the exported function and a simulation file, as the client does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "board_access.h"
#include "kestrane_dll.h"
#include "simulated_bus.h"
#include "temp_dir.h"

namespace {

using namespace kestrane::board;

constexpr const char* kBus =
    "[device]\nvendor-id = 046D\nproduct-id = C52B\n"
    "[device]\nproduct-id = 000B\n"
    "[device]\nproduct-id = 000A\nchannel1 = 12.6 + sine(0.05, 40)\nchannel2 = 5.02 + noise(0.004)\n"
    "[device]\nproduct-id = 000C\nopen-delay-ms = 50\nchannel1 = 3.3\n";

struct Bench {
    Bench() : bus(*ParseSimulation(kBus).config) { lib.transport = &bus; }
    SimulatedBus bus;
    BoardLibrary lib;
};

void BM_ReadKestraneMode0(benchmark::State& state) {
    Bench b;
    std::array<char, 128> text{};
    for (auto _ : state) benchmark::DoNotOptimize(ReadBoard(b.lib, 0x000A, 1, 0, text.data()));
}
BENCHMARK(BM_ReadKestraneMode0)->Unit(benchmark::kMicrosecond);

void BM_ReadKestraneMode1(benchmark::State& state) {
    Bench b;
    std::array<char, 128> text{};
    for (auto _ : state) benchmark::DoNotOptimize(ReadBoard(b.lib, 0x000A, 2, 1, text.data()));
}
BENCHMARK(BM_ReadKestraneMode1)->Unit(benchmark::kMicrosecond);

void BM_FindKestranes(benchmark::State& state) {
    Bench b;
    std::array<char, 1024> list{};
    for (auto _ : state) benchmark::DoNotOptimize(FindBoards(b.lib, list.data()));
}
BENCHMARK(BM_FindKestranes)->Unit(benchmark::kMicrosecond);

// The exported ReadKestrane over a simulation file: adds the library-wide
// lock and the file's change check to every exchange.
void BM_ExportedReadKestrane(benchmark::State& state) {
    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    if (ReadKestrane(0x000A, 1, 0, text.data()) == 0) {
        state.SkipWithError("no simulated board through the exported function");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(ReadKestrane(0x000A, 1, 0, text.data()));
}
BENCHMARK(BM_ExportedReadKestrane)->Unit(benchmark::kMicrosecond);

// The client's polling tick: one exchange per tick of a 50 ms timer that
// behaves as Qt's does: the next tick is due one interval after the last
// one was due, or one interval after it fired when it fired late. Board
// 000C costs 50 ms to open from closed, as a real hidraw node does, so a
// library that opens the board for every call stretches every pass.
void BM_PollingCadence(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kTick = std::chrono::milliseconds(50);
    constexpr int kPasses = 40;
    constexpr double kNominalPassesPerSecond = 20.0;
    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    // Connect reads the firmware text first.
    if (ReadKestrane(0x000C, 8, 0, text.data()) == 0) {
        state.SkipWithError("no simulated board 000C through the exported function");
        return;
    }
    double ratio = 0.0;
    double blockedShare = 0.0;
    for (auto _ : state) {
        Clock::duration blocked{};
        const Clock::time_point start = Clock::now();
        Clock::time_point due = start;
        for (int pass = 0; pass < kPasses; ++pass) {
            std::this_thread::sleep_until(due);
            const Clock::time_point fired = Clock::now();
            due += kTick;
            if (due < fired) due = fired + kTick;
            const bool ok = ReadKestrane(0x000C, 1 + pass % 6, 0, text.data()) != 0;
            blocked += Clock::now() - fired;
            if (!ok) {
                state.SkipWithError("exchange failed");
                return;
            }
        }
        // The passes took until the next one could fire.
        const double seconds = std::chrono::duration<double>(std::max(due, Clock::now()) - start).count();
        ratio = kPasses / seconds / kNominalPassesPerSecond;
        // The share of the run the GUI thread spends inside the library,
        // unavailable to the trigger, logging and drawing of the same tick.
        blockedShare = std::chrono::duration<double>(blocked).count() / seconds;
    }
    state.counters["cadence_ratio"] = ratio;
    state.counters["blocked_share"] = blockedShare;
    std::printf(
        "polling cadence with a 50 ms open cost: %.3f of the nominal 20 passes per second (goal >= 0.95); "
        "%.1f%% of the time spent in the exchange\n",
        ratio, 100.0 * blockedShare);
}
BENCHMARK(BM_PollingCadence)->Iterations(1)->Unit(benchmark::kMillisecond);

// Two programs polling one board at 20 Hz on the same ticks, the worst
// case: every exchange holds the board's lock for 3 ms (answer-delay-ms),
// so at every tick one of them waits for the other. Two buses on one
// simulation file lock one lock file, as two processes do. Reports the
// time a call waited for the lock: mean, longest, and the calls that failed.
void BM_LockWaitTwoPollers(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kTick = std::chrono::milliseconds(50);
    constexpr int kTicks = 40;
    const kestrane::test::TempDir folder("kestrane-lock-bench");
    const std::string file = (folder.path() / "shared.sim").string();
    if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fputs("[device]\nproduct-id = 000A\nanswer-delay-ms = 3\nchannel1 = 12.6\n", f);
        std::fclose(f);
    }
    struct Poller {
        std::vector<double> waitsMs;
        int failed = 0;
    };
    Poller pollers[2];
    for (auto _ : state) {
        const Clock::time_point start = Clock::now() + std::chrono::milliseconds(20);
        auto poll = [&](Poller& p) {
            auto bus = SimulatedBus::FromFile(file);
            BoardLibrary lib;
            lib.transport = bus.get();
            std::array<char, 128> text{};
            for (int tick = 0; tick < kTicks; ++tick) {
                std::this_thread::sleep_until(start + tick * kTick);
                p.failed += ReadBoard(lib, 0x000A, 1 + tick % 6, 0, text.data()) != 1;
                p.waitsMs.push_back(std::chrono::duration<double, std::milli>(lib.lastLockWait).count());
            }
        };
        std::thread other([&] { poll(pollers[1]); });
        poll(pollers[0]);
        other.join();
    }
    std::vector<double> all = pollers[0].waitsMs;
    all.insert(all.end(), pollers[1].waitsMs.begin(), pollers[1].waitsMs.end());
    double sum = 0.0, longest = 0.0;
    int waited = 0;
    for (double w : all) {
        sum += w;
        longest = std::max(longest, w);
        waited += w > 0.5;
    }
    const double mean = all.empty() ? 0.0 : sum / static_cast<double>(all.size());
    state.counters["mean_wait_ms"] = mean;
    state.counters["max_wait_ms"] = longest;
    state.counters["failed"] = pollers[0].failed + pollers[1].failed;
    std::printf(
        "lock wait, two programs polling one board on the same 50 ms ticks, 3 ms exchanges: mean %.3f ms, "
        "longest %.3f ms, %d of %zu calls waited, %d failed\n",
        mean, longest, waited, all.size(), pollers[0].failed + pollers[1].failed);
}
BENCHMARK(BM_LockWaitTwoPollers)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

// The library takes KESTRANE_SIMULATION at its first call, so the file is
// written and named before any benchmark runs.
int main(int argc, char** argv) {
    const kestrane::test::TempDir folder("kestrane-bench");
    if (folder.path().empty()) return 1;
    const std::string simFile = (folder.path() / "bench.sim").string();
    if (std::FILE* f = std::fopen(simFile.c_str(), "wb")) {
        std::fputs(kBus, f);
        std::fclose(f);
    }
    setenv("KESTRANE_SIMULATION", simFile.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
