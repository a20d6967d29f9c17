// Cost of the work done on every timer tick: a conversion per polling tick,
// a trigger check of all six channels every 50 ms, and one log record.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "acquisition/conversion.h"
#include "acquisition/logging.h"
#include "acquisition/trigger_engine.h"
#include "temp_dir.h"

namespace kestrane {
namespace {

class StillClock final : public Clock {
public:
    uint32_t NowSeconds() override { return 1000; }
};

class NoActions final : public AlarmActions {
public:
    void StartProgram(const std::string&) override {}
    void PlaySound(const std::string&) override {}
};

class StillTime final : public LocalTimeSource {
public:
    std::tm LocalNow() override {
        std::tm t{};
        t.tm_year = 126;
        t.tm_mon = 11;
        t.tm_mday = 7;
        t.tm_hour = 13;
        return t;
    }
};

void BM_ConvertReading(benchmark::State& state) {
    ChannelSettings s;
    s.mode = "VDC";
    s.filterEnable = "YES";
    ConversionScratch scratch;
    int warmUp = kFilterWarmUpReadings;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ConvertReading("1137320128", s, "1.0", "3", "+ 11.987", scratch, warmUp));
    }
}
BENCHMARK(BM_ConvertReading)->Unit(benchmark::kMicrosecond);

// One trigger tick: six channels, both bands enabled, readings inside the
// bands so every test runs in full (the common case).
void BM_TriggerTickSixChannels(benchmark::State& state) {
    BoardSettings board;
    ChannelStates states;
    for (int n = 1; n <= kChannelCount; ++n) {
        ChannelSettings& s = board.channels[static_cast<std::size_t>(n - 1)];
        s.highEnable = "ENABLED";
        s.highTriggerMax = "12";
        s.highTriggerMin = "10";
        s.highTestEvery = "5 Mins";
        s.lowEnable = "ENABLED";
        s.lowTriggerMin = "2";
        s.lowTriggerMax = "4";
        s.lowTestEvery = "24 Hours";
        states.at(n).shown = "+ 7.123";
        states.at(n).hasReading = true;
    }
    StillClock clock;
    NoActions actions;
    for (auto _ : state) RunTriggerTick(board, states, clock, actions);
}
BENCHMARK(BM_TriggerTickSixChannels)->Unit(benchmark::kMicrosecond);

void BM_WriteLogRecord(benchmark::State& state) {
    const test::TempDir dir("kestrane-bench");
    if (dir.path().empty()) {
        state.SkipWithError("no temp folder");
        return;
    }
    ChannelSettings s;
    s.logPath = dir.path().string() + "/";
    s.logFileName = "bench.txt";
    s.logSize = "35 Megabytes";
    StillTime time;
    for (auto _ : state) benchmark::DoNotOptimize(WriteLogRecord(s, "+ 12.345", time));
}
BENCHMARK(BM_WriteLogRecord)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrane

BENCHMARK_MAIN();
