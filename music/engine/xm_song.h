// The loaded form of an XM (extended module) song and its loader.
// LoadXm turns module bytes into plain records the renderer plays; it never
// reads outside the bytes it is given, whatever they contain.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrane::music::engine {

// Loader limits.
inline constexpr int kXmMaxSongLength = 256;
inline constexpr int kXmMaxChannels = 64;
inline constexpr int kXmMaxRows = 256;
inline constexpr int kXmMaxSamplesPerInstrument = 16;
inline constexpr int kXmMaxSampleHeaderSize = 40;
inline constexpr uint32_t kXmMaxSampleFrames = 4194304;  // exclusive
inline constexpr int kXmMaxEnvelopePoints = 12;
inline constexpr int kXmNotes = 96;
inline constexpr uint8_t kXmKeyOffNote = 97;  // 97 and above

// Effect numbers of the pattern's effect column (letters as trackers show
// them from 10 on).
enum class XmEffect : uint8_t {
    Arpeggio = 0,
    PortamentoUp = 1,
    PortamentoDown = 2,
    TonePortamento = 3,
    Vibrato = 4,
    TonePortamentoVolumeSlide = 5,
    VibratoVolumeSlide = 6,
    Tremolo = 7,
    SetPanning = 8,
    SampleOffset = 9,
    VolumeSlide = 10,         // A
    PositionJump = 11,        // B
    SetVolume = 12,           // C
    PatternBreak = 13,        // D
    Extended = 14,            // E, the sub-effect in the parameter's high nibble
    SpeedTempo = 15,          // F
    GlobalVolume = 16,        // G
    GlobalVolumeSlide = 17,   // H
    KeyOff = 20,              // K
    EnvelopePosition = 21,    // L
    PanningSlide = 25,        // P
    MultiRetrigger = 27,      // R
    Tremor = 29,              // T
    ExtraFinePortamento = 33  // X
};

// Sub-effects of XmEffect::Extended.
enum class XmExtendedEffect : uint8_t {
    FinePortamentoUp = 0x1,
    FinePortamentoDown = 0x2,
    VibratoWaveform = 0x4,
    Finetune = 0x5,
    PatternLoop = 0x6,
    TremoloWaveform = 0x7,
    SetPanning = 0x8,
    Retrigger = 0x9,
    FineVolumeSlideUp = 0xA,
    FineVolumeSlideDown = 0xB,
    NoteCut = 0xC,
    NoteDelay = 0xD,
    PatternDelay = 0xE,
};

struct XmCell {
    uint8_t note = 0;        // 0 none, 1..96 C-0..B-7, 97+ key off
    uint8_t instrument = 0;  // 0 none, 1..N
    uint8_t volume = 0;      // volume-column byte
    uint8_t effect = 0;      // an XmEffect value; numbers without one do nothing
    uint8_t param = 0;
    XmEffect Effect() const { return static_cast<XmEffect>(effect); }
    XmExtendedEffect Extended() const { return static_cast<XmExtendedEffect>(param >> 4); }
};

struct XmPattern {
    int rows = 64;              // 1..256
    std::vector<XmCell> cells;  // rows x channels, row-major; empty: the rows run without channel processing
};

struct XmEnvelopePoint {
    uint16_t tick = 0;
    uint16_t value = 0;
};

enum XmEnvelopeFlags : uint8_t { kXmEnvOn = 1, kXmEnvSustain = 2, kXmEnvLoop = 4 };

struct XmEnvelope {
    std::array<XmEnvelopePoint, kXmMaxEnvelopePoints> points{};
    uint8_t count = 0;
    uint8_t sustain = 0;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
    uint8_t type = 0;  // XmEnvelopeFlags; the on bit is cleared for fewer than 2 points
    bool On() const { return (type & kXmEnvOn) != 0; }
};

enum class XmLoopType : uint8_t { None = 0, Forward = 1, PingPong = 2 };

struct XmSample {
    uint32_t length = 0;      // frames
    uint32_t loopStart = 0;   // frames; 0 without a loop
    uint32_t loopLength = 0;  // frames; equals length without a loop
    uint8_t volume = 0;       // 0..64
    int8_t finetune = 0;
    XmLoopType loopType = XmLoopType::None;
    bool sixteenBit = false;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    // length + 1 values; data[loopStart + loopLength] is the guard value that
    // lets the mixer interpolate across the loop end.
    std::vector<int16_t> data;

    uint32_t LoopEnd() const { return loopStart + loopLength; }
};

struct XmInstrument {
    std::array<uint8_t, kXmNotes> noteMap{};  // sample index per note; 16+ gives no sample
    XmEnvelope volumeEnvelope;
    XmEnvelope panningEnvelope;
    uint8_t vibratoType = 0;  // 0 sine, 1 square, 2 falling saw, 3 rising saw
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    uint32_t fadeout = 0;  // twice the stored value
    std::vector<XmSample> samples;
};

struct XmSong {
    int songLength = 1;  // order entries, 1..256
    int restartPosition = 0;
    int channels = 1;  // 1..64
    int instrumentCount = 0;
    bool linearFrequencies = true;
    int defaultSpeed = 6;    // ticks per row
    int defaultTempo = 125;  // BPM
    std::array<uint8_t, 256> orders{};
    std::vector<XmPattern> patterns;        // every slot the order table can name exists
    std::vector<XmInstrument> instruments;  // index 0 is instrument 1
};

enum class XmLoadError {
    None,
    BadSongLength,  // 0 or above 256
    NoPatterns,
    BadChannelCount,       // 0 or above 64
    TooManyRows,           // a pattern above 256 rows
    TooManySamples,        // an instrument above 16 samples
    SampleHeaderTooLarge,  // sample header size 41 or more
    SampleTooLong,         // 4,194,304 frames or more
    OutOfMemory,
};

struct XmLoadResult {
    XmLoadError error = XmLoadError::None;
    XmSong song;
    // For a refusal: the pattern or instrument (numbered from 0 and 1, as
    // trackers show them; -1 for none) and the value that broke the limit.
    int where = -1;
    uint64_t value = 0;
    uint16_t version = 0;  // the header's format version, 0x0104 for XM 1.04
    bool ok() const { return error == XmLoadError::None; }
};

// Loads a song from the module's bytes. Bytes missing at the end of a
// truncated module read as zeros, except that sample data is kept only for
// the frames actually present (a sample is cut to the data it has).
XmLoadResult LoadXm(std::span<const uint8_t> bytes);

const char* XmLoadErrorText(XmLoadError error);

// The user's message for a failed load: the limit that was hit, where and by
// what value, and the module's format version when it is not 1.04.
std::string XmLoadMessage(const XmLoadResult& result);

// True when every structure the renderer indexes is consistent (always so
// for a song from LoadXm); the renderer plays nothing of a song that is not.
bool XmSongIsPlayable(const XmSong& song);

}  // namespace kestrane::music::engine
