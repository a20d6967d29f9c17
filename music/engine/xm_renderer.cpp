// The sequencer and effects of the XM renderer: row and tick processing,
// envelopes, pitch, the voice update and the block fill. The mixer proper is
// in xm_mixer.cpp.
#include "music/engine/xm_renderer.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace kestrane::music::engine {
namespace {

// Stored volumes, pannings and periods are not limited by the effects that
// change them; this bound only keeps weeks of unlimited slides from
// overflowing, far beyond any audible difference.
constexpr int32_t kUnlimitedBound = 1 << 24;

int32_t Bounded(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, -kUnlimitedBound, kUnlimitedBound));
}

bool IsTonePortamento(const XmCell& c) {
    return c.Effect() == XmEffect::TonePortamento || c.Effect() == XmEffect::TonePortamentoVolumeSlide;
}
bool IsVolumeColumnPortamento(uint8_t v) { return v >= 0xF0; }
bool IsNoteDelay(const XmCell& c) {
    return c.Effect() == XmEffect::Extended && c.Extended() == XmExtendedEffect::NoteDelay;
}

}  // namespace

XmRenderer::XmRenderer(std::shared_ptr<const XmSong> song, bool loop) : song_(std::move(song)), loop_(loop) {
    int slots = 0;
    for (const XmInstrument& inst : song_->instruments) {
        sampleSlotBase_.push_back(slots);
        slots += static_cast<int>(inst.samples.size());
    }
    finetunes_.resize(static_cast<size_t>(slots));
    accumulator_.resize(kXmBlockSamples);
    playable_ = XmSongIsPlayable(*song_);
    if (playable_) UnrollShortLoops();
    Reset();
}

void XmRenderer::Reset() {
    pos_ = XmPosition{};
    pos_.speed = song_->defaultSpeed;
    pos_.framesPerTick = XmFramesPerTick(song_->defaultTempo);
    pos_.framesLeftInTick = 0;
    pos_.globalVolume = 64;
    channels_.assign(static_cast<size_t>(std::max(song_->channels, 0)), XmChannel{});
    size_t k = 0;
    for (const XmInstrument& inst : song_->instruments)
        for (const XmSample& s : inst.samples) finetunes_[k++] = s.finetune;
    ended_ = !playable_;
    endPending_ = false;
    jumpThisRow_ = false;
    breakPastEnd_ = false;
}

const XmInstrument* XmRenderer::Instrument(const XmChannel& ch) const {
    if (ch.instrument <= 0 || ch.instrument > static_cast<int>(song_->instruments.size())) return nullptr;
    return &song_->instruments[static_cast<size_t>(ch.instrument - 1)];
}

int XmRenderer::Finetune(const XmChannel& ch) const {
    return ch.sampleSlot >= 0 ? finetunes_[static_cast<size_t>(ch.sampleSlot)] : 0;
}

int32_t XmRenderer::NotePeriod(const XmChannel& ch, int note) const {
    return XmNotePeriod(song_->linearFrequencies, note, Finetune(ch));
}

const XmCell* XmRenderer::CellAt(int channel) const {
    const XmPattern& p = song_->patterns[song_->orders[static_cast<size_t>(pos_.order)]];
    if (p.cells.empty()) return nullptr;
    return &p.cells[static_cast<size_t>(pos_.row) * static_cast<size_t>(song_->channels) +
                    static_cast<size_t>(channel)];
}

// ---------------------------------------------------------------- block fill

bool XmRenderer::RenderBlock(std::span<int16_t, kXmBlockSamples> out) {
    std::fill(accumulator_.begin(), accumulator_.end(), 0);
    MixFrames(accumulator_);
    XmConvertBlock(accumulator_.data(), out.data(), out.size(), masterVolume_);
    return !ended_;
}

size_t XmRenderer::MixFrames(std::span<int64_t> acc) {
    const size_t frames = acc.size() / 2;
    size_t done = 0;
    while (done < frames && !ended_) {
        if (pos_.framesLeftInTick <= 0) {
            RunTick();
            if (ended_) break;
        }
        const size_t n = std::min<size_t>(frames - done, static_cast<size_t>(pos_.framesLeftInTick));
        MixRun(acc.data() + 2 * done, static_cast<int>(n));
        done += n;
        pos_.framesLeftInTick -= static_cast<int32_t>(n);
    }
    // Report the end as soon as the last row has played out, so a caller
    // rendering block by block learns it with the block that finished it.
    if (!ended_ && endPending_ && pos_.tick == 0 && pos_.framesLeftInTick <= 0) ended_ = true;
    return done;
}

