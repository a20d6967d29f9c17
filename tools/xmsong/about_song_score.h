// The music module the About box plays, composed in code: synthesised
// instruments and a short looping tune, turned into XM bytes by the writer.
#pragma once

#include "xm_writer.h"

namespace kestrane::xmsong {

// The song: six channels (lead, bass, two pads, drums, hats), six orders
// of 64 rows at speed 6 and 125 BPM (about 46 s), looping to order 1.
xmw::Song ComposeAboutSong();

}  // namespace kestrane::xmsong
