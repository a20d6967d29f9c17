#include "bench_support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "settings/installer.h"
#include "settings/settings_database.h"
#include "settings/statements.h"

namespace kestrane::bench {

long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold blanks; the fields follow its end.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 > text.size()) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    long long utime = 0, stime = 0;
    if (!(fields >> utime >> stime)) return -1;
    return utime + stime;
}

double ProcessCpuSeconds(pid_t pid) {
    const long long ticks = CpuTicks(pid);
    if (ticks < 0) return 0.0;
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long long StatusKiB(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::atoll(line.c_str() + key.size() + 1);
    return -1;
}

BoardSettings PolledBoard() {
    BoardSettings b;
    for (int n = 0; n < kChannelCount; ++n) {
        auto& c = b.channels[static_cast<std::size_t>(n)];
        c = MeasuringChannel("YES", "Channel " + std::to_string(n + 1), "1", "4", kVoltmeterModeText);
        c.logInterval = "1 Secs";
    }
    return b;
}

bool MakeBoardDatabase(const std::string& db, const BoardSettings& board, bool withLogging,
                       bool makeDefault) {
    std::string error;
    if (!CreateSettingsDatabase(db, error)) return false;
    SettingsDatabase d;
    if (!d.Open(DefaultConnectionString(db)).ok()) return false;
    if (d.Execute(InsertStatement(kBoardVid, "000A")) != ExecStatus::Ok) return false;
    if (makeDefault) d.Execute(SetDefaultStatement(d.IdentifierQuote(), kBoardVid, "000A"));
    for (int n = 1; n <= kChannelCount; ++n) {
        if (!d.SaveOptions(n, "000A", board)) return false;
        if (withLogging && !d.SaveLogging(n, "000A", board)) return false;
    }
    return true;
}

}  // namespace kestrane::bench