void XmRenderer::RunTick() {
    if (pos_.tick == 0) {
        if (endPending_) {
            ended_ = true;
            return;
        }
        if (pos_.nextOrder >= 0) pos_.order = pos_.nextOrder;
        if (pos_.nextRow >= 0) pos_.row = pos_.nextRow;
        pos_.nextOrder = -1;
        pos_.nextRow = -1;
        // A break or loop aimed past the end of its pattern starts it at row 0.
        const XmPattern& p = song_->patterns[song_->orders[static_cast<size_t>(pos_.order)]];
        if (pos_.row >= p.rows) pos_.row = 0;
        ProcessRow();
        AdvanceRow();
        ++pos_.rowsPlayed;
    } else {
        ProcessTick();
    }
    ++pos_.tick;
    if (pos_.tick >= pos_.speed + pos_.patternDelay) {
        pos_.tick = 0;
        pos_.patternDelay = 0;
    }
    pos_.framesLeftInTick = pos_.framesPerTick;
}

void XmRenderer::AdvanceRow() {
    if (pos_.nextOrder >= 0 || pos_.nextRow >= 0) {
        // A pattern break past the last order ends a song that does not loop.
        if (breakPastEnd_ && !loop_) endPending_ = true;
        return;
    }
    const XmPattern& p = song_->patterns[song_->orders[static_cast<size_t>(pos_.order)]];
    int row = pos_.row + 1;
    if (row >= p.rows) {
        row = 0;
        int order = pos_.order + 1;
        if (order >= song_->songLength) {
            if (!loop_) endPending_ = true;
            order = song_->restartPosition < song_->songLength ? song_->restartPosition : 0;
        }
        pos_.nextOrder = order;
    }
    pos_.nextRow = row;
}

void XmRenderer::ProcessRow() {
    jumpThisRow_ = false;
    breakPastEnd_ = false;
    for (int c = 0; c < song_->channels; ++c) {
        const XmCell* cell = CellAt(c);
        if (cell == nullptr) return;  // a pattern stored without cells: voices sound on unchanged
        ProcessCell(channels_[static_cast<size_t>(c)], *cell);
    }
}

void XmRenderer::ProcessTick() {
    for (int c = 0; c < song_->channels; ++c) {
        const XmCell* cell = CellAt(c);
        if (cell == nullptr) return;
        TickChannel(channels_[static_cast<size_t>(c)], *cell);
    }
}

// ------------------------------------------------------------ row processing

void XmRenderer::ResetInstrumentState(XmChannel& ch) {
    ch.envelopeVolume = 64;
    ch.envelopePanning = 32;
    ch.fadeoutVolume = 65536;
    ch.volumeEnvelope = XmEnvelopeState{};
    ch.panningEnvelope = XmEnvelopeState{};
    ch.keyOff = false;
    ch.autoVibratoPosition = 0;
    ch.autoVibratoSweep = 0;
    if (ch.vibratoWaveform < 4) ch.vibratoPosition = 0;
    if (ch.tremoloWaveform < 4) ch.tremoloPosition = 0;
}

