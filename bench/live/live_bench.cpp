// The live view's store and drawing at their worst: 24 hours of readings at
// the full polling rate (20 a second, shared by the six channels), the
// store's resident memory against its 32 MiB goal, and the time to redraw
// a 1366 pixel wide view of all six strips at every span against 5 ms:
// the steady redraw (one new reading per channel since the last one, as the
// window sees at its refresh rate) and the cold one (the first after a span
// change). Both go through the painter the window uses, image included.
//   --hours=N   hours of readings to store (default 24)
//   --draws=N   redraws measured per span and kind (default 41)
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
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
int g_draws = 41;
constexpr int kWidth = 1366;
constexpr int kHeight = 700;
constexpr int64_t kStart = 1'796'700'000'000LL;
constexpr int64_t kTickMs = 50;
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

// The polling loop: a tick every 50 ms, the channels taking the ticks in
// turn, with a lost board (a gap) every three hours.
class Poller {
public:
    Poller(TrendStore& store, int channels) : store_(store), channels_(channels) {}

    void Tick() {
        const int64_t t = kStart + tick_ * kTickMs;
        const int channel = 1 + static_cast<int>(tick_ % channels_);
        if (tick_ > 0 && tick_ % (3 * 3600 * 20) == 0) store_.Gap(t);
        const double v =
            12.0 + channel + 2.0 * std::sin(static_cast<double>(tick_) / 4000.0) + (tick_ % 17) * 0.001;
        store_.Add(channel, t, v, channel == 3 ? Unit::Amperes : Unit::Volts, 3);
        ++tick_;
    }

private:
    TrendStore& store_;
    int channels_;
    int64_t tick_ = 0;
};

void Fill(Poller& poller) {
    const auto ticks = static_cast<int64_t>(g_hours * 3600 * 20);
    for (int64_t i = 0; i < ticks; ++i) poller.Tick();
}

std::vector<StripChannel> AllChannels() {
    std::vector<StripChannel> out;
    for (int n = 1; n <= 6; ++n)
        out.push_back(
            {n, QStringLiteral("Voltmeter %1").arg(n), n == 3 ? "A" : "V", QStringLiteral("+ 12.345")});
    return out;
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double WallMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The window's redraw: the newest reading at the right edge.
void Redraw(StripPainter& painter, QImage& image, const TrendStore& store,
            const std::vector<StripChannel>& channels, int64_t spanMs) {
    painter.Paint(image, store, channels, {store.newestMs() + 1, spanMs});
}

struct Times {
    double wallMs;
    double cpuMs;
};

// Medians: the wall time, and the thread's CPU time, which a machine busy
// with other work does not inflate by preemption.
Times Median(std::vector<double> wall, std::vector<double> cpu) {
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

// Steady: a painter that has drawn this span before, one new reading per
// channel before each redraw.
Times SteadyMs(TrendStore& store, Poller& poller, int64_t spanMs) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    StripPainter painter;
    const std::vector<StripChannel> channels = AllChannels();
    Redraw(painter, image, store, channels, spanMs);
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < g_draws; ++i) {
        for (int c = 0; c < 6; ++c) poller.Tick();
        const double w0 = WallMs();
        const double c0 = ThreadCpuMs();
        Redraw(painter, image, store, channels, spanMs);
        cpu.push_back(ThreadCpuMs() - c0);
        wall.push_back(WallMs() - w0);
    }
    return Median(wall, cpu);
}

// Cold: each measured redraw follows one at another span.
Times ColdMs(const TrendStore& store, int64_t spanMs) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    StripPainter painter;
    const std::vector<StripChannel> channels = AllChannels();
    const int64_t other = spanMs == kSpans[0].ms ? kSpans[1].ms : kSpans[0].ms;
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < std::max(1, g_draws / 4); ++i) {
        Redraw(painter, image, store, channels, other);
        const double w0 = WallMs();
        const double c0 = ThreadCpuMs();
        Redraw(painter, image, store, channels, spanMs);
        cpu.push_back(ThreadCpuMs() - c0);
        wall.push_back(WallMs() - w0);
    }
    return Median(wall, cpu);
}

TrendStore* g_store = nullptr;
Poller* g_poller = nullptr;

void BM_SteadyRedraw(benchmark::State& state, int64_t spanMs) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    StripPainter painter;
    const std::vector<StripChannel> channels = AllChannels();
    for (auto _ : state) {
        state.PauseTiming();
        for (int c = 0; c < 6; ++c) g_poller->Tick();
        state.ResumeTiming();
        Redraw(painter, image, *g_store, channels, spanMs);
        benchmark::DoNotOptimize(image.constBits());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--hours=", 8) == 0)
            g_hours = std::atof(argv[i] + 8);
        else if (std::strncmp(argv[i], "--draws=", 8) == 0)
            g_draws = std::max(1, std::atoi(argv[i] + 8));
        else
            rest.push_back(argv[i]);
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    const double before = ResidentMiB();
    auto oneChannel = std::make_unique<TrendStore>();
    {
        Poller poller(*oneChannel, 1);
        Fill(poller);
    }
    const double oneChannelMiB = ResidentMiB() - before;
    const std::size_t oneChannelBytes = oneChannel->MemoryBytes();
    const std::size_t oneChannelReadings = oneChannel->storedReadings();
    oneChannel.reset();

    const double beforeAll = ResidentMiB();
    auto store = std::make_unique<TrendStore>();
    Poller poller(*store, 6);
    Fill(poller);
    const double allMiB = ResidentMiB() - beforeAll;
    bool met = allMiB <= kMemoryGoalMiB && oneChannelMiB <= kMemoryGoalMiB;
    std::printf("live store, %.1f h at 20 readings/s:\n", g_hours);
    std::printf("  six channels: %zu readings, %.1f MiB held, %.1f MiB resident growth (goal <= %.0f MiB)\n",
                store->storedReadings(), store->MemoryBytes() / 1048576.0, allMiB, kMemoryGoalMiB);
    std::printf("  one channel:  %zu readings, %.1f MiB held, %.1f MiB resident growth (goal <= %.0f MiB)\n",
                oneChannelReadings, oneChannelBytes / 1048576.0, oneChannelMiB, kMemoryGoalMiB);
    std::printf(
        "redraw of a %d x %d view, six strips, CPU ms per redraw (wall in brackets), medians;\n"
        "goal <= %.0f ms CPU:\n",
        kWidth, kHeight, kRedrawGoalMs);
    std::printf("  %-6s %20s %20s\n", "span", "steady", "cold");
    for (const Span& s : kSpans) {
        const Times steady = SteadyMs(*store, poller, s.ms);
        const Times cold = ColdMs(*store, s.ms);
        const bool ok = steady.cpuMs <= kRedrawGoalMs && cold.cpuMs <= kRedrawGoalMs;
        met = met && ok;
        std::printf("  %-6s %7.2f (%7.2f) ms %7.2f (%7.2f) ms  %s\n", s.name, steady.cpuMs, steady.wallMs,
                    cold.cpuMs, cold.wallMs, ok ? "met" : "NOT MET");
    }
    std::printf("goals %s\n", met ? "met" : "NOT MET");
    std::fflush(stdout);

    g_store = store.get();
    g_poller = &poller;
    for (const Span& s : kSpans)
        benchmark::RegisterBenchmark((std::string("BM_SteadyRedraw/") + s.name).c_str(), BM_SteadyRedraw,
                                     s.ms)
            ->Unit(benchmark::kMillisecond);
    int benchArgc = static_cast<int>(rest.size());
    benchmark::Initialize(&benchArgc, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
