#include "about_song_score.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace kestrane::xmsong {
namespace {

using xmw::Cell;
using xmw::Envelope;
using xmw::Instrument;
using xmw::Pattern;
using xmw::Sample;

constexpr int kChannels = 6;
constexpr int kRows = 64;
enum ChannelIndex { kLead, kBass, kPadA, kPadB, kDrums, kHats };
enum InstrumentNumber : std::uint8_t { kLeadIns = 1, kBassIns, kPadIns, kKickIns, kSnareIns, kHatIns };

constexpr double kPi = std::numbers::pi;

// Repeatable noise, so every build writes the same bytes.
class Noise {
public:
    double Next() {
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<double>((state_ >> 8) & 0xFFFF) / 32768.0 - 1.0;
    }

private:
    std::uint32_t state_ = 0x4B455354;
};

std::int16_t ToSample(double v) {
    v = std::max(-1.0, std::min(1.0, v));
    return static_cast<std::int16_t>(std::lround(v * 24000.0));
}

// One looped waveform of `cycles` periods in `frames` frames, built from
// harmonics (amplitude per harmonic) so the loop joins without a click and
// carries little aliasing. A second and third copy detuned by one cycle
// over the loop give the slow beating of a chorus.
Sample LoopedTone(std::uint32_t frames, int cycles, const std::vector<double>& harmonics, bool chorus) {
    Sample s;
    s.sixteenBit = true;
    std::vector<double> v(frames, 0.0);
    const int detunes = chorus ? 3 : 1;
    for (int d = 0; d < detunes; ++d) {
        const int c = cycles + (d == 0 ? 0 : (d == 1 ? 1 : -1));
        for (std::size_t k = 0; k < harmonics.size(); ++k)
            for (std::uint32_t i = 0; i < frames; ++i)
                v[i] += harmonics[k] *
                        std::sin(2 * kPi * static_cast<double>((k + 1) * c) * i / frames + 0.7 * d);
    }
    double peak = 1e-9;
    for (double x : v) peak = std::max(peak, std::abs(x));
    for (double x : v) s.data.push_back(ToSample(x / peak));
    s.loopType = 1;
    s.loopStart = 0;
    s.loopLength = frames;
    return s;
}

Envelope MakeEnvelope(std::vector<xmw::EnvelopePoint> points, int sustain, int loopStart, int loopEnd) {
    Envelope e;
    e.points = std::move(points);
    e.type = 1;
    if (sustain >= 0) {
        e.type |= 2;
        e.sustain = static_cast<std::uint8_t>(sustain);
    }
    if (loopStart >= 0) {
        e.type |= 4;
        e.loopStart = static_cast<std::uint8_t>(loopStart);
        e.loopEnd = static_cast<std::uint8_t>(loopEnd);
    }
    return e;
}

// Soft pulse lead: 32 frames per cycle is C-4 at the module's base rate.
Instrument Lead() {
    std::vector<double> h;
    for (int k = 1; k <= 12; ++k) h.push_back(std::sin(kPi * k * 0.3) / k * std::exp(-0.12 * k));
    Sample s = LoopedTone(32 * 8, 8, h, false);
    s.volume = 40;
    Instrument in = xmw::SingleSampleInstrument(s);
    in.volumeEnvelope = MakeEnvelope({{0, 0}, {3, 64}, {12, 46}, {40, 40}}, 3, -1, -1);
    in.fadeout = 900;
    in.vibratoType = 0;
    in.vibratoSweep = 24;
    in.vibratoDepth = 3;
    in.vibratoRate = 10;
    return in;
}

// Warm saw bass, an octave below the lead's sample.
Instrument Bass() {
    std::vector<double> h;
    for (int k = 1; k <= 10; ++k) h.push_back(1.0 / k * std::exp(-0.25 * k));
    Sample s = LoopedTone(64 * 4, 4, h, false);
    s.relativeNote = 12;
    s.volume = 50;
    Instrument in = xmw::SingleSampleInstrument(s);
    in.volumeEnvelope = MakeEnvelope({{0, 64}, {6, 52}, {28, 34}, {80, 0}}, -1, -1, -1);
    in.fadeout = 2000;
    return in;
}

// Chorused pad with a slow swell and a panning envelope that sways.
Instrument Pad() {
    Sample s = LoopedTone(64 * 64, 64, {1.0, 0.45, 0.3, 0.12, 0.08, 0.04}, true);
    s.relativeNote = 12;
    s.volume = 30;
    Instrument in = xmw::SingleSampleInstrument(s);
    in.volumeEnvelope = MakeEnvelope({{0, 0}, {30, 56}, {60, 44}, {90, 40}}, 3, -1, -1);
    in.panningEnvelope = MakeEnvelope({{0, 32}, {48, 14}, {144, 50}, {192, 32}}, -1, 1, 2);
    in.fadeout = 500;
    return in;
}

// Drums are one-shot samples made at the rate their note plays back:
// relative note +12 doubles the module's base rate (16,726 Hz), +24
// quadruples it (33,452 Hz), leaving room for the hats' hiss.
Instrument Drum(std::vector<double> v, int relativeNote, std::uint8_t volume) {
    Sample s;
    s.sixteenBit = true;
    for (double x : v) s.data.push_back(ToSample(x));
    s.relativeNote = static_cast<std::int8_t>(relativeNote);
    s.volume = volume;
    return xmw::SingleSampleInstrument(s);
}

Instrument Kick() {
    const double rate = 16726;
    std::vector<double> v;
    double phase = 0;
    for (int i = 0; i < 5000; ++i) {
        const double t = i / rate;
        const double f = 45 + 110 * std::exp(-t * 28);
        phase += 2 * kPi * f / rate;
        v.push_back(std::sin(phase) * std::exp(-t * 9) * std::min(1.0, i / 30.0));
    }
    return Drum(v, 12, 58);
}

Instrument Snare() {
    const double rate = 16726;
    Noise noise;
    std::vector<double> v;
    double last = 0;
    for (int i = 0; i < 3500; ++i) {
        const double t = i / rate;
        const double n = noise.Next();
        const double hiss = (n - last) * 0.5;  // a touch of high-pass
        last = n;
        const double body = std::sin(2 * kPi * 190 * t) * std::exp(-t * 30);
        v.push_back((hiss * 0.8 * std::exp(-t * 16) + body * 0.6) * std::min(1.0, i / 10.0));
    }
    return Drum(v, 12, 40);
}

Instrument Hat() {
    const double rate = 33452;
    Noise noise;
    std::vector<double> v;
    double last = 0;
    for (int i = 0; i < 2400; ++i) {
        const double t = i / rate;
        const double n = noise.Next();
        v.push_back((n - last) * 0.5 * std::exp(-t * 45));
        last = n;
    }
    return Drum(v, 24, 22);
}

// Parses "C5", "F#4", "A#2" into an XM note number; 0 for anything else.
std::uint8_t ParseNote(const std::string& token) {
    if (token.size() < 2 || token.size() > 3) return 0;
    std::string name{token[0], token.size() == 3 ? token[1] : '-', token.back()};
    return xmw::Note(name.c_str());
}

// Writes one channel of a bar from a line of 16 tokens:
//   "C5"  a note with the instrument     "."   nothing
//   "~"   vibrato continues (4xx)        "^"   key off
//   "/E5" tone portamento to E5          "/"   portamento continues
//   ">"   volume slide down              "v3"  volume column set to 3 x 8
// A note token may end in "@xx" to set its volume column byte (hex).
void WriteBar(Pattern& p, int bar, int channel, std::uint8_t instrument, const std::string& line) {
    std::istringstream in(line);
    std::string tok;
    for (int row = bar * 16; row < bar * 16 + 16 && in >> tok; ++row) {
        Cell& c = p.At(row, channel, kChannels);
        std::uint8_t volume = 0;
        if (const auto at = tok.find('@'); at != std::string::npos) {
            volume = static_cast<std::uint8_t>(std::stoi(tok.substr(at + 1), nullptr, 16));
            tok = tok.substr(0, at);
        }
        if (tok == ".") {
        } else if (tok == "~") {
            c.effect = 4;
            c.param = 0x00;
        } else if (tok == "^") {
            c.note = 97;
        } else if (tok == "/") {
            c.effect = 3;
        } else if (tok == ">") {
            c.effect = 10;
            c.param = 0x03;
        } else if (tok[0] == '/') {
            c.note = ParseNote(tok.substr(1));
            c.effect = 3;
            c.param = 0x18;
        } else {
            c.note = ParseNote(tok);
            c.instrument = instrument;
            // A held note gets its vibrato speed and depth on its first row.
            c.effect = 4;
            c.param = 0x33;
        }
        if (volume) c.volume = volume;
    }
}

struct Chord {
    const char* bass;      // root, low octave
    const char* bassHigh;  // root, an octave up
    const char* padA;
    const char* padB;
};
// Am - F - C - G, one bar each.
constexpr Chord kChords[4] = {
    {"A2", "A3", "C4", "E4"},
    {"F2", "F3", "A3", "C4"},
    {"C3", "C4", "G3", "E4"},
    {"G2", "G3", "B3", "D4"},
};

void WriteHarmony(Pattern& p, bool bassOn, bool portamentoTurn) {
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& c = kChords[bar];
        const std::string low = c.bass, high = c.bassHigh;
        WriteBar(p, bar, kPadA, kPadIns, std::string(c.padA) + " . . . . . . . . . . . . . ^ .");
        WriteBar(p, bar, kPadB, kPadIns, std::string(c.padB) + " . . . . . . . . . . . . . ^ .");
        if (!bassOn) continue;
        std::string line =
            low + " . . . " + low + " . " + high + " . " + low + " . . . " + low + " . " + high + " .";
        // The last bar slides up into the next pattern's first chord.
        if (portamentoTurn && bar == 3)
            line = low + " . . . " + low + " . " + high + " . " + low + " . . . /A2 / / /";
        WriteBar(p, bar, kBass, kBassIns, line);
    }
    // Pads sit left and right of the lead.
    p.At(0, kPadA, kChannels).effect = 8;
    p.At(0, kPadA, kChannels).param = 0x50;
    p.At(0, kPadB, kChannels).effect = 8;
    p.At(0, kPadB, kChannels).param = 0xB0;
}

