// Each effect's tick-0 and later-tick action on a one-channel song, read from
// the channel state tick by tick; then the effects with more state (note
// delay, key off, envelopes, tone portamento, sample offset).
#include <gtest/gtest.h>

#include <functional>

#include "test_songs.h"

namespace kestrane::music::engine {
namespace {

using xmtest::Load;
using xmtest::NextTick;
using xmw::Cell;

constexpr uint8_t kC4 = 49;  // period 4608 on the linear table
constexpr uint8_t kD4 = 51;  // period 4480

using Field = std::function<int64_t(const XmRenderer&)>;
const Field kPeriod = [](const XmRenderer& r) { return r.Channel(0).period; };
const Field kPeriodOffset = [](const XmRenderer& r) { return r.Channel(0).periodOffset; };
const Field kVolume = [](const XmRenderer& r) { return r.Channel(0).volume; };
const Field kVolumeOffset = [](const XmRenderer& r) { return r.Channel(0).volumeOffset; };
const Field kPanning = [](const XmRenderer& r) { return r.Channel(0).panning; };
const Field kGlobal = [](const XmRenderer& r) { return r.Position().globalVolume; };
const Field kEnvelopeVolume = [](const XmRenderer& r) { return r.Channel(0).envelopeVolume; };
const Field kVoicePosition = [](const XmRenderer& r) {
    const XmChannel& ch = r.Channel(0);
    return ch.voices[ch.currentVoice].position;
};

// Row 0 plays C-4 with instrument 1 (default volume 32, panning 128); row 1
// holds the cell under test, optionally after `setup` on row 0's effect.
xmw::Song EffectSong(const Cell& cell, Cell row0 = Cell{kC4, 1, 0, 0, 0}) {
    xmw::Song s = xmtest::OneChannelSong({row0, cell, Cell{}, Cell{}}, 6, 125);
    s.instruments[0].samples[0].volume = 32;
    return s;
}

// Values of `field` after the processing of ticks 0, 1, 2, ... of `row`.
std::vector<int64_t> TicksOfRow(const xmw::Song& song, int row, const Field& field, size_t ticks) {
    XmRenderer r(Load(song));
    for (int t = 0; t < row * song.speed; ++t) NextTick(r);  // the rows before
    std::vector<int64_t> values;
    for (size_t t = 0; t < ticks; ++t) {
        NextTick(r);
        values.push_back(field(r));
    }
    return values;
}

std::vector<int64_t> TicksOfRow1(const xmw::Song& song, const Field& field, size_t ticks) {
    return TicksOfRow(song, 1, field, ticks);
}

struct EffectCase {
    const char* name;
    Cell cell;
    Field field;
    std::vector<int64_t> expected;
};

TEST(XmEffects, TickZeroAndLaterTicks) {
    const EffectCase cases[] = {
        {"0xy arpeggio", Cell{0, 0, 0, 0x0, 0x37}, kPeriodOffset, {0, -192, -448, 0}},
        {"1xx portamento up", Cell{0, 0, 0, 0x1, 0x02}, kPeriod, {4608, 4600, 4592}},
        {"2xx portamento down", Cell{0, 0, 0, 0x2, 0x02}, kPeriod, {4608, 4616, 4624}},
        {"3xx tone portamento", Cell{kD4, 0, 0, 0x3, 0x10}, kPeriod, {4608, 4544, 4480, 4480}},
        {"4xy vibrato", Cell{0, 0, 0, 0x4, 0x84}, kPeriodOffset, {0, 5, 7, 5}},
        {"5xy portamento and slide", Cell{kD4, 0, 0, 0x5, 0x02}, kVolume, {32, 30, 28}},
        {"5xy keeps the period without speed", Cell{kD4, 0, 0, 0x5, 0x02}, kPeriod, {4608, 4608}},
        {"6xy vibrato and slide", Cell{0, 0, 0, 0x6, 0x20}, kVolume, {32, 34, 36}},
        {"7xy tremolo", Cell{0, 0, 0, 0x7, 0x84}, kVolumeOffset, {0, 0, 11, 15}},
        {"8xx panning", Cell{0, 0, 0, 0x8, 0x40}, kPanning, {0x40, 0x40}},
        {"9xx sample offset", Cell{kC4, 0, 0, 0x9, 0x02}, kVoicePosition, {512}},
        {"Axy slide up", Cell{0, 0, 0, 0xA, 0x20}, kVolume, {32, 34, 36}},
        {"Axy slide down", Cell{0, 0, 0, 0xA, 0x03}, kVolume, {32, 29, 26}},
        {"Axy both nibbles: up wins", Cell{0, 0, 0, 0xA, 0x23}, kVolume, {32, 34, 36}},
        {"Cxx set volume, not limited", Cell{0, 0, 0, 0xC, 0x50}, kVolume, {80, 80}},
        {"Gxx global volume", Cell{0, 0, 0, 16, 0x20}, kGlobal, {32, 32}},
        {"Hxy global slide down", Cell{0, 0, 0, 17, 0x02}, kGlobal, {64, 62, 60}},
        {"Kxx key off without envelope", Cell{0, 0, 0, 20, 0}, kEnvelopeVolume, {0, 0}},
        {"Pxy panning slide right", Cell{0, 0, 0, 25, 0x20}, kPanning, {128, 130, 132}},
        {"Pxy panning slide left", Cell{0, 0, 0, 25, 0x03}, kPanning, {128, 125, 122}},
        {"Rxy multi retrigger +1 every 2", Cell{0, 0, 0, 27, 0x92}, kVolume, {32, 32, 33, 33, 34}},
        {"Rxy multi retrigger x2 every 1", Cell{0, 0, 0, 27, 0xF1}, kVolume, {32, 64, 128}},
        {"Rxy multi retrigger /2", Cell{0, 0, 0, 27, 0x71}, kVolume, {32, 16, 8}},
        {"Txy tremor", Cell{0, 0, 0, 29, 0x11}, kVolumeOffset, {0, 0, -32, 0, 0, -32}},
        {"X1y extra fine up", Cell{0, 0, 0, 33, 0x13}, kPeriod, {4605, 4605}},
        {"X2y extra fine down", Cell{0, 0, 0, 33, 0x23}, kPeriod, {4611, 4611}},
        {"E1y fine portamento up", Cell{0, 0, 0, 0xE, 0x12}, kPeriod, {4600, 4600}},
        {"E2y fine portamento down", Cell{0, 0, 0, 0xE, 0x22}, kPeriod, {4616, 4616}},
        {"E8y panning", Cell{0, 0, 0, 0xE, 0x84}, kPanning, {64, 64}},
        {"EAy fine slide up", Cell{0, 0, 0, 0xE, 0xA3}, kVolume, {35, 35}},
        {"EBy fine slide down", Cell{0, 0, 0, 0xE, 0xB3}, kVolume, {29, 29}},
        {"ECy note cut", Cell{0, 0, 0, 0xE, 0xC2}, kVolume, {32, 32, 0, 0}},
        {"E9y retrigger every 2 ticks", Cell{0, 0, 0, 0xE, 0x92}, kVoicePosition, {3, 170, 0, 167, 0}},
        {"E3y does nothing", Cell{0, 0, 0, 0xE, 0x35}, kPeriod, {4608, 4608}},
        {"unknown effect 19 does nothing", Cell{0, 0, 0, 19, 0x35}, kVolume, {32, 32}},
        {"volume column set", Cell{0, 0, 0x40, 0, 0}, kVolume, {48, 48}},
        {"volume column 0x50", Cell{0, 0, 0x50, 0, 0}, kVolume, {64, 64}},
        {"volume column slide down", Cell{0, 0, 0x65, 0, 0}, kVolume, {27, 22, 17}},
        {"volume column slide up", Cell{0, 0, 0x75, 0, 0}, kVolume, {37, 42, 47}},
        {"volume column fine down", Cell{0, 0, 0x85, 0, 0}, kVolume, {27, 27}},
        {"volume column fine up", Cell{0, 0, 0x95, 0, 0}, kVolume, {37, 37}},
        {"volume column panning", Cell{0, 0, 0xC4, 0, 0}, kPanning, {64, 64}},
        {"volume column panning left", Cell{0, 0, 0xD3, 0, 0}, kPanning, {125, 122, 119}},
        {"volume column panning right", Cell{0, 0, 0xE3, 0, 0}, kPanning, {131, 134, 137}},
        {"volume column bytes below 0x10", Cell{0, 0, 0x0F, 0, 0}, kVolume, {32, 32}},
    };
    for (const EffectCase& c : cases) {
        const std::vector<int64_t> got = TicksOfRow1(EffectSong(c.cell), c.field, c.expected.size());
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

// Effects whose action shows only against state an earlier row set up: the
// vibrato and tremolo waveforms (E4y, E7y) with the positions they keep, the
// finetune (E5y), the volume column's vibrato speed and depth, and the
// tremolo offset a row without tremolo keeps. Each song plays C-4 with
// instrument 1 (volume 32) on row 0 at speed 6; `row` is the row observed.
struct SetUpCase {
    const char* name;
    std::vector<Cell> rows;
    int row;
    Field field;
    std::vector<int64_t> expected;
    bool amiga = false;
};

TEST(XmEffects, ActionsOnStateSetUpByEarlierRows) {
    // Vibrato 48F: speed 8, depth 15, so positions 0, 8, 16, ... and the
    // offset is (wave x 15 >> 5) / 2. Tremolo 78F likewise, without halving.
    const Cell vibrato{0, 0, 0, 0x4, 0x8F};
    const Cell tremolo{0, 0, 0, 0x7, 0x8F};
    const auto note = [](uint8_t effect, uint8_t param) { return Cell{kC4, 1, 0, effect, param}; };
    const SetUpCase cases[] = {
        // E4y: the vibrato waveform. The ramp falls from 127 (127, 95, 63,
        // 31, -2, -34 at positions 0 to 40); 2 and 3 are squares.
        {"E40 sine vibrato", {note(0xE, 0x40), vibrato}, 1, kPeriodOffset, {0, 21, 29, 21, 0, -21}},
        {"E41 ramp vibrato", {note(0xE, 0x41), vibrato}, 1, kPeriodOffset, {29, 22, 14, 7, 0, -8}},
        {"E42 square vibrato", {note(0xE, 0x42), vibrato}, 1, kPeriodOffset, {29, 29, 29, 29, -30, -30}},
        {"E43 square vibrato", {note(0xE, 0x43), vibrato}, 1, kPeriodOffset, {29, 29, 29, 29, -30, -30}},
        // A new instrument restarts the vibrato for waveforms 0-3; 4 and up
        // keep the position (48 after row 1's six steps) with the same shapes.
        {"E40: new instrument restarts the vibrato",
         {note(0xE, 0x40), vibrato, note(0x4, 0)},
         2,
         kPeriodOffset,
         {0, 21, 29, 21, 0, -21}},
        {"E44: new instrument keeps the sine's position",
         {note(0xE, 0x44), vibrato, note(0x4, 0)},
         2,
         kPeriodOffset,
         {-30, -21, 0, 21, 29, 21}},
        {"E45: new instrument keeps the ramp's position",
         {note(0xE, 0x45), vibrato, note(0x4, 0)},
         2,
         kPeriodOffset,
         {-15, -23, 29, 22, 14, 7}},
        // E7y: the tremolo waveform; tremolo steps from tick 1.
        {"E70 sine tremolo", {note(0xE, 0x70), tremolo}, 1, kVolumeOffset, {0, 0, 42, 59, 42, 0}},
        {"E71 ramp tremolo", {note(0xE, 0x71), tremolo}, 1, kVolumeOffset, {0, 59, 44, 29, 14, -1}},
        {"E72 square tremolo", {note(0xE, 0x72), tremolo}, 1, kVolumeOffset, {0, 59, 59, 59, 59, -60}},
        {"E70: new instrument restarts the tremolo",
         {note(0xE, 0x70), tremolo, note(0x7, 0)},
         2,
         kVolumeOffset,
         {0, 0, 42, 59, 42, 0}},
        {"E74: new instrument keeps the tremolo's position (40)",
         {note(0xE, 0x74), tremolo, note(0x7, 0)},
         2,
         kVolumeOffset,
         {0, -43, -60, -43, 0, 42}},
        // E5y: the sample's finetune, heard from the next note on: linear
        // 4608 - 15 / 2; Amiga 1712 moved 15/128 of the way to C#-4's 1616.
        {"E5F leaves the row's own note", {note(0xE, 0x5F)}, 0, kPeriod, {4608, 4608}},
        {"E5F tunes the next note", {note(0xE, 0x5F), Cell{kC4, 0, 0, 0, 0}}, 1, kPeriod, {4601, 4601}},
        {"E5F stays with the sample through a new instrument",
         {note(0xE, 0x5F), note(0, 0)},
         1,
         kPeriod,
         {4601}},
        {"E5F on the Amiga table", {note(0xE, 0x5F), Cell{kC4, 0, 0, 0, 0}}, 1, kPeriod, {1701}, true},
        // Volume column: 0xBy sets the depth on tick 0 and steps on later
        // ticks (speed 4 from row 0's 0xA4: sine at 0, 4, 8, 12, 16, depth 8).
        {"volume column B: depth, then later-tick steps",
         {Cell{kC4, 1, 0xA4, 0, 0}, Cell{0, 0, 0xB8, 0, 0}},
         1,
         kPeriodOffset,
         {0, 0, 6, 11, 14, 15}},
        // 0xAx only sets the speed: no step on its row; the next vibrato
        // runs at speed 4 from where row 0's speed-1 vibrato left (6).
        {"volume column A: no vibrato on its row",
         {note(0x4, 0x18), Cell{0, 0, 0xA4, 0, 0}, Cell{0, 0, 0, 0x4, 0}},
         1,
         kPeriodOffset,
         {0, 0, 0, 0, 0, 0}},
        {"volume column A: the speed for the next vibrato",
         {note(0x4, 0x18), Cell{0, 0, 0xA4, 0, 0}, Cell{0, 0, 0, 0x4, 0}},
         2,
         kPeriodOffset,
         {8, 13, 15, 15, 13, 8}},
        // A row after tremolo keeps the last tremolo offset in the volume:
        // 74F ends at position 16 (+59); E72 with 78F at position 32 (-60).
        {"tremolo ending keeps its last offset",
         {note(0, 0), Cell{0, 0, 0, 0x7, 0x4F}, Cell{}},
         2,
         kVolume,
         {91, 91, 91}},
        {"a negative offset is kept too", {note(0xE, 0x72), tremolo, Cell{}}, 2, kVolume, {-28, -28}},
        {"the offset is added once",
         {note(0, 0), Cell{0, 0, 0, 0x7, 0x4F}, Cell{}, Cell{}},
         3,
         kVolume,
         {91}},
        {"tremolo going on adds nothing",
         {note(0, 0), Cell{0, 0, 0, 0x7, 0x4F}, Cell{0, 0, 0, 0x7, 0}},
         2,
         kVolume,
         {32, 32}},
        {"a new instrument's volume comes after",
         {note(0, 0), Cell{0, 0, 0, 0x7, 0x4F}, note(0, 0)},
         2,
         kVolume,
         {32}},
    };
    for (const SetUpCase& c : cases) {
        std::vector<Cell> rows = c.rows;
        rows.push_back(Cell{});
        xmw::Song s = xmtest::OneChannelSong(rows, 6, 125);
        s.instruments[0].samples[0].volume = 32;
        s.linearFrequencies = !c.amiga;
        EXPECT_EQ(TicksOfRow(s, c.row, c.field, c.expected.size()), c.expected) << c.name;
    }
}

TEST(XmEffects, MemoriesReuseTheLastNonZeroParameter) {
    const EffectCase cases[] = {
        {"1 then 100", Cell{0, 0, 0, 0x1, 0x00}, kPeriod, {4592, 4584, 4576}},
        {"2 shares 1's memory", Cell{0, 0, 0, 0x2, 0x00}, kPeriod, {4592, 4600, 4608}},
        {"A00 repeats the slide", Cell{0, 0, 0, 0xA, 0x00}, kVolume, {28, 26, 24}},
        {"EA0 repeats the fine slide", Cell{0, 0, 0, 0xE, 0xA0}, kVolume, {38, 38}},
        {"P00 repeats the panning slide", Cell{0, 0, 0, 25, 0x00}, kPanning, {120, 116, 112}},
    };
    // Row 1 of each song first runs the effect with a parameter for three
    // ticks (row 0 is the note), so row 2 shows the memory at work.
    const Cell primers[] = {
        Cell{0, 0, 0, 0x1, 0x02}, Cell{0, 0, 0, 0x1, 0x02}, Cell{0, 0, 0, 0xA, 0x02},
        Cell{0, 0, 0, 0xE, 0xA3}, Cell{0, 0, 0, 25, 0x04},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const EffectCase& c = cases[i];
        xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}, primers[i], c.cell, Cell{}}, 3, 125);
        s.instruments[0].samples[0].volume = 32;
        XmRenderer r(Load(s));
        for (int t = 0; t < 6; ++t) NextTick(r);
        std::vector<int64_t> got;
        for (size_t t = 0; t < c.expected.size(); ++t) {
            NextTick(r);
            got.push_back(c.field(r));
        }
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

TEST(XmEffects, PortamentoUpStopsAtOneButFineSlidesReachTheFloor) {
    // 1FF stops at period 1; E1F rows go below 0 and play at 40 Hz.
    xmw::Song s = EffectSong(Cell{0, 0, 0, 0x1, 0xFF});
    s.patterns[0].cells[0].effect = 33;
    s.patterns[0].cells[0].param = 0x1F;  // the note row also slides: 4593
    const std::vector<int64_t> up = TicksOfRow1(s, kPeriod, 6);
    EXPECT_EQ(up[0], 4593);
    EXPECT_EQ(up[5], 1);

    // Stack E1F rows until the period is below zero: 40 Hz floor.
    xmw::Song g = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0xE, 0x1F}}, 1, 125);
    g.patterns[0].rows = 100;
    for (int i = 1; i < 100; ++i) g.patterns[0].At(i, 0, 1) = Cell{0, 0, 0, 0xE, 0x1F};
    XmRenderer rg(Load(g));
    for (int i = 0; i < 78; ++i) NextTick(rg);
    EXPECT_EQ(rg.Channel(0).period, 4608 - 78 * 60);
    EXPECT_LT(rg.Channel(0).period, 0);
    const XmChannel& ch = rg.Channel(0);
    EXPECT_EQ(ch.voices[ch.currentVoice].step, XmStepForFrequency(40));
}