void XmRenderer::ProcessCell(XmChannel& ch, const XmCell& cell) {
    const bool porta = IsTonePortamento(cell);
    const bool hasNote = cell.note >= 1 && cell.note <= kXmNotes;
    // 1-2: current instrument, note and sample.
    if (!porta) {
        if (cell.instrument != 0) ch.instrument = cell.instrument;
        if (hasNote) ch.note = cell.note;
    }
    ch.sample = nullptr;
    ch.sampleSlot = -1;
    if (const XmInstrument* inst = Instrument(ch); inst != nullptr && ch.note >= 1 && ch.note <= kXmNotes) {
        const uint8_t index = inst->noteMap[static_cast<size_t>(ch.note - 1)];
        if (index < kXmMaxSamplesPerInstrument && index < inst->samples.size()) {
            ch.sample = &inst->samples[index];
            ch.sampleSlot = sampleSlotBase_[static_cast<size_t>(ch.instrument - 1)] + index;
        }
    }
    // 3: saved values for a note delay; tremolo ending leaves its offset.
    ch.savedPeriod = ch.period;
    ch.savedVolume = ch.volume;
    ch.savedPanning = ch.panning;
    if (ch.previousEffect == XmEffect::Tremolo && cell.Effect() != XmEffect::Tremolo)
        ch.volume = Bounded(int64_t{ch.volume} + ch.lastTremoloOffset);
    ch.volumeOffset = 0;
    ch.periodOffset = 0;
    ch.frequencyChanged = true;
    ch.volumeChanged = true;
    ch.panningChanged = false;
    ch.noteStart = false;
    ch.startOffset = 0;
    // 4: the note.
    if (hasNote) {
        const int n = cell.note - 1 + (ch.sample ? ch.sample->relativeNote : 0);
        ch.targetPeriod = NotePeriod(ch, n);
        if (!porta && !IsVolumeColumnPortamento(cell.volume)) ch.period = ch.targetPeriod;
        ch.noteStart = true;
    }
    // 5: the instrument.
    if (cell.instrument != 0) {
        if (ch.sample != nullptr) {
            ch.volume = ch.sample->volume;
            ch.panning = ch.sample->panning;
        }
        ResetInstrumentState(ch);
        ch.panningChanged = true;
    }
    // 6-7.
    VolumeColumnRow(ch, cell.volume);
    if (cell.note >= kXmKeyOffNote || cell.Effect() == XmEffect::KeyOff) ch.keyOff = true;
    // 8-9: envelopes and fadeout.
    StepEnvelopes(ch);
    if (ch.keyOff) {
        const XmInstrument* inst = Instrument(ch);
        const int64_t fade = inst ? inst->fadeout : 0;
        ch.fadeoutVolume = static_cast<int32_t>(std::max<int64_t>(0, ch.fadeoutVolume - fade));
    }
    // 10-11.
    EffectRow(ch, cell);
    ch.previousEffect = cell.Effect();
    if (IsNoteDelay(cell)) {
        ch.period = ch.savedPeriod;
        ch.volume = ch.savedVolume;
        ch.panning = ch.savedPanning;
        ch.noteStart = false;
        return;
    }
    UpdateVoice(ch);
}

void XmRenderer::TickChannel(XmChannel& ch, const XmCell& cell) {
    if (IsNoteDelay(cell)) {
        if (pos_.tick == (cell.param & 0x0F)) NoteDelayTrigger(ch, cell);
        return;
    }
    ch.volumeOffset = 0;
    ch.periodOffset = 0;
    ch.frequencyChanged = false;
    ch.volumeChanged = false;
    ch.panningChanged = false;
    ch.noteStart = false;
    ch.startOffset = 0;
    StepEnvelopes(ch);
    if (ch.keyOff) {
        const XmInstrument* inst = Instrument(ch);
        const int64_t fade = inst ? inst->fadeout : 0;
        ch.fadeoutVolume = static_cast<int32_t>(std::max<int64_t>(0, ch.fadeoutVolume - fade));
        ch.volumeChanged = true;
    }
    VolumeColumnTick(ch, cell.volume);
    EffectTick(ch, cell);
    UpdateVoice(ch);
}

void XmRenderer::NoteDelayTrigger(XmChannel& ch, const XmCell& cell) {
    ch.volumeOffset = 0;
    ch.periodOffset = 0;
    ch.startOffset = 0;
    ch.fadeoutVolume = 65536;
    if (ch.sample != nullptr) ch.volume = ch.sample->volume;
    ch.volumeEnvelope = XmEnvelopeState{};
    ch.panningEnvelope = XmEnvelopeState{};
    ch.autoVibratoPosition = 0;
    ch.autoVibratoSweep = 0;
    ch.envelopeVolume = ch.envelopeVolume <= 9 ? 0 : 64;
    if (ch.vibratoWaveform < 4) ch.vibratoPosition = 0;
    if (ch.tremoloWaveform < 4) ch.tremoloPosition = 0;
    ch.period = ch.targetPeriod;
    ch.noteStart = true;
    VolumeColumnRow(ch, cell.volume);
    // The envelopes are not stepped on the trigger tick: the envelope volume
    // just set is what sounds now, and the envelope starts at its first point
    // on the next tick.
    ch.frequencyChanged = ch.volumeChanged = ch.panningChanged = true;
    UpdateVoice(ch);
}

// ---------------------------------------------------------------- envelopes

