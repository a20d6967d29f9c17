// CPU per ReadKestrane exchange on the real hidraw path (the least of five
// rounds of N/5 exchanges), against a board emulated in a umockdev testbed
// with 0, 5 and 20 other HID devices on the bus, and the ratio of 20 to 0
// (goal: within 20 %, a polling program's cost must not grow with the
// machine's HID devices). Optionally the CPU share of kestrane-logger
// polling the board with 0 and 20 other devices. Runs with umockdev's
// preload library, as ctest starts it:
//   hidraw_bench [--exchanges=N] [--logger-seconds=S]
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "emulated_bus.h"
#include "kestrane_dll.h"
#include "reading_word.h"
#include "temp_dir.h"

extern char** environ;

namespace {

using kestrane::bench::ProcessCpuSeconds;
using kestrane::test::EmulatedDevice;
using kestrane::test::EmulatedHidBus;

constexpr double kRatioGoal = 1.20;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

bool MakeSettings(const std::string& db) {
    return kestrane::bench::MakeBoardDatabase(db, kestrane::bench::PolledBoard(), false, false);
}

// The logger's CPU share of one core while it polls the board.
double LoggerCpuPercent(const std::string& db, int seconds) {
    const std::string program = KESTRANE_LOGGER_PROGRAM;
    std::vector<std::string> args = {program, "--database", db, "--board", "000A", "--quiet"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1.0;
    // Past the start-up (database, first connect) before measuring.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double before = ProcessCpuSeconds(pid);
    const auto from = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double used = ProcessCpuSeconds(pid) - before;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return 100.0 * used / wall;
}

int IntArg(int argc, char** argv, const char* name, int fallback) {
    const size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=') return std::atoi(argv[i] + n + 1);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    unsetenv("KESTRANE_SIMULATION");
    const int exchanges = std::max(1, IntArg(argc, argv, "--exchanges", 400));
    const int loggerSeconds = IntArg(argc, argv, "--logger-seconds", 0);
    const kestrane::test::TempDir folder("kestrane-hidraw-bench");
    const std::string db = folder.File("bench.MDB");
    if (loggerSeconds > 0 && !MakeSettings(db)) {
        std::fprintf(stderr, "hidraw_bench: cannot make the settings database\n");
        return 1;
    }

    EmulatedHidBus bus;
    if (!EmulatedHidBus::InMockEnvironment()) {
        std::fprintf(stderr,
                     "hidraw_bench: run it with umockdev's preload library (see ctest's environment)\n");
        return 1;
    }
    EmulatedDevice board;
    board.productId = 0x000A;
    board.words.fill(kestrane::board::VoltsToWord(12.6));
    bus.Add(board);
    int decoys = 0;
    double cpuAtZero = 0.0;
    double cpuAtTwenty = 0.0;
    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    for (const int wanted : {0, 5, 20}) {
        for (; decoys < wanted; ++decoys) {
            EmulatedDevice other;
            other.vendorId = 0x046D;
            other.productId = static_cast<uint16_t>(0xC500 + decoys);
            other.manufacturer = "Other";
            other.product = "Input device " + std::to_string(decoys);
            other.board = false;
            bus.Add(other);
            // umockdev drops the test when a listener's queue of uevents
            // overflows: the library reads its notices at each call.
            ReadKestrane(0x000A, 1, 0, text.data());
        }
        // The arrivals are announced; the first call after them walks once.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (int i = 0; i < 10; ++i) ReadKestrane(0x000A, 1 + i % 6, 0, text.data());
        // The least of a few rounds: other work on the machine only ever
        // adds to a round's time.
        constexpr int kRounds = 5;
        const int perRound = std::max(1, exchanges / kRounds);
        int failed = 0;
        double cpu = 0.0;
        double wall = 0.0;
        for (int round = 0; round < kRounds; ++round) {
            const double cpuFrom = ThreadCpuSeconds();
            const auto wallFrom = std::chrono::steady_clock::now();
            for (int i = 0; i < perRound; ++i) failed += ReadKestrane(0x000A, 1 + i % 6, 0, text.data()) != 1;
            const double roundCpu = (ThreadCpuSeconds() - cpuFrom) / perRound * 1000.0;
            const double roundWall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wallFrom).count() /
                perRound * 1000.0;
            if (round == 0 || roundCpu < cpu) cpu = roundCpu;
            if (round == 0 || roundWall < wall) wall = roundWall;
        }
        std::printf("%2d other HID devices: %.4f ms CPU per exchange (%.4f ms wall), %d failed\n", wanted,
                    cpu, wall, failed);
        if (wanted == 0) cpuAtZero = cpu;
        if (wanted == 20) cpuAtTwenty = cpu;
        if (loggerSeconds > 0 && (wanted == 0 || wanted == 20)) {
            std::printf("   kestrane-logger with %d other HID devices: %.2f%% of a core\n", wanted,
                        LoggerCpuPercent(db, loggerSeconds));
        }
        std::fflush(stdout);
    }
    const double ratio = cpuAtZero > 0.0 ? cpuAtTwenty / cpuAtZero : 0.0;
    std::printf("CPU per exchange, 20 other devices to none: %.2f (goal <= %.2f)%s\n", ratio, kRatioGoal,
                ratio <= kRatioGoal ? "" : "  ** over the goal **");
    return 0;
}