TEST(XmEffects, TonePortamentoKeepsTheVoicePlaying) {
    xmw::Song s = EffectSong(Cell{kD4, 0, 0, 0x3, 0x10});
    s.instruments[0].samples[0].data.assign(100000, 8192);  // no loop wrap in this test
    s.instruments[0].samples[0].loopLength = 100000;
    XmRenderer r(Load(s));
    for (int t = 0; t < 6; ++t) NextTick(r);
    const int voice = r.Channel(0).currentVoice;
    const uint32_t before = r.Channel(0).voices[voice].position;
    NextTick(r);
    EXPECT_EQ(r.Channel(0).currentVoice, voice);  // no note start, no hand-over
    EXPECT_GE(r.Channel(0).voices[voice].position, before);
    EXPECT_EQ(r.Channel(0).targetPeriod, 4480);
}

TEST(XmEffects, VolumeColumnTonePortamento) {
    xmw::Song s = EffectSong(Cell{kD4, 0, 0xF2, 0, 0});
    const std::vector<int64_t> period = TicksOfRow1(s, kPeriod, 5);
    const std::vector<int64_t> expected = {4608, 4608 - 128, 4480, 4480, 4480};
    EXPECT_EQ(period, expected);
}

TEST(XmEffects, SampleOffsetAtOrBeyondTheEndDoesNotStartTheNote) {
    // 1,000-frame sample without loop: offset 0x04 (1,024) is past its end.
    xmw::Song s = EffectSong(Cell{kC4, 0, 0, 0x9, 0x04});
    s.instruments[0].samples[0].loopType = 0;
    XmRenderer r(Load(s));
    for (int t = 0; t < 6; ++t) NextTick(r);
    const int voice = r.Channel(0).currentVoice;
    NextTick(r);
    EXPECT_EQ(r.Channel(0).currentVoice, voice);
    EXPECT_LT(r.Channel(0).voices[voice].position, 2u);  // went back to the start
}

