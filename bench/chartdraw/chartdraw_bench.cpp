// Benchmarks of log loading and chart painting on a generated 1-second log
// of about a million 36-byte records (about 35 MB, written to a temporary
// file at start and removed at exit). Figures to watch:
//   BM_LoadSeries counter vs_read_count: load time / (read file + count
//     lines) time, goal <= 3;
//   BM_PaintNewestHour: 600 x 240, newest hour, goal <= 2 ms;
//   BM_PaintWholeSpan: 600 x 240, all points, goal <= 50 ms.
// Under ctest (--benchmark_min_time below 0.1 s) or with CHARTDRAW_BENCH_RECORDS
// set, a smaller log keeps the run short.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "bench_log.h"
#include "plotwick/chart_frame.h"
#include "plotwick/graph_context.h"
#include "plotwick/loader.h"
#include "plotwick/paint.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"
#include "plotwick/series.h"
#include "plotwick/view.h"

namespace {

int64_t g_records = chartbench::kFullRecords;
std::string g_path;

// The baseline: read the whole file in one read and count its lines.
int64_t ReadAndCountLines() {
    const int fd = ::open(g_path.c_str(), O_RDONLY);
    if (fd < 0) std::abort();
    const off_t size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    std::vector<char> buffer(static_cast<size_t>(size) + 4);
    int64_t got = 0;
    while (got < size) {
        const ssize_t r = ::read(fd, buffer.data() + got, static_cast<size_t>(size - got));
        if (r <= 0) break;
        got += r;
    }
    ::close(fd);
    int64_t lines = 0;
    const char* p = buffer.data();
    const char* end = p + got;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) != nullptr) {
        ++lines;
        ++p;
    }
    return lines;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_ReadAndCountLines(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ReadAndCountLines());
    state.SetBytesProcessed(state.iterations() * g_records * chartbench::kRecordBytes);
}

void BM_LoadSeries(benchmark::State& state) {
    double baseline = 1e9;
    for (int k = 0; k < 3; ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ReadAndCountLines());
        baseline = std::min(baseline, Seconds(std::chrono::steady_clock::now() - t0));
    }
    double best = 1e9;
    plotwick::GraphContext ctx;
    plotwick::InitGraphContext(ctx, nullptr, 600, 240, "bench");
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (plotwick::LoadSeries(g_path.c_str(), ctx) != 1) state.SkipWithError("load failed");
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - t0));
    }
    state.counters["points"] = ctx.pointCount;
    state.counters["vs_read_count"] = best / baseline;
    plotwick::ReleaseSeries(ctx);
}

void PaintView(benchmark::State& state, plotwick::RasterState& raster, bool wholeSpan) {
    plotwick::GraphContext ctx;
    plotwick::InitGraphContext(ctx, nullptr, 600, 240, "bench");
    if (plotwick::LoadSeries(g_path.c_str(), ctx) != 1) {
        state.SkipWithError("load failed");
        return;
    }
    plotwick::SetView(ctx, 0, wholeSpan ? ctx.span : 3600);
    plotwick::MemoryWindow window(600, 240);
    const plotwick::HoverState hover{&ctx, 300, 100};
    for (auto _ : state) plotwick::Paint(raster, ctx, window, hover);
    state.counters["points_in_view"] = plotwick::FirstVisible(ctx, ctx.viewEnd) + 1;
    plotwick::ReleaseSeries(ctx);
}

void BM_PaintNewestHour(benchmark::State& state, plotwick::RasterState& raster) {
    PaintView(state, raster, false);
}
void BM_PaintWholeSpan(benchmark::State& state, plotwick::RasterState& raster) {
    PaintView(state, raster, true);
}

BENCHMARK(BM_ReadAndCountLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSeries)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    g_records = chartbench::RecordCount(argc, argv);
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    // The raster every paint draws into, as a chart window's library has one.
    plotwick::RasterState raster;
    plotwick::RasterInit(raster, 600, 240);
    benchmark::RegisterBenchmark("BM_PaintNewestHour", BM_PaintNewestHour, std::ref(raster))
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PaintWholeSpan", BM_PaintWholeSpan, std::ref(raster))
        ->Unit(benchmark::kMillisecond);
    g_path = chartbench::WriteBenchLog(g_records);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(g_path.c_str());
    return 0;
}
