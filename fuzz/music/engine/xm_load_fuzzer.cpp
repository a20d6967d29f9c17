// Feeds arbitrary bytes to the XM loader and, when they load, renders the
// first two seconds of the song and its end without loop.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "music/engine/xm_renderer.h"
#include "music/engine/xm_song.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrane::music::engine::XmLoadResult loaded =
        kestrane::music::engine::LoadXm(std::span<const uint8_t>(data, size));
    if (!loaded.ok()) return 0;
    auto song = std::make_shared<const kestrane::music::engine::XmSong>(std::move(loaded.song));
    // The first byte picks looping or not so both end paths are explored.
    kestrane::music::engine::XmRenderer renderer(song, size > 0 && (data[0] & 1) != 0);
    std::array<int16_t, kestrane::music::engine::kXmBlockSamples> block{};
    for (int i = 0; i < 94 && renderer.RenderBlock(block); ++i) {}
    return 0;
}
