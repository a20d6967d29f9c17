// Writes a few small modules made with the XM writer as fuzz seeds:
// xmengine_make_seeds <corpus directory>.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "xm_writer.h"

namespace {

using kestrane::xmw::Cell;
using kestrane::xmw::Instrument;
using kestrane::xmw::Pattern;
using kestrane::xmw::Sample;
using kestrane::xmw::Song;

Sample Wave(bool sixteenBit, int length, uint8_t loopType) {
    Sample s;
    s.sixteenBit = sixteenBit;
    const int amplitude = sixteenBit ? 20000 : 100;
    for (int i = 0; i < length; ++i)
        s.data.push_back(static_cast<int16_t>(amplitude * std::sin(6.2831853 * i / length)));
    s.loopType = loopType;
    s.loopStart = 0;
    s.loopLength = loopType ? static_cast<uint32_t>(length) : 0;
    s.volume = 48;
    return s;
}

void Write(const std::string& dir, const char* name, const Song& song) {
    const std::vector<uint8_t> bytes = kestrane::xmw::WriteXm(song);
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];

    Song one;
    one.patterns.resize(1);
    one.patterns[0].rows = 4;
    one.patterns[0].At(0, 0, 1) = Cell{49, 1, 0, 0, 0};
    one.patterns[0].At(2, 0, 1) = Cell{97, 0, 0, 0, 0};
    one.instruments.push_back(kestrane::xmw::SingleSampleInstrument(Wave(false, 32, 1)));
    Write(dir, "one-note.xm", one);

    Song fx;
    fx.channels = 4;
    fx.speed = 3;
    fx.tempo = 200;
    fx.orders = {0, 1, 0};
    fx.restartPosition = 1;
    Pattern a;
    a.rows = 8;
    const Cell cells[] = {
        {49, 1, 0x40, 0x0, 0x37}, {37, 2, 0, 0x4, 0x84}, {61, 1, 0xC4, 0x7, 0x62}, {50, 2, 0x65, 0x3, 0x08},
        {0, 0, 0xB2, 0x1, 0x05},  {51, 1, 0, 0x9, 0x01}, {97, 0, 0, 0xE, 0xC1},    {52, 2, 0xF3, 0x5, 0x11},
        {0, 0, 0, 0xE, 0x92},     {53, 1, 0, 27, 0x93},  {0, 0, 0, 29, 0x21},      {54, 2, 0, 25, 0x40},
        {0, 0, 0, 17, 0x02},      {55, 1, 0, 0xE, 0xD2}, {0, 0, 0, 21, 0x04},      {56, 2, 0, 33, 0x13},
    };
    for (int i = 0; i < 16; ++i) a.At(i / 4, i % 4, 4) = cells[i];
    a.At(6, 0, 4) = Cell{0, 0, 0, 0xE, 0x60};
    a.At(7, 0, 4) = Cell{0, 0, 0, 0xE, 0x61};
    a.At(7, 1, 4) = Cell{0, 0, 0, 0xD, 0x02};
    Pattern b;
    b.rows = 16;  // stored without cells
    fx.patterns = {a, b};
    Instrument i1 = kestrane::xmw::SingleSampleInstrument(Wave(true, 64, 2));
    i1.volumeEnvelope.points = {{0, 64}, {8, 40}, {16, 50}, {40, 0}};
    i1.volumeEnvelope.type = 7;
    i1.volumeEnvelope.sustain = 1;
    i1.volumeEnvelope.loopStart = 1;
    i1.volumeEnvelope.loopEnd = 2;
    i1.panningEnvelope.points = {{0, 0}, {20, 64}};
    i1.panningEnvelope.type = 1;
    i1.fadeout = 500;
    i1.vibratoType = 0;
    i1.vibratoDepth = 4;
    i1.vibratoSweep = 10;
    i1.vibratoRate = 20;
    Sample packed;
    packed.packedTable =
        std::array<int8_t, 16>{0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};
    for (int k = 0; k < 48; ++k) packed.packedIndexes.push_back(static_cast<uint8_t>((k * 5) & 15));
    packed.loopType = 1;
    packed.loopStart = 8;
    packed.loopLength = 40;
    Instrument i2;
    i2.samples = {Wave(false, 100, 0), packed};
    for (int n = 48; n < 96; ++n) i2.noteMap[static_cast<size_t>(n)] = 1;
    fx.instruments = {i1, i2};
    Write(dir, "effects-4ch.xm", fx);

    Song amiga = fx;
    amiga.linearFrequencies = false;
    amiga.orders = {0, 1, 2};  // pattern 2 not stored: 64 empty rows
    Write(dir, "amiga-missing-pattern.xm", amiga);

    std::vector<uint8_t> cut = kestrane::xmw::WriteXm(fx);
    cut.resize(cut.size() - 70);
    std::ofstream(dir + "/truncated.xm", std::ios::binary)
        .write(reinterpret_cast<const char*>(cut.data()), static_cast<std::streamsize>(cut.size()));
    return 0;
}
