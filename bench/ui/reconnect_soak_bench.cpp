// A soak of the client left alone with Reconnect Automatically on: the real
// program Kestrane (offscreen) polls a simulated board that goes away and
// comes back once a cycle. Prints, per cycle, how long after the board's
// return the client saw it answer and wrote its first new log record, and
// the client's CPU use and resident memory, then the first cycle against
// the last: both should stay flat over the run.
//   reconnect_soak_bench [--cycles=N] [--cycle-seconds=S] [--lost-seconds=L]
// The defaults are 15 cycles of 120 s with the board gone for 10 s of each
// (30 minutes), plus 0 to 1.5 s so the return meets the client's retry
// period at different points; ctest runs two short cycles.
#include <unistd.h>

#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logger_test_support.h"

namespace {

using namespace kestrane;
using namespace kestrane::test;
using Clock = std::chrono::steady_clock;

const char* const kBoard =
    "[device]\nproduct-id = 000A\nchannel1 = 12.6 + sine(0.05, 40)\nchannel2 = 5.02\nchannel3 = 0.0375\n"
    "channel4 = ramp(0, 24, 60)\nchannel5 = -11.95\nchannel6 = 11\n";
const char* const kNoBoard = "[device]\nproduct-id = 000A\nfault = absent\n";

struct Options {
    int cycles = 15;
    double cycleSeconds = 120;
    double lostSeconds = 10;
};

struct Usage {
    long long cpuTicks = -1;
    long long rssKiB = -1;
};

Usage UsageOf(qint64 pid) {
    Usage u;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(text.substr(close + 2));
        std::string skip;
        for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
        long long utime = 0, stime = 0;
        if (fields >> utime >> stime) u.cpuTicks = utime + stime;
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) u.rssKiB = std::atoll(line.c_str() + 6);
    return u;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

Clock::time_point After(Clock::time_point t, double seconds) {
    return t + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// The client's merged output, read as it comes: waits for `needle` after
// what was already matched.
class ClientOutput {
public:
    explicit ClientOutput(QProcess& p) : process_(p) {}
    bool WaitFor(const std::string& needle, double seconds) {
        const auto end = After(Clock::now(), seconds);
        for (;;) {
            const std::size_t at = text_.find(needle, from_);
            if (at != std::string::npos) {
                from_ = at + needle.size();
                return true;
            }
            const int leftMs = static_cast<int>(Ms(end - Clock::now()));
            if (leftMs <= 0 || process_.state() != QProcess::Running) return false;
            process_.waitForReadyRead(std::min(leftMs, 50));
            text_ += process_.readAll().toStdString();
        }
    }
    const std::string& text() const { return text_; }

private:
    QProcess& process_;
    std::string text_;
    std::size_t from_ = 0;
};

std::uintmax_t SizeOf(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t n = fs::file_size(path, ec);
    return ec ? 0 : n;
}

// Waits up to `seconds` for the file to grow past `size`, checking every 5 ms.
bool Grows(const std::string& path, std::uintmax_t size, double seconds) {
    const auto end = After(Clock::now(), seconds);
    while (Clock::now() < end) {
        if (SizeOf(path) > size) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void SleepUntil(Clock::time_point t) { std::this_thread::sleep_until(t); }

struct CycleFigures {
    double answerMs = 0;
    double recordMs = 0;
    double cpuPercent = 0;
    double rssMiB = 0;
};

int Fail(const char* what, const ClientOutput& out) {
    std::fprintf(stderr, "reconnect_soak_bench: %s\n--- client output ---\n%s\n", what, out.text().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--cycles=", 0) == 0) o.cycles = std::max(1, std::atoi(a.c_str() + 9));
        if (a.rfind("--cycle-seconds=", 0) == 0) o.cycleSeconds = std::atof(a.c_str() + 16);
        if (a.rfind("--lost-seconds=", 0) == 0) o.lostSeconds = std::atof(a.c_str() + 15);
    }
    // The board must be back long enough to be found (a retry every 2 s)
    // and to write records again.
    if (o.lostSeconds < 1) o.lostSeconds = 1;
    if (o.cycleSeconds < o.lostSeconds + 6) o.cycleSeconds = o.lostSeconds + 6;

    TempDir dir("kestrane-soak");
    if (dir.path().empty()) return 1;
    const std::string root = dir.path().string();
    const std::string sim = dir.File("board.sim");
    const std::string log = dir.File("logs/ch1.log");
    WriteText(sim, kBoard);
    BoardSettings board;
    for (int n = 0; n < kChannelCount; ++n)
        board.channels[static_cast<std::size_t>(n)] =
            PlainChannel(("Ch" + std::to_string(n + 1)).c_str(), "4");
    board.channels[0].logEnabled = "YES";
    board.channels[0].logPath = dir.File("logs/");
    board.channels[0].logFileName = "ch1.log";
    InstallClient(root, {{"000A", board}});
    if (!fs::exists(dir.File("app/Kestrane.MDB"))) {
        std::fprintf(stderr, "reconnect_soak_bench: cannot make the settings database\n");
        return 1;
    }

    QProcess client;
    client.setProcessEnvironment(ChildEnvironment(sim, dir.File("config")));
    client.setProcessChannelMode(QProcess::MergedChannels);
    ClientOutput out(client);
    client.start(QString::fromStdString(ClientProgram()), {"--connect", "--reconnect"});
    if (!client.waitForStarted(10000)) return Fail("the client did not start", out);
    if (!Grows(log, 0, 20)) return Fail("no log record after the start", out);
    const qint64 pid = client.processId();
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));

    std::printf("Kestrane --connect --reconnect: %d cycles of %.0f s, the board gone for %.0f s of each\n",
                o.cycles, o.cycleSeconds, o.lostSeconds);
    std::printf("cycle  answer after return  first record after return  CPU (%% of a core)  RSS (MiB)\n");
    std::vector<CycleFigures> figures;
    for (int cycle = 1; cycle <= o.cycles; ++cycle) {
        const auto start = Clock::now();
        const Usage before = UsageOf(pid);
        // The board stays for the first part of the cycle, then goes.
        SleepUntil(After(start, o.cycleSeconds - o.lostSeconds - 5));
        WriteText(sim, kNoBoard);
        if (!out.WaitFor("board 000A lost at ", 10)) return Fail("the loss was not reported", out);
        const std::uintmax_t lostSize = SizeOf(log);
        // The return falls at another point of the client's 2 s retry
        // period each cycle, as a replugged cable would.
        SleepUntil(After(Clock::now(), o.lostSeconds + 0.5 * ((cycle - 1) % 4)));
        if (SizeOf(log) != lostSize) return Fail("a record was written while the board was gone", out);

        WriteText(sim, kBoard);
        const auto back = Clock::now();
        CycleFigures f;
        if (!out.WaitFor("board 000A back at ", 10)) return Fail("the return was not reported", out);
        f.answerMs = Ms(Clock::now() - back);
        if (!Grows(log, lostSize, 10)) return Fail("no record after the return", out);
        f.recordMs = Ms(Clock::now() - back);
        SleepUntil(After(start, o.cycleSeconds));

        const Usage after = UsageOf(pid);
        if (before.cpuTicks < 0 || after.cpuTicks < 0 || after.rssKiB < 0)
            return Fail("the client ended during the soak", out);
        f.cpuPercent = 100.0 * static_cast<double>(after.cpuTicks - before.cpuTicks) / tick /
                       std::chrono::duration<double>(Clock::now() - start).count();
        f.rssMiB = static_cast<double>(after.rssKiB) / 1024.0;
        figures.push_back(f);
        std::printf("%5d  %16.0f ms  %22.0f ms  %17.2f  %9.1f\n", cycle, f.answerMs, f.recordMs, f.cpuPercent,
                    f.rssMiB);
        std::fflush(stdout);
    }
    client.terminate();
    client.waitForFinished(10000);

    const CycleFigures& first = figures.front();
    const CycleFigures& last = figures.back();
    double worstAnswer = 0, worstRecord = 0;
    for (const CycleFigures& f : figures) {
        worstAnswer = std::max(worstAnswer, f.answerMs);
        worstRecord = std::max(worstRecord, f.recordMs);
    }
    std::printf("CPU: %.2f %% of a core in the first cycle, %.2f %% in the last\n", first.cpuPercent,
                last.cpuPercent);
    std::printf("resident memory: %.1f MiB after the first cycle, %.1f MiB after the last (%+.1f MiB)\n",
                first.rssMiB, last.rssMiB, last.rssMiB - first.rssMiB);
    std::printf(
        "resume delay: board answered within %.0f ms, first new record within %.0f ms of its return\n",
        worstAnswer, worstRecord);
    return 0;
}
