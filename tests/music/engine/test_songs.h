// Tiny modules for the engine's tests, built with the XM writer, and helpers
// that load them and step the renderer tick by tick.
#pragma once

#include <memory>
#include <vector>

#include "music/engine/xm_renderer.h"
#include "music/engine/xm_song.h"
#include "xm_writer.h"

namespace kestrane::music::engine::xmtest {

// A constant (DC) sample of the given value and length, optionally looped.
xmw::Sample DcSample(int16_t value, uint32_t length, uint8_t loopType = 1, bool sixteenBit = true);

// One instrument whose every note plays `sample`.
xmw::Instrument InstrumentWith(xmw::Sample sample);

// A one-pattern song of `channels` channels whose rows are given per row for
// channel 0 (other channels empty), with one DC-sample instrument.
xmw::Song OneChannelSong(const std::vector<xmw::Cell>& rows, int speed = 6, int tempo = 125);

// Loads module bytes made by the writer; fails the current test on error.
std::shared_ptr<const XmSong> Load(const xmw::Song& song);

// Runs the renderer to the start of the next tick (the tick's processing has
// happened, none of its frames are mixed yet).
void NextTick(XmRenderer& r);
// Mixes `frames` frames and returns the accumulator.
std::vector<int64_t> Mix(XmRenderer& r, size_t frames);

}  // namespace kestrane::music::engine::xmtest