void XmRenderer::StepEnvelope(XmEnvelopeState& st, const XmEnvelope& env, bool keyOff) {
    if (st.finished) return;
    if (st.point >= env.count) {
        ++st.position;
        return;
    }
    if (st.position >= env.points[static_cast<size_t>(st.point)].tick) {
        if ((env.type & kXmEnvLoop) && st.point == env.loopEnd) {
            st.point = env.loopStart;
            st.position = env.points[static_cast<size_t>(st.point)].tick;
        }
        const XmEnvelopePoint& here = env.points[static_cast<size_t>(st.point)];
        st.value = int32_t{here.value} << 16;
        if (st.point >= env.count - 1) {
            st.finished = true;
            st.step = 0;
            return;
        }
        if ((env.type & kXmEnvSustain) && st.point == env.sustain && !keyOff) {
            st.step = 0;
            return;
        }
        const XmEnvelopePoint& next = env.points[static_cast<size_t>(st.point + 1)];
        const int32_t dt = int32_t{next.tick} - int32_t{here.tick};
        st.step = dt > 0 ? (int32_t{next.value} - int32_t{here.value}) * 65536 / dt : 0;
        ++st.point;
    } else {
        st.value += st.step;
    }
    ++st.position;
}

void XmRenderer::StepEnvelopes(XmChannel& ch) {
    const XmInstrument* inst = Instrument(ch);
    if (inst != nullptr && inst->volumeEnvelope.On()) {
        StepEnvelope(ch.volumeEnvelope, inst->volumeEnvelope, ch.keyOff);
        ch.envelopeVolume = std::clamp(ch.volumeEnvelope.Output(), 0, 64);
        ch.volumeChanged = true;
    } else if (ch.keyOff) {
        ch.envelopeVolume = 0;
        ch.volumeChanged = true;
    }
    if (inst != nullptr && inst->panningEnvelope.On()) {
        StepEnvelope(ch.panningEnvelope, inst->panningEnvelope, ch.keyOff);
        ch.envelopePanning = std::clamp(ch.panningEnvelope.Output(), 0, 64);
        ch.panningChanged = true;
    }
}

void XmRenderer::SetEnvelopePosition(XmChannel& ch, int position) {
    const XmInstrument* inst = Instrument(ch);
    if (inst == nullptr || !inst->volumeEnvelope.On()) return;
    const XmEnvelope& env = inst->volumeEnvelope;
    XmEnvelopeState& st = ch.volumeEnvelope;
    st.position = position;
    st.finished = false;
    const XmEnvelopePoint& last = env.points[static_cast<size_t>(env.count - 1)];
    if (position >= last.tick) {
        st.point = env.count - 1;
        st.value = int32_t{last.value} << 16;
        st.step = 0;
        st.finished = true;
    } else {
        int i = 0;
        while (i + 1 < env.count - 1 && env.points[static_cast<size_t>(i + 1)].tick <= position) ++i;
        const XmEnvelopePoint& a = env.points[static_cast<size_t>(i)];
        const XmEnvelopePoint& b = env.points[static_cast<size_t>(i + 1)];
        const int32_t dt = int32_t{b.tick} - int32_t{a.tick};
        if (position < a.tick || dt <= 0) {
            st.point = i;
            st.value = int32_t{a.value} << 16;
            st.step = 0;
        } else {
            st.step = (int32_t{b.value} - int32_t{a.value}) * 65536 / dt;
            st.value = (int32_t{a.value} << 16) + st.step * (position - a.tick);
            st.point = i + 1;
        }
    }
    ch.envelopeVolume = std::clamp(st.Output(), 0, 64);
    ch.volumeChanged = true;
}

// ---------------------------------------------------------- volume column

void XmRenderer::VolumeColumnRow(XmChannel& ch, uint8_t v) {
    const int lo = v & 0x0F;
    switch (v >> 4) {
        case 0x1:
        case 0x2:
        case 0x3:
        case 0x4:
            ch.volume = v - 0x10;
            break;
        case 0x5:
            if (v == 0x50) ch.volume = 64;
            break;
        case 0x6:
        case 0x8:
            ch.volume = Bounded(int64_t{ch.volume} - lo);
            break;
        case 0x7:
        case 0x9:
            ch.volume = Bounded(int64_t{ch.volume} + lo);
            break;
        case 0xA:
            ch.vibratoSpeed = lo;
            break;
        case 0xB:
            ch.vibratoDepth = lo;
            break;
        case 0xC:
            ch.panning = lo * 16;
            ch.panningChanged = true;
            break;
        case 0xD:
            ch.panning = Bounded(int64_t{ch.panning} - lo);
            ch.panningChanged = true;
            break;
        case 0xE:
            ch.panning = Bounded(int64_t{ch.panning} + lo);
            ch.panningChanged = true;
            break;
        case 0xF:
            if (lo != 0) ch.tonePortamento = static_cast<uint8_t>(lo * 16);
            ch.noteStart = false;
            break;
        default:
            break;
    }
}