void WriteDrums(Pattern& p, bool full, bool hatSway) {
    for (int row = 0; row < kRows; ++row) {
        const int beatRow = row % 16;
        Cell& d = p.At(row, kDrums, kChannels);
        if (beatRow == 0 || beatRow == 8 || (full && beatRow == 10)) {
            d.note = ParseNote("C4");
            d.instrument = kKickIns;
            if (beatRow == 10) d.volume = 0x10 + 36;
        } else if (full && (beatRow == 4 || beatRow == 12)) {
            d.note = ParseNote("C4");
            d.instrument = kSnareIns;
        }
        if (row % 2 == 0) {
            Cell& h = p.At(row, kHats, kChannels);
            h.note = ParseNote("C4");
            h.instrument = kHatIns;
            h.volume = static_cast<std::uint8_t>(0x10 + (row % 4 == 0 ? 40 : 26));
            if (hatSway) {
                // Panning slides push the hats from side to side.
                h.effect = 25;
                h.param = (row / 16) % 2 ? 0x04 : 0x40;
            } else {
                h.effect = 8;
                h.param = row % 4 == 0 ? 0x68 : 0x98;
            }
        }
    }
}

Pattern NewPattern() {
    Pattern p;
    p.rows = kRows;
    p.At(kRows - 1, kChannels - 1, kChannels);  // full-size cell table
    return p;
}

}  // namespace

