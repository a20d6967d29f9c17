// Real hardware through hidapi's hidraw backend. Each exchange takes an
// advisory exclusive lock on the hidraw node, so two programs using this
// library never talk to the same board at the same moment, while either may
// keep the node open between its exchanges.
#pragma once

#include <memory>

#include "hid_transport.h"

namespace kestrane::board {

// A transport over hidapi; if hidapi cannot start, Enumerate fails.
std::unique_ptr<HidTransport> MakeHidapiTransport();

}  // namespace kestrane::board
