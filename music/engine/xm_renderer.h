// Renders a loaded XM song to 48 kHz stereo 16-bit PCM, one block of 1,024
// frames at a time: sequencer, effects, envelopes and the integer mixer.
// No thread, clock or device: the caller decides when blocks are made.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "music/engine/xm_math.h"
#include "music/engine/xm_song.h"

namespace kestrane::music::engine {

struct XmEnvelopeState {
    int32_t position = 0;  // ticks
    int point = 0;
    int32_t value = 0;  // 16.16
    int32_t step = 0;   // 16.16 per tick
    bool finished = false;
    int32_t Output() const { return value >> 16; }
};

// One of the two voices of a channel: the current one plays the note, the
// other fades out the previous note over the ramp.
struct XmVoice {
    const XmSample* sample = nullptr;  // null: silent
    uint32_t position = 0;
    uint32_t fraction = 0;
    uint64_t step = 0;  // 32.32
    bool backward = false;
    int32_t targetLeft = 0;  // 0..127
    int32_t targetRight = 0;
    int32_t currentLeft = 0;  // scaled by 128
    int32_t currentRight = 0;
    int32_t rampLeft = 0;  // per frame
    int32_t rampRight = 0;
    int32_t rampFrames = 0;    // frames left in the running ramp
    int32_t rampForLeft = -1;  // targets the running ramp was started for
    int32_t rampForRight = -1;
};

// A short forward loop repeated into one longer stretch of data: the mixer
// plays the copy, so a tiny loop at high pitch wraps a few times per block
// instead of every frame. The values the mixer reads are the same.
struct XmUnrolledLoop {
    std::vector<int16_t> data;  // frames before the loop, the copies, the guard
    uint32_t loopFrames = 0;    // the copies' length
};
inline constexpr uint32_t kXmUnrollBelowFrames = 512;

struct XmChannel {
    int note = 0;        // current note 1..96
    int instrument = 0;  // current instrument 1..N
    const XmSample* sample = nullptr;
    int sampleSlot = -1;  // index into the renderer's finetune table
    int32_t period = 0;
    int32_t targetPeriod = 0;
    int32_t volume = 0;  // not limited by itself
    int32_t panning = 128;
    int32_t volumeOffset = 0;  // per tick: tremolo, tremor
    int32_t periodOffset = 0;  // per tick: vibrato, arpeggio, auto-vibrato
    int32_t lastTremoloOffset = 0;
    XmEnvelopeState volumeEnvelope;
    XmEnvelopeState panningEnvelope;
    int32_t envelopeVolume = 64;
    int32_t envelopePanning = 32;
    int32_t fadeoutVolume = 65536;
    bool keyOff = false;
    int32_t autoVibratoPosition = 0;
    int32_t autoVibratoSweep = 0;
    // Effect memories.
    uint8_t portamento = 0;  // 1 and 2
    uint8_t tonePortamento = 0;
    uint8_t volumeSlide = 0;
    uint8_t panningSlide = 0;
    uint8_t finePortaUp = 0;
    uint8_t finePortaDown = 0;
    uint8_t extraFineUp = 0;
    uint8_t extraFineDown = 0;
    int32_t fineVolumeSlide = 0;  // EA stores -y, EB stores y
    uint8_t sampleOffset = 0;     // units of 256 frames
    uint8_t retrigX = 0;
    uint8_t retrigY = 0;
    uint8_t tremorOn = 0;
    uint8_t tremorOff = 0;
    int32_t tremorCounter = 0;
    int32_t vibratoPosition = 0;
    int32_t vibratoSpeed = 0;
    int32_t vibratoDepth = 0;
    int32_t vibratoWaveform = 0;
    int32_t tremoloPosition = 0;
    int32_t tremoloSpeed = 0;
    int32_t tremoloDepth = 0;
    int32_t tremoloWaveform = 0;
    int32_t loopRow = 0;
    int32_t loopCounter = 0;
    XmEffect previousEffect = XmEffect::Arpeggio;
    // Saved at each row for the note delay.
    int32_t savedPeriod = 0;
    int32_t savedVolume = 0;
    int32_t savedPanning = 128;
    // What the current row or tick changed. The voice update recomputes
    // volume, panning and frequency every time anyway (the result depends
    // only on this state), so these matter for inspection, not for sound.
    bool frequencyChanged = false;
    bool volumeChanged = false;
    bool panningChanged = false;
    bool noteStart = false;
    uint32_t startOffset = 0;  // frame the next note start begins at
    int32_t finalVolume = 0;   // 0..127, last computed
    int32_t effectivePanning = 128;
    int currentVoice = 0;
    XmVoice voices[2];
};

struct XmPosition {
    int order = 0;
    int row = 0;
    int tick = 0;
    int speed = 6;
    int32_t framesPerTick = 0;
    int32_t framesLeftInTick = 0;
    int patternDelay = 0;
    int nextOrder = -1;
    int nextRow = -1;
    int globalVolume = 64;
    uint8_t globalVolumeSlide = 0;
    uint64_t rowsPlayed = 0;  // rows processed since the start, for callers that follow the song
};

class XmRenderer {
public:
    // loop false: the song ends at the end of the order list. A song that
    // fails XmSongIsPlayable renders as silence, ended from the start.
    explicit XmRenderer(std::shared_ptr<const XmSong> song, bool loop = true);