TEST(XmEffects, NoteDelay) {
    // ED2 with a new note: nothing changes on ticks 0 and 1; at tick 2 the
    // note starts with the sample's volume and the row's volume byte.
    xmw::Song s = EffectSong(Cell{kD4, 1, 0x20, 0xE, 0xD2}, Cell{kC4, 1, 0x30, 0, 0});
    XmRenderer r(Load(s));
    for (int t = 0; t < 6; ++t) NextTick(r);
    const int voice = r.Channel(0).currentVoice;
    NextTick(r);
    EXPECT_EQ(r.Channel(0).period, 4608);
    EXPECT_EQ(r.Channel(0).volume, 32);
    EXPECT_EQ(r.Channel(0).currentVoice, voice);
    NextTick(r);
    EXPECT_EQ(r.Channel(0).period, 4608);
    NextTick(r);
    EXPECT_EQ(r.Channel(0).period, 4480);
    EXPECT_EQ(r.Channel(0).volume, 16);
    EXPECT_NE(r.Channel(0).currentVoice, voice);
}

TEST(XmEffects, NoteDelayTriggerTickSetsTheEnvelopeVolumeWithoutSteppingIt) {
    // An envelope that starts low (8, then up to 64 over 8 ticks). The
    // trigger tick sounds at envelope volume 64 (the earlier note left it
    // above 9); the rest of the row changes nothing, and the envelope starts
    // at its first point with the next row. Stepping it on the trigger tick
    // made the delayed note nearly silent for its row and ran it ahead.
    xmw::Song s = EffectSong(Cell{kD4, 0, 0, 0xE, 0xD2});
    s.instruments[0].volumeEnvelope.points = {{0, 8}, {8, 64}};
    s.instruments[0].volumeEnvelope.type = 1;
    s.instruments[0].samples[0].volume = 64;
    // Row 0's C-4 moves its envelope to the end (L08), at 64; row 1's
    // delayed note names no instrument, so the envelope stays there.
    s.patterns[0].At(0, 0, 1).effect = 0x15;
    s.patterns[0].At(0, 0, 1).param = 8;
    const std::vector<int64_t> env = TicksOfRow1(s, kEnvelopeVolume, 8);
    EXPECT_EQ(env, (std::vector<int64_t>{64, 64, 64, 64, 64, 64, 8, 15}));
    XmRenderer r(Load(s));
    for (int t = 0; t < 6 + 3; ++t) NextTick(r);
    EXPECT_EQ(r.Channel(0).volumeEnvelope.position, 0);
    EXPECT_EQ(r.Channel(0).finalVolume, 127);  // full volume from the trigger tick
}

