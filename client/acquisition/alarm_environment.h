// The environment an alarm's program is started with: which board,
// channel and band, the reading as a plain number and whether the band
// fired or returned to normal. The argument list stays empty, so the
// context travels here.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "acquisition/trigger_engine.h"

namespace kestrane {

// KESTRANE_BOARD, KESTRANE_CHANNEL, KESTRANE_NAME, KESTRANE_VALUE (plain
// number, "-0.5"; empty when the reading showed none), KESTRANE_BAND ("high"
// or "low") and KESTRANE_EVENT ("alarm" or "return"). NUL characters,
// which no environment can carry, are dropped.
std::vector<std::pair<std::string, std::string>> AlarmEnvironment(const AlarmContext& context);

}  // namespace kestrane