void XmRenderer::VolumeColumnTick(XmChannel& ch, uint8_t v) {
    const int lo = v & 0x0F;
    switch (v >> 4) {
        case 0x6:
            ch.volume = Bounded(int64_t{ch.volume} - lo);
            ch.volumeChanged = true;
            break;
        case 0x7:
            ch.volume = Bounded(int64_t{ch.volume} + lo);
            ch.volumeChanged = true;
            break;
        case 0xB:
            ch.vibratoDepth = lo;
            Vibrato(ch);
            break;
        case 0xD:
            ch.panning = Bounded(int64_t{ch.panning} - lo);
            ch.panningChanged = true;
            break;
        case 0xE:
            ch.panning = Bounded(int64_t{ch.panning} + lo);
            ch.panningChanged = true;
            break;
        case 0xF:
            TonePortamento(ch);
            break;
        default:
            break;
    }
}

// ----------------------------------------------------------------- effects

void XmRenderer::Vibrato(XmChannel& ch) {
    const int32_t v = (XmVibratoWave(ch.vibratoWaveform, ch.vibratoPosition) * ch.vibratoDepth) >> 5;
    ch.periodOffset += v / 2;
    ch.vibratoPosition = (ch.vibratoPosition + ch.vibratoSpeed) & 63;
    ch.frequencyChanged = true;
}

void XmRenderer::Tremolo(XmChannel& ch) {
    const int32_t v = (XmVibratoWave(ch.tremoloWaveform, ch.tremoloPosition) * ch.tremoloDepth) >> 5;
    ch.volumeOffset = v;
    ch.lastTremoloOffset = v;
    ch.tremoloPosition = (ch.tremoloPosition + ch.tremoloSpeed) & 63;
    ch.volumeChanged = true;
}

void XmRenderer::Tremor(XmChannel& ch) {
    if (ch.tremorCounter > ch.tremorOn) ch.volumeOffset = -ch.volume;
    ++ch.tremorCounter;
    if (ch.tremorCounter > ch.tremorOn + ch.tremorOff) ch.tremorCounter = 0;
    ch.volumeChanged = true;
}

void XmRenderer::TonePortamento(XmChannel& ch) {
    const int32_t speed = 4 * ch.tonePortamento;
    if (ch.period < ch.targetPeriod)
        ch.period = std::min(ch.period + speed, ch.targetPeriod);
    else if (ch.period > ch.targetPeriod)
        ch.period = std::max(ch.period - speed, ch.targetPeriod);
    ch.frequencyChanged = true;
}

void XmRenderer::VolumeSlide(XmChannel& ch, uint8_t param) {
    if (param >> 4)
        ch.volume = Bounded(int64_t{ch.volume} + (param >> 4));
    else
        ch.volume = Bounded(int64_t{ch.volume} - (param & 0x0F));
    ch.volumeChanged = true;
}

void XmRenderer::Retrigger(XmChannel& ch) {
    ch.noteStart = true;
    ch.startOffset = 0;
    int64_t v = ch.volume;
    switch (ch.retrigX) {
        case 1:
            v -= 1;
            break;
        case 2:
            v -= 2;
            break;
        case 3:
            v -= 4;
            break;
        case 4:
            v -= 8;
            break;
        case 5:
            v -= 16;
            break;
        case 6:
            v = v * 2 / 3;
            break;
        case 7:
            v = v / 2;
            break;
        case 9:
            v += 1;
            break;
        case 10:
            v += 2;
            break;
        case 11:
            v += 4;
            break;
        case 12:
            v += 8;
            break;
        case 13:
            v += 16;
            break;
        case 14:
            v = v * 3 / 2;
            break;
        case 15:
            v = v * 2;
            break;
        default:
            break;
    }
    ch.volume = Bounded(v);
    ch.volumeChanged = true;
}

