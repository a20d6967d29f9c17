// Time per ReadKestrane exchange through the simulated bus: the cost of
// the library's own work (discovery, open, report building, decoding and
// formatting) per polling tick, without USB latency. The last case goes
// through the exported function and a simulation file, as the client does.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board_access.h"
#include "kestrane_dll.h"
#include "simulated_bus.h"
#include "temp_dir.h"

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
