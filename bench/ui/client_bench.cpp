// Speed of the client: start-up to a shown main window (offscreen), one
// polling pass (board exchange over the simulated bus, conversion and
// display), and the polling rate the window timers reach, as a ratio of
// the nominal 20 passes per second.
//   --poll-seconds=N  how long the rate is measured (default 10)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

double g_pollSeconds = 10.0;

const char* const kSimulation =
    "[device]\nproduct-id = 000A\n"
    "channel1 = 12.6 + sine(0.05, 40)\nchannel2 = 5.02 + noise(0.004)\nchannel3 = 0.0375\n"
    "channel4 = ramp(0, 24, 60)\nchannel5 = -11.95\nchannel6 = 11 + sine(1.5, 30)\n";

struct NoTasks final : ChannelTasks {
    void TriggerCheck(const std::string&, int, const ChannelSettings&, ChannelState&) override {}
    void WriteLogRecord(int, const ChannelSettings&, const ChannelState&) override {}
    int LogPeriodMs(const ChannelSettings&, ChannelState&) override { return 0; }
};

struct Bench {
    RecordingMessages messages;
    FakeUrlOpener urls;
    NoDialogs dialogs;
    NoTasks tasks;  // alarms and logs are not what is measured here
    std::unique_ptr<ClientSession> session;

    bool Start() {
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        services.tasks = &tasks;
        services.addDeviceRunner = [](AddMode) { return false; };
        session = ClientSession::Start(services);
        if (!session) return false;
        session->window().show();
        return QTest::qWaitForWindowExposed(&session->window());
    }
};

std::string Installation() {
    static std::string program;
    if (program.empty()) {
        BoardSettings s;
        for (int n = 0; n < kChannelCount; ++n) {
            s.channels[static_cast<std::size_t>(n)] =
                MakeChannel("YES", "Channel", "1", "3", n == 2 ? "ADC" : "VDC");
            s.channels[static_cast<std::size_t>(n)].amp = "50";
            s.channels[static_cast<std::size_t>(n)].millivolt = "75";
        }
        std::string error;
        program = MakeInstallation({{"000A", true, s}}, error);
        if (program.empty()) std::fprintf(stderr, "installation failed: %s\n", error.c_str());
    }
    return program;
}

void BM_StartupToShownWindow(benchmark::State& state) {
    const std::string program = Installation();
    SetInstalledProgram(program);
    for (auto _ : state) {
        Bench b;
        if (!b.Start()) {
            state.SkipWithError("start-up failed");
            return;
        }
        state.PauseTiming();
        b.session.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetLabel("ms per start");
}
BENCHMARK(BM_StartupToShownWindow)->Unit(benchmark::kMillisecond);

void BM_OnePollingPass(benchmark::State& state) {
    SetInstalledProgram(Installation());
    Bench b;
    if (!b.Start()) {
        state.SkipWithError("start-up failed");
        return;
    }
    MainWindow& w = b.session->window();
    w.OnConnect();
    // No events are processed inside the loop, so the window's own timers
    // never fire: each iteration is exactly one pass, driven directly.
    AcquisitionSession& core = w.core();
    for (auto _ : state) {
        core.OnTimer(kTimerPolling);
        if (!b.messages.shown.empty()) {
            state.SkipWithError("the board did not answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OnePollingPass)->Unit(benchmark::kMicrosecond);

void BM_PollingRate(benchmark::State& state) {
    SetInstalledProgram(Installation());
    for (auto _ : state) {
        Bench b;
        if (!b.Start()) {
            state.SkipWithError("start-up failed");
            return;
        }
        MainWindow& w = b.session->window();
        auto* request = w.findChild<QLineEdit*>("currentRequest");
        long passes = 0;
        QObject::connect(request, &QLineEdit::textChanged, [&passes] { ++passes; });
        w.OnConnect();
        // A real event loop, as the program runs one: the process sleeps
        // between its timers, so the CPU column is the polling's own cost.
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(g_pollSeconds * 1000.0), &loop, &QEventLoop::quit);
        loop.exec();
        const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        w.OnDisconnect();
        state.counters["passes_per_s"] = static_cast<double>(passes) / seconds;
        state.counters["ratio_to_nominal"] = static_cast<double>(passes) / seconds / 20.0;
        if (!b.messages.shown.empty()) state.SkipWithError("the board did not answer");
    }
}
BENCHMARK(BM_PollingRate)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--poll-seconds=", 15) == 0) {
            const double s = std::atof(argv[i] + 15);
            if (s > 0 && s < 3600) g_pollSeconds = s;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    PrepareProcessEnvironment();
    WriteSimulation(kSimulation);
    QApplication app(count, args.data());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
