// Which bus the board library talks to: the simulated bus of the file that
// KESTRANE_SIMULATION names, or the real HID devices through hidapi.
#pragma once

#include <memory>

#include "hid_transport.h"

namespace kestrane::board {

std::unique_ptr<HidTransport> TransportFromEnvironment();

}  // namespace kestrane::board
