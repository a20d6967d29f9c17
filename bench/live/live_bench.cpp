// The live view's store and drawing at their worst: 24 hours of readings at
// the full polling rate (20 a second, shared by the six channels), the
// store's resident memory against its 32 MiB goal, and the time to redraw
// a 1366 pixel wide view of all six strips at every span against 5 ms.
//   --hours=N  hours of readings to store (default 24)
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "live/qt/strip_painter.h"
#include "live/trend_store.h"

using namespace kestrane::live;

namespace {

double g_hours = 24.0;
constexpr int kWidth = 1366;
constexpr int kHeight = 700;
constexpr int64_t kStart = 1'796'700'000'000LL;
constexpr double kMemoryGoalMiB = 32.0;
constexpr double kRedrawGoalMs = 5.0;

struct Span {
    const char* name;
    int64_t ms;
};
constexpr Span kSpans[] = {{"1 min", 60'000},
                           {"10 min", 600'000},
                           {"1 h", 3'600'000},
                           {"8 h", 8 * 3'600'000LL},
                           {"24 h", 24 * 3'600'000LL}};

double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

// Polling ticks every 50 ms; `channels` channels take them in turn, with a
// lost board (a gap) every three hours.
std::unique_ptr<TrendStore> Fill(int channels) {
    auto store = std::make_unique<TrendStore>();
    const auto ticks = static_cast<int64_t>(g_hours * 3600 * 20);
    for (int64_t i = 0; i < ticks; ++i) {
        const int64_t t = kStart + i * 50;
        const int channel = 1 + static_cast<int>(i % channels);
        if (i > 0 && i % (3 * 3600 * 20) == 0) store->Gap(t);
        const double v = 12.0 + channel + 2.0 * std::sin(static_cast<double>(i) / 4000.0) + (i % 17) * 0.001;
        store->Add(channel, t, v, channel == 3 ? Unit::Amperes : Unit::Volts, 3);
    }
    return store;
}

std::vector<StripChannel> AllChannels() {
    std::vector<StripChannel> out;
    for (int n = 1; n <= 6; ++n)
        out.push_back(
            {n, QStringLiteral("Voltmeter %1").arg(n), n == 3 ? "A" : "V", QStringLiteral("+ 12.345")});
    return out;
}

TrendStore* g_store = nullptr;

void BM_Redraw(benchmark::State& state, int64_t spanMs) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    StripPainter painter;
    const std::vector<StripChannel> channels = AllChannels();
    for (auto _ : state) {
        painter.Paint(image, *g_store, channels, {g_store->newestMs() + 1, spanMs});
        benchmark::DoNotOptimize(image.constBits());
    }
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Redraw {
    double wallMs;
    double cpuMs;
};

// Medians of a few redraws: the wall time, and the thread's CPU time, which
// a machine busy with other work does not inflate by preemption.
Redraw RedrawMs(const TrendStore& store, int64_t spanMs) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    StripPainter painter;
    const std::vector<StripChannel> channels = AllChannels();
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < 15; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ThreadCpuMs();
        painter.Paint(image, store, channels, {store.newestMs() + 1, spanMs});
        cpu.push_back(ThreadCpuMs() - c0);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--hours=", 8) == 0)
            g_hours = std::atof(argv[i] + 8);
        else
            rest.push_back(argv[i]);
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    const double before = ResidentMiB();
    auto oneChannel = Fill(1);
    const double oneChannelMiB = ResidentMiB() - before;
    const std::size_t oneChannelBytes = oneChannel->MemoryBytes();
    const std::size_t oneChannelReadings = oneChannel->storedReadings();
    oneChannel.reset();

    const double beforeAll = ResidentMiB();
    auto store = Fill(6);
    const double allMiB = ResidentMiB() - beforeAll;
    std::printf("live store, %.1f h at 20 readings/s:\n", g_hours);
    std::printf("  six channels: %zu readings, %.1f MiB held, %.1f MiB resident growth (goal <= %.0f MiB)\n",
                store->storedReadings(), store->MemoryBytes() / 1048576.0, allMiB, kMemoryGoalMiB);
    std::printf("  one channel:  %zu readings, %.1f MiB held, %.1f MiB resident growth (goal <= %.0f MiB)\n",
                oneChannelReadings, oneChannelBytes / 1048576.0, oneChannelMiB, kMemoryGoalMiB);
    std::printf("redraw of a %d x %d view, six strips (median of 15; goal <= %.0f ms):\n", kWidth, kHeight,
                kRedrawGoalMs);
    for (const Span& s : kSpans) {
        const Redraw r = RedrawMs(*store, s.ms);
        std::printf("  %-6s %6.2f ms wall, %6.2f ms CPU\n", s.name, r.wallMs, r.cpuMs);
    }
    std::fflush(stdout);

    g_store = store.get();
    for (const Span& s : kSpans)
        benchmark::RegisterBenchmark((std::string("BM_Redraw/") + s.name).c_str(), BM_Redraw, s.ms)
            ->Unit(benchmark::kMillisecond);
    int benchArgc = static_cast<int>(rest.size());
    benchmark::Initialize(&benchArgc, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