void XmRenderer::EffectRow(XmChannel& ch, const XmCell& cell) {
    const uint8_t p = cell.param;
    const int x = p >> 4;
    const int y = p & 0x0F;
    switch (cell.Effect()) {
        case XmEffect::PortamentoUp:
        case XmEffect::PortamentoDown:
            if (p) ch.portamento = p;
            break;
        case XmEffect::TonePortamento:
            if (p) ch.tonePortamento = p;
            ch.noteStart = false;
            break;
        case XmEffect::Vibrato:
            if (x) ch.vibratoSpeed = x;
            if (y) ch.vibratoDepth = y;
            Vibrato(ch);
            break;
        case XmEffect::TonePortamentoVolumeSlide:
            if (p) ch.volumeSlide = p;
            ch.noteStart = false;
            break;
        case XmEffect::VibratoVolumeSlide:
            if (p) ch.volumeSlide = p;
            Vibrato(ch);
            break;
        case XmEffect::Tremolo:
            if (x) ch.tremoloSpeed = x;
            if (y) ch.tremoloDepth = y;
            break;
        case XmEffect::SetPanning:
            ch.panning = p;
            ch.panningChanged = true;
            break;
        case XmEffect::SampleOffset:
            if (p) ch.sampleOffset = p;
            if (ch.noteStart && ch.sample != nullptr) {
                const uint32_t offset = uint32_t{ch.sampleOffset} * 256;
                if (offset >= ch.sample->LoopEnd()) {
                    ch.noteStart = false;
                    XmVoice& v = ch.voices[ch.currentVoice];
                    if (v.sample != nullptr) {
                        v.position = 0;
                        v.fraction = 0;
                        v.backward = false;
                    }
                } else {
                    ch.startOffset = offset;
                }
            }
            break;
        case XmEffect::VolumeSlide:
            if (p) ch.volumeSlide = p;
            break;
        case XmEffect::PositionJump:
            pos_.nextOrder = p < song_->songLength ? p : 0;
            pos_.nextRow = 0;
            jumpThisRow_ = true;
            breakPastEnd_ = false;
            break;
        case XmEffect::SetVolume:
            ch.volume = p;
            break;
        case XmEffect::PatternBreak:
            pos_.nextRow = 10 * x + y;
            if (!jumpThisRow_) {
                const int next = pos_.order + 1;
                breakPastEnd_ = next >= song_->songLength;
                pos_.nextOrder = breakPastEnd_ ? 0 : next;
            }
            break;
        case XmEffect::Extended:
            ExtendedRow(ch, cell);
            break;
        case XmEffect::SpeedTempo:
            if (p < 32) {
                pos_.speed = p;
            } else {
                pos_.framesPerTick = XmFramesPerTick(p);
            }
            break;
        case XmEffect::GlobalVolume:
            pos_.globalVolume = p;
            break;
        case XmEffect::GlobalVolumeSlide:
            if (p) pos_.globalVolumeSlide = p;
            break;
        case XmEffect::EnvelopePosition:
            SetEnvelopePosition(ch, p);
            break;
        case XmEffect::PanningSlide:
            if (p) ch.panningSlide = p;
            break;
        case XmEffect::MultiRetrigger:
            if (p) {
                ch.retrigX = static_cast<uint8_t>(x);
                ch.retrigY = static_cast<uint8_t>(y);
            }
            break;
        case XmEffect::Tremor:
            if (x) ch.tremorOn = static_cast<uint8_t>(x);
            if (y) ch.tremorOff = static_cast<uint8_t>(y);
            Tremor(ch);
            break;
        case XmEffect::ExtraFinePortamento:
            if (x == 1) {
                if (y) ch.extraFineUp = static_cast<uint8_t>(y);
                ch.period = Bounded(int64_t{ch.period} - ch.extraFineUp);
            } else if (x == 2) {
                if (y) ch.extraFineDown = static_cast<uint8_t>(y);
                ch.period = Bounded(int64_t{ch.period} + ch.extraFineDown);
            }
            break;
        default:
            break;
    }
}

