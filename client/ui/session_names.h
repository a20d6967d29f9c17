// The window is a thin shell over the acquisition session: inside
// kestrane::ui the session's names (AcquisitionSession, the timer ids, the start-up
// rules, the channel saves) are used as the window's own.
#pragma once

namespace kestrane::core {}

namespace kestrane::ui {
using namespace kestrane::core;
}  // namespace kestrane::ui