xmw::Song ComposeAboutSong() {
    xmw::Song song;
    song.name = "Kestrane About";
    song.channels = kChannels;
    song.linearFrequencies = true;
    song.speed = 6;
    song.tempo = 125;
    song.instruments = {Lead(), Bass(), Pad(), Kick(), Snare(), Hat()};

    // 0: intro - pads, hats and kick build up, the bass joins halfway.
    Pattern intro = NewPattern();
    WriteHarmony(intro, false, false);
    WriteDrums(intro, false, false);
    for (int bar = 2; bar < 4; ++bar) {
        const Chord& c = kChords[bar];
        const std::string low = c.bass, high = c.bassHigh;
        WriteBar(intro, bar, kBass, kBassIns, low + " . . . . . . . " + high + " . . . " + low + " . . .");
    }
    // The tempo and speed are also set in the song itself, so a restart
    // always runs at the same pace.
    intro.At(0, kDrums, kChannels).effect = 15;
    intro.At(0, kDrums, kChannels).param = 6;
    intro.At(0, kHats, kChannels).effect = 15;
    intro.At(0, kHats, kChannels).param = 125;
    // A global volume swell over the first bar.
    intro.At(0, kBass, kChannels).effect = 16;
    intro.At(0, kBass, kChannels).param = 24;
    for (int row = 1; row <= 8; ++row) {
        intro.At(row, kBass, kChannels).effect = 17;
        intro.At(row, kBass, kChannels).param = 0x10;
    }

    // 1: the theme.
    Pattern theme = NewPattern();
    WriteHarmony(theme, true, false);
    WriteDrums(theme, true, false);
    WriteBar(theme, 0, kLead, kLeadIns, "E5 ~ ~ ~ D5 . C5 . D5 ~ ~ ~ E5 . A4 .");
    WriteBar(theme, 1, kLead, kLeadIns, "C5 ~ ~ ~ ~ ~ A4 . C5 . D5 . C5 . A4 .");
    WriteBar(theme, 2, kLead, kLeadIns, "G4 ~ ~ ~ C5 . E5 . G5 ~ ~ ~ E5 . D5 .");
    WriteBar(theme, 3, kLead, kLeadIns, "D5 ~ ~ ~ ~ ~ ~ ~ B4 . /D5 / / / ^ .");

    // 2: the answer, higher, ending in a fade and a bass slide.
    Pattern answer = NewPattern();
    WriteHarmony(answer, true, true);
    WriteDrums(answer, true, false);
    WriteBar(answer, 0, kLead, kLeadIns, "A5 ~ ~ ~ G5 . E5 . /G5 / / / E5 . D5 .");
    WriteBar(answer, 1, kLead, kLeadIns, "C5 ~ ~ ~ D5 . C5 . A4 ~ ~ ~ G4 . A4 .");
    WriteBar(answer, 2, kLead, kLeadIns, "E5 ~ ~ ~ G5 . E5 . C5 ~ ~ ~ D5 . E5 .");
    WriteBar(answer, 3, kLead, kLeadIns, "D5 ~ ~ ~ ~ ~ ~ ~ > > > > ^ . . .");

    // 3: the bridge - long notes wandering across the stereo field over
    // swaying hats.
    Pattern bridge = NewPattern();
    WriteHarmony(bridge, true, false);
    WriteDrums(bridge, false, true);
    WriteBar(bridge, 0, kLead, kLeadIns, "A4@c4 ~ ~ ~ ~ ~ ~ ~ C5@cb ~ ~ ~ ~ ~ ~ ~");
    WriteBar(bridge, 1, kLead, kLeadIns, "A4@c4 ~ ~ ~ ~ ~ ~ ~ F4@cb ~ ~ ~ ~ ~ ~ ~");
    WriteBar(bridge, 2, kLead, kLeadIns, "G4@c4 ~ ~ ~ ~ ~ ~ ~ C5@cb ~ ~ ~ E5@c8 ~ ~ ~");
    WriteBar(bridge, 3, kLead, kLeadIns, "D5@c8 ~ ~ ~ ~ ~ ~ ~ B4 ~ ~ ~ > > ^ .");

    song.patterns = {intro, theme, answer, bridge};
    song.orders = {0, 1, 2, 1, 3, 2};
    song.restartPosition = 1;
    return song;
}

}  // namespace kestrane::xmsong
