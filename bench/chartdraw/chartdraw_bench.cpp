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
#include <string>
#include <vector>

#include "core/chart_frame.h"
#include "core/graph_context.h"
#include "core/loader.h"
#include "core/paint.h"
#include "core/raster.h"
#include "core/series.h"
#include "core/view.h"

namespace {

int64_t g_records = 1000000;
std::string g_path;

void WriteLog() {
    char pattern[] = "/tmp/chartdraw-bench-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) std::abort();
    g_path = pattern;
    std::string chunk;
    chunk.reserve(1 << 20);
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t start = 1796083200;  // 2026-12-01 00:00:00 UTC
    for (int64_t i = 0; i < g_records; ++i) {
        const time_t t = start + static_cast<time_t>(i);
        std::tm tm{};
        ::gmtime_r(&t, &tm);
        const int h12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
        char line[64];
        const int value = static_cast<int>((i * 7919) % 10000000);
        const int n = std::snprintf(line, sizeof line, "%02d %s %04d;%02d:%02d:%02d %s;+ %d.%06d\r\n", tm.tm_mday,
                                    kMonths[tm.tm_mon], tm.tm_year + 1900, h12, tm.tm_min, tm.tm_sec,
                                    tm.tm_hour >= 12 ? "PM" : "AM", value / 1000000, value % 1000000);
        chunk.append(line, static_cast<size_t>(n));
        if (chunk.size() > (1 << 20) - 64) {
            if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) std::abort();
            chunk.clear();
        }
    }
    if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) std::abort();
    ::close(fd);
}

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
    state.SetBytesProcessed(state.iterations() * g_records * 36);
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

void PaintView(benchmark::State& state, bool wholeSpan) {
    plotwick::GraphContext ctx;
    plotwick::InitGraphContext(ctx, nullptr, 600, 240, "bench");
    if (plotwick::LoadSeries(g_path.c_str(), ctx) != 1) {
        state.SkipWithError("load failed");
        return;
    }
    plotwick::SetView(ctx, 0, wholeSpan ? ctx.span : 3600);
    plotwick::MemoryWindow window(600, 240);
    const plotwick::HoverState hover{&ctx, 300, 100};
    for (auto _ : state) plotwick::Paint(ctx, window, hover);
    state.counters["points_in_view"] = plotwick::FirstVisible(ctx, ctx.viewEnd) + 1;
    plotwick::ReleaseSeries(ctx);
}

void BM_PaintNewestHour(benchmark::State& state) { PaintView(state, false); }
void BM_PaintWholeSpan(benchmark::State& state) { PaintView(state, true); }

BENCHMARK(BM_ReadAndCountLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSeries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintNewestHour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintWholeSpan)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* prefix = "--benchmark_min_time=";
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0 && std::atof(argv[i] + std::strlen(prefix)) < 0.1) {
            g_records = 20000;
        }
    }
    if (const char* n = std::getenv("CHARTDRAW_BENCH_RECORDS")) g_records = std::max(1L, std::atol(n));
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    plotwick::RasterInit(600, 240);
    WriteLog();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(g_path.c_str());
    plotwick::RasterFree();
    return 0;
}