xmw::Instrument EnvelopeInstrument(bool sustain) {
    xmw::Instrument in = xmtest::InstrumentWith(xmtest::DcSample(8192, 1000));
    in.volumeEnvelope.points = {{0, 64}, {4, 32}, {8, 0}};
    in.volumeEnvelope.type = sustain ? 3 : 1;
    in.volumeEnvelope.sustain = 1;
    in.fadeout = 0x1000;  // doubled: 8,192 per tick
    return in;
}

TEST(XmEffects, VolumeEnvelopeWithSustainAndKeyOff) {
    xmw::Song s =
        xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}, Cell{}, Cell{97, 0, 0, 0, 0}, Cell{}}, 4, 125);
    s.instruments[0] = EnvelopeInstrument(true);
    XmRenderer r(Load(s));
    std::vector<int64_t> env, fade;
    for (int t = 0; t < 16; ++t) {
        NextTick(r);
        env.push_back(r.Channel(0).envelopeVolume);
        fade.push_back(r.Channel(0).fadeoutVolume);
    }
    // Falls to the sustain point, holds through row 1, leaves it at key off.
    const std::vector<int64_t> expectedEnv = {64, 56, 48, 40, 32, 32, 32, 32, 32, 24, 16, 8, 0, 0, 0, 0};
    EXPECT_EQ(env, expectedEnv);
    const std::vector<int64_t> expectedFade = {65536, 65536, 65536, 65536, 65536, 65536, 65536, 65536,
                                               57344, 49152, 40960, 32768, 24576, 16384, 8192,  0};
    EXPECT_EQ(fade, expectedFade);
}