    // Back to the first order with the song's default speed, tempo and
    // volumes, as freshly loaded.
    void Reset();

    // Fills one block of 1,024 interleaved stereo frames. Returns false once
    // the song has ended (no loop): the block holds what played before the
    // end, then silence, and every later block is silent.
    bool RenderBlock(std::span<int16_t, kXmBlockSamples> out);

    // Adds up to acc.size() / 2 frames of the song into acc (interleaved
    // left, right) and returns the frames produced; fewer only when the song
    // ends. The 16-bit conversion is XmConvertSample.
    size_t MixFrames(std::span<int64_t> acc);

    bool Ended() const { return ended_; }
    void SetMasterVolume(int32_t volume) { masterVolume_ = volume; }
    int32_t MasterVolume() const { return masterVolume_; }

    const XmPosition& Position() const { return pos_; }
    const XmChannel& Channel(int index) const { return channels_[static_cast<size_t>(index)]; }
    const XmSong& Song() const { return *song_; }

private:
    void RunTick();
    void ProcessRow();
    void AdvanceRow();
    void ProcessTick();
    void ProcessCell(XmChannel& ch, const XmCell& cell);
    void TickChannel(XmChannel& ch, const XmCell& cell);
    void VolumeColumnRow(XmChannel& ch, uint8_t v);
    void VolumeColumnTick(XmChannel& ch, uint8_t v);
    void EffectRow(XmChannel& ch, const XmCell& cell);
    void EffectTick(XmChannel& ch, const XmCell& cell);
    void ExtendedRow(XmChannel& ch, const XmCell& cell);
    void ExtendedTick(XmChannel& ch, const XmCell& cell);
    void NoteDelayTrigger(XmChannel& ch, const XmCell& cell);
    void StepEnvelopes(XmChannel& ch);
    void StepEnvelope(XmEnvelopeState& st, const XmEnvelope& env, bool keyOff);
    void SetEnvelopePosition(XmChannel& ch, int position);
    void ResetInstrumentState(XmChannel& ch);
    void Vibrato(XmChannel& ch);
    void Tremolo(XmChannel& ch);
    void Tremor(XmChannel& ch);
    void TonePortamento(XmChannel& ch);
    void VolumeSlide(XmChannel& ch, uint8_t param);
    void Retrigger(XmChannel& ch);
    void UpdateVoice(XmChannel& ch);
    void ComputeTargets(XmChannel& ch);
    int32_t NotePeriod(const XmChannel& ch, int note) const;
    int Finetune(const XmChannel& ch) const;
    const XmInstrument* Instrument(const XmChannel& ch) const;
    const XmCell* CellAt(int channel) const;
    void MixRun(int64_t* acc, int frames);
    // True when the voice added into acc32 as well as acc.
    bool MixVoice(XmVoice& v, int64_t* acc, int32_t* acc32, int frames);
    void UnrollShortLoops();
    const XmUnrolledLoop* UnrolledLoop(const XmSample& s) const;

    std::shared_ptr<const XmSong> song_;
    bool loop_ = true;
    bool playable_ = false;
    bool ended_ = false;
    bool endPending_ = false;
    int32_t masterVolume_ = kXmUnityMasterVolume;
    XmPosition pos_;
    std::vector<XmChannel> channels_;
    std::vector<int8_t> finetunes_;    // per sample, changed by E5 until reset
    std::vector<int> sampleSlotBase_;  // first finetune slot per instrument
    std::vector<int64_t> accumulator_;
    std::vector<int32_t> narrowAccumulator_;  // zero between mixing runs
    std::unordered_map<const XmSample*, XmUnrolledLoop> unrolled_;
    bool jumpThisRow_ = false;
    bool breakPastEnd_ = false;
};

// Convenience for tools and tests: renders the whole song (no loop) or at most
// maxFrames frames to interleaved 16-bit PCM.
std::vector<int16_t> XmRenderToPcm(std::shared_ptr<const XmSong> song, size_t maxFrames);

}  // namespace kestrane::music::engine
