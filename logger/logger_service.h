// The headless logger: the client's own core (Connect, the 50 ms polling
// and trigger timers, the per-channel logging timers) driven by a view
// without widgets, plus the open-data rows, the metrics file, the retry
// after a board loss and the orderly stop on a signal or after a while.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "logger/logger_options.h"

namespace kestrane::logger {

// How often a lost board is looked for again.
inline constexpr int kRetryPeriodMs = 2000;

// Runs the logger inside an existing QCoreApplication until the duration
// ends or SIGTERM/SIGINT arrives; returns the exit status (kExitOk, or
// kExitSettings when it could not start).
int RunLogger(const LoggerOptions& options);

}  // namespace kestrane::logger
