// The whole plotwick-render process on the shared generated log: each
// iteration starts the real executable (no shell) and waits for it, timing
// the wall clock from spawn to exit and taking the child's own peak
// resident set from wait4. Figures to watch, on the full 35 MB log:
//   wall_s / wall_vs_target:  goal under 0.2 s (ratio below 1);
//   peak_MiB / rss_vs_target: goal under 80 MiB (ratio below 1).
// Under ctest (--benchmark_min_time below 0.1 s) or with CHARTDRAW_BENCH_RECORDS
// set, a smaller log keeps the run short. PLOTWICK_RENDER overrides the
// path of the executable.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench_log.h"

extern char** environ;

namespace {

constexpr double kTargetWallSeconds = 0.2;
constexpr double kTargetPeakMiB = 80.0;

int64_t g_records = chartbench::kFullRecords;
std::string g_log;
std::string g_png;
std::string g_render = PLOTWICK_RENDER_PATH;

struct RunResult {
    bool ok = false;
    double wallSeconds = 0.0;
    double peakMiB = 0.0;
};

// Spawns plotwick-render with `extra` options after LOGFILE OUT.png and
// waits for it. The child inherits standard error, so its own message
// shows when it fails.
RunResult RunRender(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {g_render, g_log, g_png};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    RunResult r;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, g_render.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return r;
    int status = 0;
    struct rusage usage {};
    pid_t waited;
    do {
        waited = ::wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
    r.ok = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

// One line per benchmark, printed after Google Benchmark's own table. The
// library calls each function more than once while it settles the
// iteration count; the last call is the measured one.
std::vector<std::pair<std::string, std::string>> g_summary;

void RenderProcess(benchmark::State& state, const char* what, const std::vector<std::string>& extra) {
    double bestWall = 1e9;
    double peak = 0.0;
    for (auto _ : state) {
        const RunResult r = RunRender(extra);
        if (!r.ok) {
            state.SkipWithError("plotwick-render failed");
            return;
        }
        state.SetIterationTime(r.wallSeconds);
        bestWall = std::min(bestWall, r.wallSeconds);
        peak = std::max(peak, r.peakMiB);
    }
    state.counters["records"] = static_cast<double>(g_records);
    state.counters["wall_s"] = bestWall;
    state.counters["wall_vs_target"] = bestWall / kTargetWallSeconds;
    state.counters["peak_MiB"] = peak;
    state.counters["rss_vs_target"] = peak / kTargetPeakMiB;
    char line[200];
    std::snprintf(line, sizeof line,
                  "plotwick-render, %s, %lld records: best wall %.3f s (%.2f of the %.1f s goal), "
                  "peak RSS %.1f MiB (%.2f of the %.0f MiB goal)",
                  what, static_cast<long long>(g_records), bestWall, bestWall / kTargetWallSeconds,
                  kTargetWallSeconds, peak, peak / kTargetPeakMiB, kTargetPeakMiB);
    const auto same = [what](const auto& entry) { return entry.first == what; };
    const auto it = std::find_if(g_summary.begin(), g_summary.end(), same);
    if (it != g_summary.end()) {
        it->second = line;
    } else {
        g_summary.emplace_back(what, line);
    }
}

// The default chart: 600 x 240, the newest hour.
void BM_RenderNewestHour(benchmark::State& state) { RenderProcess(state, "newest hour", {}); }

// Every point in view: the most drawing one chart can ask for.
void BM_RenderWholeSpan(benchmark::State& state) {
    RenderProcess(state, "whole span", {"--view", "0", std::to_string(g_records)});
}

BENCHMARK(BM_RenderNewestHour)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderWholeSpan)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    g_records = chartbench::RecordCount(argc, argv);
    if (const char* path = std::getenv("PLOTWICK_RENDER")) g_render = path;
    // The child inherits the zone, so the generated clock times are UTC to it too.
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    g_log = chartbench::WriteBenchLog(g_records);
    g_png = g_log + ".png";
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& entry : g_summary) std::printf("%s\n", entry.second.c_str());
    std::remove(g_log.c_str());
    std::remove(g_png.c_str());
    return 0;
}
