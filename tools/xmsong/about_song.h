// The bytes of the XM module the About box plays. They are generated at
// build time by kestrane-xmsong from the score in about_song_score.cpp.
#pragma once

#include <cstdint>
#include <span>

namespace kestrane::music {

std::span<const std::uint8_t> AboutSongBytes();

}  // namespace kestrane::music
