// The headless logger: the client's own acquisition session (Connect, the
// 50 ms polling and trigger timers, the per-channel logging timers, the
// search for a lost board) on plain Qt timers, plus the open-data rows,
// the metrics file and the orderly stop on a signal or after a while.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "logger/logger_options.h"

namespace kestrane::logger {

// Runs the logger inside an existing QCoreApplication until the duration
// ends or SIGTERM/SIGINT arrives; returns the exit status (kExitOk, or
// kExitSettings when it could not start).
int RunLogger(const LoggerOptions& options);

}  // namespace kestrane::logger
