// CPU use and resident memory of kestrane-logger while it polls a
// simulated board with all six channels on, a logged channel, an alarm
// band, CSV, JSON Lines and a metrics file. Runs the real program and
// reads its use from /proc. Under ctest it runs briefly; by hand:
//   logger_bench [--seconds=N]      (default 20)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;
using kestrane::bench::CpuTicks;
using kestrane::bench::StatusKiB;
constexpr double kCpuGoalPercent = 1.0;
constexpr double kMemoryGoalMiB = 20.0;

// Six polled channels, a high band on each, the first one logged.
bool MakeSettings(const std::string& db, const std::string& dir) {
    kestrane::BoardSettings b = kestrane::bench::PolledBoard();
    for (int n = 0; n < kestrane::kChannelCount; ++n) {
        auto& c = b.channels[static_cast<std::size_t>(n)];
        c.highEnable = "ENABLED";
        c.highTriggerMax = "100";
        c.highTriggerMin = "90";
        c.highTestEvery = "One Shot";
        c.logEnabled = n == 0 ? "YES" : "NO";
        c.logSize = "1 Megabyte";
        c.logPath = dir + "/";
        c.logFileName = "ch1.log";
    }
    return kestrane::bench::MakeBoardDatabase(db, b, true, true);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--benchmark_min_time", 0) == 0) seconds = 3;  // ctest's brief run
        if (a.rfind("--seconds=", 0) == 0) seconds = std::atof(a.c_str() + 10);
    }
    if (seconds < 2) seconds = 2;
    char pattern[] = "/tmp/kestrane-logger-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return 1;
    const std::string dir = pattern;
    const std::string sim = dir + "/board.sim";
    std::ofstream(sim) << "[device]\nproduct-id = 000A\nchannel1 = 12.6 + sine(0.1, 20)\nchannel2 = 5\n"
                          "channel3 = 0.0375\nchannel4 = ramp(0, 24, 60)\nchannel5 = -11.95\nchannel6 = 11\n";
    if (!MakeSettings(dir + "/s.MDB", dir)) {
        std::fprintf(stderr, "logger_bench: cannot make the settings database\n");
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("KESTRANE_SIMULATION", sim.c_str(), 1);
        // A runtime folder of its own: the board's owner lock of another
        // logger running beside the benchmark (a test, a user's service)
        // would otherwise make this one refuse to start.
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        ::unsetenv("KESTRANE_ODBC");
        const std::string db = dir + "/s.MDB", csv = dir + "/r.csv", jsonl = dir + "/r.jsonl";
        ::execl(KESTRANE_LOGGER_PROGRAM, "kestrane-logger", "--database", db.c_str(), "--csv", csv.c_str(),
                "--jsonl", jsonl.c_str(), "--metrics-dir", dir.c_str(), "--quiet",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Start-up (database, first Connect) is left out: the goal is steady polling.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const long long ticks0 = CpuTicks(child);
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const long long ticks1 = CpuTicks(child);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const long long rss = StatusKiB(child, "VmRSS");
    const long long peak = StatusKiB(child, "VmHWM");
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);

    std::size_t rows = 0;
    {
        std::ifstream in(dir + "/r.jsonl");
        std::string line;
        while (std::getline(in, line)) ++rows;
    }
    fs::remove_all(dir);
    if (ticks0 < 0 || ticks1 < 0 || rss < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "logger_bench: the logger did not run as expected (status %d)\n", status);
        return 1;
    }
    const double cpu =
        100.0 * static_cast<double>(ticks1 - ticks0) / static_cast<double>(::sysconf(_SC_CLK_TCK)) / elapsed;
    const double passes = static_cast<double>(rows) / (elapsed + 1.0);
    std::printf("kestrane-logger over %.1f s: about %.0f polling passes/s (%zu rows)\n", elapsed, passes,
                rows);
    std::printf("CPU use while polling: %.2f %% of one core (goal < %.0f %%: %.2f of the goal)\n", cpu,
                kCpuGoalPercent, cpu / kCpuGoalPercent);
    std::printf("resident memory: %.1f MiB, peak %.1f MiB (goal < %.0f MiB: %.2f of the goal)\n",
                rss / 1024.0, peak / 1024.0, kMemoryGoalMiB, peak / 1024.0 / kMemoryGoalMiB);
    return 0;
}