void XmRenderer::EffectTick(XmChannel& ch, const XmCell& cell) {
    const uint8_t p = cell.param;
    const int x = p >> 4;
    const int y = p & 0x0F;
    switch (cell.Effect()) {
        case XmEffect::Arpeggio:
            if (p != 0) {
                const int semitones = pos_.tick % 3 == 1 ? x : pos_.tick % 3 == 2 ? y : 0;
                if (semitones != 0) {
                    if (song_->linearFrequencies) {
                        ch.periodOffset -= 64 * semitones;
                    } else {
                        const int n = ch.note - 1 + (ch.sample ? ch.sample->relativeNote : 0);
                        ch.periodOffset += NotePeriod(ch, n + semitones) - NotePeriod(ch, n);
                    }
                }
            }
            break;
        case XmEffect::PortamentoUp:
            ch.period = std::max<int32_t>(1, ch.period - 4 * ch.portamento);
            break;
        case XmEffect::PortamentoDown:
            ch.period = Bounded(int64_t{ch.period} + 4 * ch.portamento);
            break;
        case XmEffect::TonePortamento:
            TonePortamento(ch);
            break;
        case XmEffect::Vibrato:
            Vibrato(ch);
            break;
        case XmEffect::TonePortamentoVolumeSlide:
            TonePortamento(ch);
            VolumeSlide(ch, ch.volumeSlide);
            break;
        case XmEffect::VibratoVolumeSlide:
            Vibrato(ch);
            VolumeSlide(ch, ch.volumeSlide);
            break;
        case XmEffect::Tremolo:
            Tremolo(ch);
            break;
        case XmEffect::VolumeSlide:
            VolumeSlide(ch, ch.volumeSlide);
            break;
        case XmEffect::Extended:
            ExtendedTick(ch, cell);
            break;
        case XmEffect::GlobalVolumeSlide: {
            const uint8_t m = pos_.globalVolumeSlide;
            pos_.globalVolume = Bounded(int64_t{pos_.globalVolume} + ((m >> 4) ? (m >> 4) : -(m & 0x0F)));
            break;
        }
        case XmEffect::PanningSlide: {
            const uint8_t m = ch.panningSlide;
            if (m >> 4)
                ch.panning = std::min(255, ch.panning + (m >> 4));
            else
                ch.panning = std::max(0, ch.panning - (m & 0x0F));
            ch.panningChanged = true;
            break;
        }
        case XmEffect::MultiRetrigger:
            if (ch.retrigY != 0 && pos_.tick % ch.retrigY == 0) Retrigger(ch);
            break;
        case XmEffect::Tremor:
            Tremor(ch);
            break;
        default:
            break;
    }
    (void)x;
    (void)y;
}

void XmRenderer::ExtendedRow(XmChannel& ch, const XmCell& cell) {
    const int y = cell.param & 0x0F;
    switch (cell.Extended()) {
        case XmExtendedEffect::FinePortamentoUp:
            if (y) ch.finePortaUp = static_cast<uint8_t>(y);
            ch.period = Bounded(int64_t{ch.period} - 4 * ch.finePortaUp);
            break;
        case XmExtendedEffect::FinePortamentoDown:
            if (y) ch.finePortaDown = static_cast<uint8_t>(y);
            ch.period = Bounded(int64_t{ch.period} + 4 * ch.finePortaDown);
            break;
        case XmExtendedEffect::VibratoWaveform:
            ch.vibratoWaveform = y;
            break;
        case XmExtendedEffect::Finetune:
            if (ch.sampleSlot >= 0) finetunes_[static_cast<size_t>(ch.sampleSlot)] = static_cast<int8_t>(y);
            break;
        case XmExtendedEffect::PatternLoop:
            if (y == 0) {
                ch.loopRow = pos_.row;
            } else {
                ch.loopCounter = ch.loopCounter == 0 ? y : ch.loopCounter - 1;
                if (ch.loopCounter != 0) pos_.nextRow = ch.loopRow;
            }
            break;
        case XmExtendedEffect::TremoloWaveform:
            ch.tremoloWaveform = y;
            break;
        case XmExtendedEffect::SetPanning:
            ch.panning = y * 16;
            ch.panningChanged = true;
            break;
        case XmExtendedEffect::FineVolumeSlideUp:
            if (y) ch.fineVolumeSlide = -y;
            ch.volume = Bounded(int64_t{ch.volume} - ch.fineVolumeSlide);
            break;
        case XmExtendedEffect::FineVolumeSlideDown:
            if (y) ch.fineVolumeSlide = y;
            ch.volume = Bounded(int64_t{ch.volume} - ch.fineVolumeSlide);
            break;
        case XmExtendedEffect::PatternDelay:
            pos_.patternDelay = y * pos_.speed;
            break;
        default:
            break;
    }
}

