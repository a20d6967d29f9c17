// What the benchmarks that run a real program share: its CPU time and
// memory read from /proc, and a settings database with one polled board.
#pragma once

#include <sys/types.h>

#include <string>

#include "settings/board_settings.h"

namespace kestrane::bench {

// utime + stime of a process in clock ticks; -1 when it cannot be read.
long long CpuTicks(pid_t pid);
// The same in seconds; 0 when it cannot be read.
double ProcessCpuSeconds(pid_t pid);
// A line of /proc/PID/status in KiB ("VmHWM", "VmRSS"); -1 when missing.
long long StatusKiB(pid_t pid, const std::string& key);

// Six polled voltmeter channels named "Channel 1" to "Channel 6" (adjust 1,
// four places) that only measure, with a logging interval of 1 s.
BoardSettings PolledBoard();

// A new settings database at `db` with board 000A holding `board`'s channel
// options, and its logging settings when `withLogging`; the board is made
// the default one when `makeDefault`. False when any step fails.
bool MakeBoardDatabase(const std::string& db, const BoardSettings& board, bool withLogging, bool makeDefault);

}  // namespace kestrane::bench
