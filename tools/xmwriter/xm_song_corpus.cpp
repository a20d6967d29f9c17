// The generated module corpus: sample shapes, instruments and pattern
// writers for the stress cases and the song-like modules.
#include "xm_song_corpus.h"

#include <algorithm>
#include <cstdint>

namespace kestrane::xmw {
namespace {

// Small deterministic generator (a 32-bit LCG); the standard engines are
// not guaranteed to give the same numbers everywhere.
class Lcg {
public:
    explicit Lcg(unsigned seed) : state_(seed * 2654435761u + 1u) {}
    uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t state_;
};

// Triangle of the given period, -amplitude..amplitude.
int Triangle(int i, int period, int amplitude) {
    const int p = i % period;
    const int half = period / 2;
    const int up = p < half ? p : period - p;
    return (4 * amplitude * up) / period - amplitude;
}

Sample MakeSample(std::vector<int16_t> data, bool sixteenBit, uint8_t loopType, uint32_t loopStart,
                  uint32_t loopLength, uint8_t volume = 64) {
    Sample s;
    s.sixteenBit = sixteenBit;
    s.data = std::move(data);
    s.loopType = loopType;
    s.loopStart = loopType ? loopStart : 0;
    s.loopLength = loopType ? loopLength : 0;
    s.volume = volume;
    return s;
}

Sample Saw8(int length) {
    std::vector<int16_t> d;
    for (int i = 0; i < length; ++i) d.push_back(static_cast<int16_t>(-100 + 200 * i / length));
    return MakeSample(d, false, 1, 0, static_cast<uint32_t>(length), 48);
}

Sample SoftSquare16(int length) {
    std::vector<int16_t> d;
    for (int i = 0; i < length; ++i)
        d.push_back(static_cast<int16_t>((i < length / 2 ? 14000 : -14000) / 2 + Triangle(i, length, 9000)));
    return MakeSample(d, true, 1, 0, static_cast<uint32_t>(length), 40);
}

Sample Kick8(int length) {
    std::vector<int16_t> d;
    for (int i = 0; i < length; ++i) {
        const int period = 40 + i / 40;
        d.push_back(static_cast<int16_t>(Triangle(i, period, 120) * (length - i) / length));
    }
    return MakeSample(d, false, 0, 0, 0, 64);
}

Sample Noise8(int length, unsigned seed) {
    Lcg r(seed);
    std::vector<int16_t> d;
    for (int i = 0; i < length; ++i)
        d.push_back(static_cast<int16_t>((r.Below(240) - 120) * (length - i) / length));
    return MakeSample(d, false, 0, 0, 0, 50);
}

Sample Pad16(int length) {
    std::vector<int16_t> d;
    for (int i = 0; i < length; ++i)
        d.push_back(static_cast<int16_t>(Triangle(i, length, 9000) + Triangle(i, length / 3 + 1, 3000) +
                                         Triangle(i, length / 5 + 1, 1500)));
    return MakeSample(d, true, 2, 0, static_cast<uint32_t>(length), 36);
}

Sample Piano16(int length, int loopLength) {
    std::vector<int16_t> d;
    for (int i = 0; i < length; ++i) {
        const int decay = std::max(length / 6, length - i);
        d.push_back(static_cast<int16_t>((Triangle(i, 100, 12000) + Triangle(i, 50, 4000)) * decay / length));
    }
    return MakeSample(d, true, 1, static_cast<uint32_t>(length - loopLength),
                      static_cast<uint32_t>(loopLength), 56);
}

Instrument WithVolumeEnvelope(Instrument in, std::vector<EnvelopePoint> points, uint8_t sustain,
                              uint16_t fadeout) {
    in.volumeEnvelope.points = std::move(points);
    in.volumeEnvelope.type = 3;
    in.volumeEnvelope.sustain = sustain;
    in.fadeout = fadeout;
    return in;
}

// Instruments of the song-like modules: 1 bass, 2 lead, 3 kick, 4 snare,
// 5 hi-hat, 6 pad, 7 piano.
std::vector<Instrument> BandInstruments() {
    std::vector<Instrument> band;
    band.push_back(
        WithVolumeEnvelope(SingleSampleInstrument(Saw8(64)), {{0, 64}, {8, 50}, {40, 44}, {90, 0}}, 2, 600));
    Instrument lead = WithVolumeEnvelope(SingleSampleInstrument(SoftSquare16(128)),
                                         {{0, 0}, {3, 64}, {20, 48}, {60, 0}}, 2, 400);
    lead.vibratoType = 0;
    lead.vibratoSweep = 20;
    lead.vibratoDepth = 4;
    lead.vibratoRate = 10;
    band.push_back(lead);
    band.push_back(SingleSampleInstrument(Kick8(5000)));
    band.push_back(SingleSampleInstrument(Noise8(4000, 7)));
    band.push_back(SingleSampleInstrument(Noise8(900, 11)));
    Instrument pad = SingleSampleInstrument(Pad16(1500));
    pad.panningEnvelope.points = {{0, 16}, {50, 48}, {100, 16}};
    pad.panningEnvelope.type = 5;
    pad.panningEnvelope.loopStart = 0;
    pad.panningEnvelope.loopEnd = 2;
    pad = WithVolumeEnvelope(pad, {{0, 0}, {30, 64}, {60, 56}, {200, 0}}, 2, 200);
    band.push_back(pad);
    band.push_back(SingleSampleInstrument(Piano16(12000, 600)));
    return band;
}

constexpr uint8_t kScale[7] = {0, 2, 3, 5, 7, 8, 10};  // natural minor

uint8_t ScaleNote(int octave, int degree) {
    const int d = ((degree % 7) + 7) % 7;
    return static_cast<uint8_t>(1 + 12 * (octave + (degree < 0 ? -1 : degree / 7)) + kScale[d]);
}

// One channel's part in one pattern, by role.
void WriteChannel(Pattern& p, int channel, int channels, int role, int pattern, Lcg& r) {
    const int rows = p.rows;
    for (int row = 0; row < rows; ++row) {
        Cell& c = p.At(row, channel, channels);
        switch (role) {
            case 0:  // drums
                if (row % 8 == 0)
                    c = {ScaleNote(3, 0), 3, 0, 0, 0};
                else if (row % 8 == 4)
                    c = {ScaleNote(4, 0), 4, static_cast<uint8_t>(0x10 + 40 + r.Below(24)), 0, 0};
                else if (row % 2 == 0 && r.Below(3) != 0)
                    c = {ScaleNote(5, 2), 5, static_cast<uint8_t>(0x10 + 20 + r.Below(20)), 0, 0};
                break;
            case 1:  // bass
                if (row % 4 == 0) {
                    c = {ScaleNote(2, (pattern * 3 + row / 16 * 4) % 7), 1, 0, 0, 0};
                    if (r.Below(4) == 0) c.effect = 0xA, c.param = 0x02;
                } else if (row % 4 == 2 && r.Below(2) == 0) {
                    c = {97, 0, 0, 0, 0};  // key off
                }
                break;
            case 2:  // lead
                if (row % 8 == 0 || (row % 8 == 6 && r.Below(2) == 0)) {
                    c = {ScaleNote(4, r.Below(10)), 2, 0, 0, 0};
                    if (r.Below(4) == 0) c.effect = 0x3, c.param = 0x18;
                } else if (row % 8 == 2) {
                    c.effect = 0x4;
                    c.param = 0x46;
                } else if (row % 8 == 4) {
                    c.effect = 0x6;
                    c.param = 0x01;
                } else if (row % 8 == 7 && r.Below(3) == 0) {
                    c.effect = 0x1;
                    c.param = 0x04;
                }
                break;
            case 3:  // chords: arpeggio on the pad
                if (row % 16 == 0)
                    c = {ScaleNote(3, pattern + row / 16), 6, 0x30, 0x0, 0x37};
                else
                    c = {0, 0, 0, 0x0, 0x37};
                if (row % 16 == 12) c.volume = 0x82;
                break;
            default:  // piano / echo voices with panning and slides
                if ((row + channel) % 6 == 0) {
                    c = {ScaleNote(3 + channel % 2, r.Below(12)), 7,
                         static_cast<uint8_t>(0x10 + 24 + r.Below(40)), 0, 0};
                    if (r.Below(3) == 0) c.effect = 0x8, c.param = static_cast<uint8_t>(r.Below(256));
                } else if ((row + channel) % 6 == 3) {
                    c.effect = 0xA;
                    c.param = 0x03;
                } else if (r.Below(10) == 0) {
                    c.volume = static_cast<uint8_t>(0xC0 + r.Below(16));
                }
                break;
        }
    }
}

}  // namespace

Song RealisticSong(int channels, unsigned seed) {
    Lcg r(seed);
    Song song;
    song.name = "corpus band";
    song.channels = channels;
    song.speed = 6;
    song.tempo = 125;
    song.orders = {0, 1, 2, 1, 3};
    for (int pat = 0; pat < 4; ++pat) {
        Pattern p;
        p.rows = 64;
        for (int c = 0; c < channels; ++c) {
            // 4 channels: one of each role; more channels add piano voices
            // and doubled parts, as bigger songs do.
            const int role = c < 4 ? c : (c % 3 == 0 ? 1 + c % 3 : 4);
            WriteChannel(p, c, channels, role, pat, r);
        }
        if (pat == 0) p.At(0, 0, channels).effect = 0xF, p.At(0, 0, channels).param = 0x06;
        song.patterns.push_back(p);
    }
    song.instruments = BandInstruments();
    return song;
}

std::vector<CorpusSong> SongCorpus() {
    std::vector<CorpusSong> corpus;

    // 64 channels of 2-frame ping-pong loops near the top of the pitch range,
    // with vibrato so the step changes every tick.
    {
        Song s;
        s.channels = 64;
        Sample tiny = MakeSample({12000, -12000}, true, 2, 0, 2, 20);
        tiny.relativeNote = 24;
        tiny.finetune = 100;
        s.instruments.push_back(SingleSampleInstrument(tiny));
        Pattern p;
        p.rows = 32;
        for (int c = 0; c < 64; ++c) {
            p.At(0, c, 64) = {static_cast<uint8_t>(90 + c % 7), 1, 0, 0x4, 0x8F};
            for (int row = 1; row < 32; ++row) p.At(row, c, 64) = {0, 0, 0, 0x4, 0x00};
            p.At(16, c, 64).note = static_cast<uint8_t>(96 - c % 5);
        }
        s.patterns.push_back(p);
        corpus.push_back({"pingpong-2frame-64ch-top-pitch", s, true});
    }
    // 64 channels retriggering every tick at tempo 255, half through E91,
    // half through multi retrigger with a volume change.
    {
        Song s;
        s.channels = 64;
        s.tempo = 255;
        s.instruments.push_back(SingleSampleInstrument(Pad16(600)));
        s.instruments.push_back(SingleSampleInstrument(Noise8(3000, 3)));
        Pattern p;
        p.rows = 64;
        for (int c = 0; c < 64; ++c)
            for (int row = 0; row < 64; ++row) {
                Cell& cell = p.At(row, c, 64);
                cell = {static_cast<uint8_t>(30 + (row + c) % 40), static_cast<uint8_t>(1 + c % 2), 0,
                        static_cast<uint8_t>(c % 2 ? 0x1B : 0xE), static_cast<uint8_t>(c % 2 ? 0x91 : 0x91)};
                if (c % 2) cell.param = static_cast<uint8_t>(0x01 | ((row % 16) << 4));
            }
        s.patterns.push_back(p);
        corpus.push_back({"retrigger-every-tick-64ch-tempo255", s, true});
    }
    // 64 channels of 1-frame forward loops at many pitches.
    {
        Song s;
        s.channels = 64;
        s.instruments.push_back(SingleSampleInstrument(MakeSample({9000, -3000, 500}, true, 1, 1, 1, 30)));
        Pattern p;
        p.rows = 16;
        for (int c = 0; c < 64; ++c) p.At(0, c, 64) = {static_cast<uint8_t>(1 + c + c / 2), 1, 0, 0, 0};
        s.patterns.push_back(p);
        corpus.push_back({"loop-1frame-64ch", s, true});
    }
    // Every channel at full volume on one loud sample: the mix clips.
    {
        Song s;
        s.channels = 64;
        std::vector<int16_t> loud;
        for (int i = 0; i < 100; ++i) loud.push_back(static_cast<int16_t>(i < 50 ? 32767 : -32768));
        s.instruments.push_back(SingleSampleInstrument(MakeSample(loud, true, 1, 0, 100, 64)));
        Pattern p;
        p.rows = 16;
        for (int c = 0; c < 64; ++c) p.At(0, c, 64) = {49, 1, 0x50, 0x8, static_cast<uint8_t>(c * 4)};
        p.At(0, 0, 64).effect = 0x10;
        p.At(0, 0, 64).param = 0x40;
        s.patterns.push_back(p);
        corpus.push_back({"clipping-64ch-full-volume", s, true});
    }
    // Short one-shot samples that stop, sample offsets inside and beyond
    // the end, note cuts and delays.
    {
        Song s;
        s.channels = 32;
        s.speed = 4;
        s.instruments.push_back(SingleSampleInstrument(Noise8(700, 5)));
        s.instruments.push_back(SingleSampleInstrument(Kick8(1500)));
        Pattern p;
        p.rows = 64;
        Lcg r(99);
        for (int c = 0; c < 32; ++c)
            for (int row = 0; row < 64; ++row) {
                if (r.Below(2)) continue;
                Cell& cell = p.At(row, c, 32);
                cell = {static_cast<uint8_t>(20 + r.Below(70)), static_cast<uint8_t>(1 + r.Below(2)), 0, 0,
                        0};
                switch (r.Below(5)) {
                    case 0:
                        cell.effect = 0x9;
                        cell.param = static_cast<uint8_t>(r.Below(8));
                        break;
                    case 1:
                        cell.effect = 0xE;
                        cell.param = static_cast<uint8_t>(0xC0 | r.Below(4));
                        break;
                    case 2:
                        cell.effect = 0xE;
                        cell.param = static_cast<uint8_t>(0xD0 | r.Below(4));
                        break;
                    default:
                        break;
                }
            }
        s.patterns.push_back(p);
        corpus.push_back({"oneshots-offsets-cuts-delays-32ch", s, true});
    }
    // Amiga periods: slides past both ends of the range, tone portamento,
    // arpeggio and fine and extra-fine slides.
    {
        Song s;
        s.channels = 16;
        s.linearFrequencies = false;
        s.instruments.push_back(SingleSampleInstrument(Saw8(32)));
        s.instruments.push_back(SingleSampleInstrument(Pad16(400)));
        Pattern p;
        p.rows = 64;
        for (int c = 0; c < 16; ++c)
            for (int row = 0; row < 64; ++row) {
                Cell& cell = p.At(row, c, 16);
                if (row % 16 == 0)
                    cell = {static_cast<uint8_t>(10 + c * 5), static_cast<uint8_t>(1 + c % 2), 0, 0, 0};
                const int kind = (c + row / 16) % 6;
                const uint8_t effects[6][2] = {{0x1, 0xFF}, {0x2, 0xFF}, {0x3, 0x30},
                                               {0x0, 0x47}, {0xE, 0x1F}, {0x21, 0x2F}};
                cell.effect = effects[kind][0];
                cell.param = effects[kind][1];
                if (kind == 2 && row % 16 == 8) cell.note = static_cast<uint8_t>(80 - c);
            }
        s.patterns.push_back(p);
        corpus.push_back({"amiga-slides-16ch", s, true});
    }
    // Envelopes, key offs with fadeout, tremolo, tremor, panning slides and
    // global volume slides: the volume ramps never rest.
    {
        Song s;
        s.channels = 32;
        s.speed = 3;
        std::vector<Instrument> band = BandInstruments();
        Instrument looped = band[5];
        looped.volumeEnvelope.points = {{0, 64}, {4, 10}, {8, 64}, {12, 30}};
        looped.volumeEnvelope.type = 5;
        looped.volumeEnvelope.loopStart = 0;
        looped.volumeEnvelope.loopEnd = 3;
        s.instruments = {band[0], band[1], looped};
        Pattern p;
        p.rows = 64;
        for (int c = 0; c < 32; ++c)
            for (int row = 0; row < 64; ++row) {
                Cell& cell = p.At(row, c, 32);
                if ((row + c) % 12 == 0)
                    cell = {static_cast<uint8_t>(30 + c), static_cast<uint8_t>(1 + c % 3), 0, 0, 0};
                else if ((row + c) % 12 == 9)
                    cell.note = 97;
                const uint8_t effects[6][2] = {{0x7, 0x8F},  {0x1D, 0x21}, {0x19, 0x31},
                                               {0x19, 0x04}, {0x11, 0x01}, {0xA, 0x40}};
                const int kind = (c * 7 + row) % 6;
                cell.effect = effects[kind][0];
                cell.param = effects[kind][1];
                if (row % 32 == 0 && c == 0) cell.effect = 0x10, cell.param = 0x20;
            }
        s.patterns.push_back(p);
        corpus.push_back({"envelopes-ramps-32ch", s, true});
    }
    corpus.push_back({"band-4ch", RealisticSong(4, 4), false});
    corpus.push_back({"band-8ch", RealisticSong(8, 8), false});
    corpus.push_back({"band-22ch", RealisticSong(22, 22), false});
    return corpus;
}

}  // namespace kestrane::xmw