void XmRenderer::ExtendedTick(XmChannel& ch, const XmCell& cell) {
    const XmExtendedEffect x = cell.Extended();
    const int y = cell.param & 0x0F;
    if (x == XmExtendedEffect::Retrigger && y != 0 && pos_.tick % y == 0) {
        ch.noteStart = true;
        ch.startOffset = 0;
    } else if (x == XmExtendedEffect::NoteCut && pos_.tick == y) {
        ch.volume = 0;
        ch.volumeChanged = true;
    }
}

// ------------------------------------------------------------- voice update

void XmRenderer::ComputeTargets(XmChannel& ch) {
    int64_t base = (int64_t{ch.volume} + ch.volumeOffset) * 255 * pos_.globalVolume;
    base = std::clamp<int64_t>(base, 0, 64 * 64 * 255);
    ch.finalVolume = static_cast<int32_t>((base * ch.envelopeVolume * ch.fadeoutVolume) >> 35);
    const int64_t pan = ch.panning;
    int64_t spread = 128 - std::llabs(pan - 128);
    spread /= 32;
    ch.effectivePanning =
        static_cast<int32_t>(std::clamp<int64_t>(pan + (ch.envelopePanning - 32) * spread, 0, 255));
    XmVoice& v = ch.voices[ch.currentVoice];
    v.targetRight = ch.finalVolume * ch.effectivePanning / 255;
    v.targetLeft = ch.finalVolume * (255 - ch.effectivePanning) / 255;
}

void XmRenderer::UpdateVoice(XmChannel& ch) {
    // 1: auto-vibrato, every tick.
    if (const XmInstrument* inst = Instrument(ch); inst != nullptr) {
        int64_t v =
            int64_t{XmAutoVibratoWave(inst->vibratoType, ch.autoVibratoPosition)} * inst->vibratoDepth;
        if (inst->vibratoSweep != 0) v = v * ch.autoVibratoSweep / inst->vibratoSweep;
        ch.periodOffset += static_cast<int32_t>(v >> 6);
        if (ch.autoVibratoSweep < inst->vibratoSweep) ++ch.autoVibratoSweep;
        ch.autoVibratoPosition = (ch.autoVibratoPosition + inst->vibratoRate) & 255;
    }
    // 2: note start with the hand-over to the other voice.
    if (ch.noteStart) {
        XmVoice& old = ch.voices[ch.currentVoice];
        if (old.sample != nullptr) {
            ch.currentVoice ^= 1;
            ch.voices[ch.currentVoice] = old;
            old.targetLeft = 0;
            old.targetRight = 0;
        }
        XmVoice& v = ch.voices[ch.currentVoice];
        v.sample = ch.sample;
        v.position = ch.startOffset;
        v.fraction = 0;
        v.backward = false;
        v.currentLeft = 0;
        v.currentRight = 0;
        v.rampLeft = 0;
        v.rampRight = 0;
        v.rampFrames = 0;
        v.rampForLeft = -1;
        v.rampForRight = -1;
        ch.noteStart = false;
    }
    // 3-4: volumes and panning. Both are recomputed on every update: the
    // result depends only on the channel's state, and envelopes, fadeout and
    // the global volume change without touching the channel's own fields.
    ComputeTargets(ch);
    // 5: frequency, also every tick (auto-vibrato and the per-tick offsets).
    const uint32_t f = song_->linearFrequencies ? XmLinearFrequency(ch.period, ch.periodOffset)
                                                : XmAmigaFrequency(ch.period, ch.periodOffset);
    ch.voices[ch.currentVoice].step = XmStepForFrequency(f);
    ch.frequencyChanged = ch.volumeChanged = ch.panningChanged = false;
}

std::vector<int16_t> XmRenderToPcm(std::shared_ptr<const XmSong> song, size_t maxFrames) {
    XmRenderer r(std::move(song), false);
    std::vector<int16_t> pcm;
    std::vector<int64_t> acc(kXmBlockSamples);
    size_t frames = 0;
    while (frames < maxFrames && !r.Ended()) {
        const size_t want = std::min<size_t>(kXmBlockFrames, maxFrames - frames);
        std::fill(acc.begin(), acc.end(), 0);
        const size_t got = r.MixFrames(std::span<int64_t>(acc.data(), 2 * want));
        pcm.resize(2 * (frames + got));
        int16_t* out = pcm.data() + 2 * frames;
        XmConvertBlock(acc.data(), out, 2 * got, r.MasterVolume());
        frames += got;
        if (got < want) break;
    }
    return pcm;
}

}  // namespace kestrane::music::engine
