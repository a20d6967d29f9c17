// Time per ReadKestrane exchange through the simulated bus: the cost of
// the library's own work (discovery, open, report building, decoding and
// formatting) per polling tick, without USB latency.
#include <benchmark/benchmark.h>

#include <array>

#include "board_access.h"
#include "simulated_bus.h"

namespace {

using namespace kestrane::board;

constexpr const char* kBus =
    "[device]\nvendor-id = 046D\nproduct-id = C52B\n"
    "[device]\nproduct-id = 000B\n"
    "[device]\nproduct-id = 000A\nchannel1 = 12.6 + sine(0.05, 40)\nchannel2 = 5.02 + noise(0.004)\n";

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

}  // namespace

BENCHMARK_MAIN();