TEST(XmEffects, KeyOffWithoutEnvelopeSilencesAtOnce) {
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}, Cell{97, 0, 0, 0, 0}}, 2, 125);
    XmRenderer r(Load(s));
    NextTick(r);
    NextTick(r);
    EXPECT_GT(r.Channel(0).finalVolume, 0);
    NextTick(r);
    EXPECT_TRUE(r.Channel(0).keyOff);
    EXPECT_EQ(r.Channel(0).envelopeVolume, 0);
    EXPECT_EQ(r.Channel(0).finalVolume, 0);
}

TEST(XmEffects, EnvelopeLoopAndPositionEffect) {
    xmw::Song s =
        xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}, Cell{}, Cell{}, Cell{0, 0, 0, 21, 6}}, 4, 125);
    xmw::Instrument in = xmtest::InstrumentWith(xmtest::DcSample(8192, 1000));
    in.volumeEnvelope.points = {{0, 0}, {2, 40}, {4, 20}, {20, 64}};
    in.volumeEnvelope.type = 5;  // on, loop from point 2 back to point 1
    in.volumeEnvelope.loopStart = 1;
    in.volumeEnvelope.loopEnd = 2;
    s.instruments[0] = in;
    XmRenderer r(Load(s));
    std::vector<int64_t> env;
    for (int t = 0; t < 12; ++t) {
        NextTick(r);
        env.push_back(r.Channel(0).envelopeVolume);
    }
    const std::vector<int64_t> expected = {0, 20, 40, 30, 40, 30, 40, 30, 40, 30, 40, 30};
    EXPECT_EQ(env, expected);
    // L06 on row 3: between points 2 (tick 4) and 3 (tick 20).
    NextTick(r);
    EXPECT_EQ(r.Channel(0).volumeEnvelope.position, 6 + 0);
    EXPECT_EQ(r.Channel(0).envelopeVolume, 20 + 44 * 2 / 16);
}

