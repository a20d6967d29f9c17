// Builds XM (extended module) bytes from a plain C++ description of a song,
// so tests and the song generator make modules from code, not byte dumps.
// Samples are given as signed values and written delta-encoded.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrane::xmw {

struct Cell {
    uint8_t note = 0;  // 1..96, 97 key off
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct Pattern {
    int rows = 64;
    // rows x channels, row-major. Left empty, the pattern is written with a
    // packed size of 0 (rows but no cells).
    std::vector<Cell> cells;

    // Makes the cell table full-size for channels (empty cells) and returns
    // the cell; use after setting rows.
    Cell& At(int row, int channel, int channels);
};

struct EnvelopePoint {
    uint16_t tick = 0;
    uint16_t value = 0;
};

struct Envelope {
    std::vector<EnvelopePoint> points;  // up to 12
    uint8_t sustain = 0;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
    uint8_t type = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
};

struct Sample {
    std::string name;
    bool sixteenBit = false;
    std::vector<int16_t> data;  // 8-bit samples use -128..127
    uint32_t loopStart = 0;     // frames
    uint32_t loopLength = 0;    // frames
    uint8_t loopType = 0;       // 0 none, 1 forward, 2 ping-pong
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    // 4-bit packed form: a 16-entry delta table and one table index per frame.
    std::optional<std::array<int8_t, 16>> packedTable;
    std::vector<uint8_t> packedIndexes;
    // Overrides for malformed modules in tests.
    std::optional<uint32_t> declaredLengthBytes;
    std::optional<uint32_t> declaredLoopStartBytes;
    std::optional<uint32_t> declaredLoopLengthBytes;
    std::optional<uint8_t> rawType;
};

struct Instrument {
    std::string name;
    std::array<uint8_t, 96> noteMap{};
    Envelope volumeEnvelope;
    Envelope panningEnvelope;
    uint8_t vibratoType = 0;
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    uint16_t fadeout = 0;
    std::vector<Sample> samples;
    // Overrides for malformed modules in tests.
    std::optional<uint32_t> headerSize;        // default 263 with samples, 29 without
    std::optional<uint32_t> sampleHeaderSize;  // default 40
    std::optional<uint16_t> declaredSampleCount;
};

struct Song {
    std::string name = "kestrane";
    int channels = 1;
    bool linearFrequencies = true;
    int speed = 6;
    int tempo = 125;
    int restartPosition = 0;
    std::vector<uint8_t> orders{0};
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    // Overrides for malformed modules in tests.
    std::optional<uint16_t> declaredSongLength;
    std::optional<uint16_t> declaredPatternCount;
    std::optional<uint16_t> declaredInstrumentCount;
    std::optional<uint32_t> headerSize;  // default 276
};

// Serialises the song. Patterns are written packed (a cell is written in the
// compressed form when that is shorter).
std::vector<uint8_t> WriteXm(const Song& song);

// Helpers for building songs in code.
uint8_t Note(const char* name);  // "C-4", "F#5"; 0 for anything else
Instrument SingleSampleInstrument(Sample sample);

}  // namespace kestrane::xmw
