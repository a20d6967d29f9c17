// A fixed set of generated modules that exercise the renderer hard: dense
// worst cases (tiny loops at top pitch, retriggers every tick, clipping) and
// songs shaped like real tracker music at 4, 8 and 22 channels. The render
// hash test and the speed benchmarks share them, so both see the same songs.
#pragma once

#include <string>
#include <vector>

#include "xm_writer.h"

namespace kestrane::xmw {

struct CorpusSong {
    std::string name;
    Song song;
    bool worstCase = false;  // a dense stress case rather than a song-like one
};

// Every song is built with integer arithmetic only, so its bytes are the same
// on every machine and compiler.
std::vector<CorpusSong> SongCorpus();

// The song-like members alone, by channel count (4, 8 or 22; others give
// the nearest shape with that many channels).
Song RealisticSong(int channels, unsigned seed);

}  // namespace kestrane::xmw