TEST(XmEffects, UnlimitedVolumeSlides) {
    // Six fine slides up of 15 from 32: stored 122, heard as 64; the slide
    // down afterwards starts from 122.
    std::vector<Cell> rows = {Cell{kC4, 1, 0, 0xE, 0xAF}};
    for (int i = 0; i < 5; ++i) rows.push_back(Cell{0, 0, 0, 0xE, 0xAF});
    rows.push_back(Cell{0, 0, 0, 0xE, 0xB8});
    xmw::Song s = xmtest::OneChannelSong(rows, 1, 125);
    s.instruments[0].samples[0].volume = 32;
    XmRenderer r(Load(s));
    for (int i = 0; i < 6; ++i) NextTick(r);
    EXPECT_EQ(r.Channel(0).volume, 122);
    EXPECT_EQ(r.Channel(0).finalVolume, 127);
    NextTick(r);
    EXPECT_EQ(r.Channel(0).volume, 114);
    EXPECT_EQ(r.Channel(0).finalVolume, 127);
}

TEST(XmEffects, PanningEnvelopeMovesTheEffectivePanning) {
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}}, 6, 125);
    xmw::Instrument in = xmtest::InstrumentWith(xmtest::DcSample(8192, 1000));
    in.panningEnvelope.points = {{0, 0}, {4, 64}};
    in.panningEnvelope.type = 1;
    s.instruments[0] = in;
    XmRenderer r(Load(s));
    std::vector<int64_t> pan;
    for (int t = 0; t < 5; ++t) {
        NextTick(r);
        pan.push_back(r.Channel(0).effectivePanning);
    }
    // panning 128: factor (128 - 0) / 32 = 4 per envelope unit from 32.
    const std::vector<int64_t> expected = {0, 64, 128, 192, 255};
    EXPECT_EQ(pan, expected);
}

TEST(XmEffects, AutoVibratoSweepsIn) {
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}}, 6, 125);
    s.instruments[0].vibratoType = 1;  // square: +64
    s.instruments[0].vibratoDepth = 8;
    s.instruments[0].vibratoSweep = 4;
    s.instruments[0].vibratoRate = 1;
    XmRenderer r(Load(s));
    std::vector<int64_t> offsets;
    for (int t = 0; t < 6; ++t) {
        NextTick(r);
        offsets.push_back(r.Channel(0).periodOffset);
    }
    const std::vector<int64_t> expected = {0, 2, 4, 6, 8, 8};  // 64 * 8 * k/4 >> 6
    EXPECT_EQ(offsets, expected);
}

}  // namespace
}  // namespace kestrane::music::engine

namespace kestrane::music::engine {
namespace {

TEST(XmEffects, AmigaTableArpeggioAndPortamento) {
    const struct {
        const char* name;
        Cell cell;
        Field field;
        std::vector<int64_t> expected;
    } cases[] = {
        {"arpeggio: period differences to the raised notes",
         Cell{0, 0, 0, 0x0, 0x37},
         kPeriodOffset,
         {0, XmAmigaPeriod(51, 0) - 1712, XmAmigaPeriod(55, 0) - 1712, 0}},
        {"portamento up in periods", Cell{0, 0, 0, 0x1, 0x03}, kPeriod, {1712, 1700, 1688}},
        {"tone portamento to D-4",
         Cell{kD4, 0, 0, 0x3, 0x10},
         kPeriod,
         {1712, 1648, 1584, XmAmigaPeriod(50, 0), XmAmigaPeriod(50, 0)}},
    };
    for (const auto& c : cases) {
        xmw::Song s = EffectSong(c.cell);
        s.linearFrequencies = false;
        EXPECT_EQ(TicksOfRow1(s, c.field, c.expected.size()), c.expected) << c.name;
    }
    xmw::Song s = EffectSong(Cell{});
    s.linearFrequencies = false;
    XmRenderer r(Load(s));
    NextTick(r);
    const XmChannel& ch = r.Channel(0);
    EXPECT_EQ(ch.voices[ch.currentVoice].step, XmStepForFrequency(14317456 / 1712));
}

}  // namespace
}  // namespace kestrane::music::engine
