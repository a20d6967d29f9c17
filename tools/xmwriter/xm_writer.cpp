// Serialises a song description into XM bytes: header, packed patterns,
// instruments with their sample headers and delta-encoded sample data.
#include "xm_writer.h"

#include <algorithm>
#include <cstring>

namespace kestrane::xmw {
namespace {

class Out {
public:
    void U8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    // Fixed-width text field, cut or padded with zeros.
    void Text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) U8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    size_t Size() const { return bytes_.size(); }
    void Patch16(size_t at, uint32_t v) {
        bytes_[at] = static_cast<uint8_t>(v & 0xFF);
        bytes_[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

void WriteCell(Out& out, const Cell& c) {
    const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
    int present = 0;
    uint8_t mask = 0x80;
    for (int i = 0; i < 5; ++i) {
        if (fields[i] != 0) {
            ++present;
            mask |= static_cast<uint8_t>(1u << i);
        }
    }
    if (1 + present < 5 || (fields[0] & 0x80) != 0) {
        out.U8(mask);
        for (int i = 0; i < 5; ++i)
            if (fields[i] != 0) out.U8(fields[i]);
    } else {
        for (uint8_t f : fields) out.U8(f);
    }
}

void WritePattern(Out& out, const Pattern& p, int channels) {
    out.U32(9);
    out.U8(0);
    out.U16(static_cast<uint32_t>(p.rows));
    const size_t sizeAt = out.Size();
    out.U16(0);
    if (p.cells.empty()) return;
    const size_t start = out.Size();
    const size_t cells =
        static_cast<size_t>(std::max(p.rows, 0)) * static_cast<size_t>(std::max(channels, 0));
    for (size_t i = 0; i < cells; ++i) WriteCell(out, i < p.cells.size() ? p.cells[i] : Cell{});
    out.Patch16(sizeAt, static_cast<uint32_t>(out.Size() - start));
}

void WriteEnvelopePoints(Out& out, const Envelope& e) {
    for (size_t i = 0; i < 12; ++i) {
        if (i < e.points.size()) {
            out.U16(e.points[i].tick);
            out.U16(e.points[i].value);
        } else {
            out.U32(0);
        }
    }
}

uint32_t SampleLengthBytes(const Sample& s) {
    if (s.packedTable) return static_cast<uint32_t>(s.packedIndexes.size());
    return static_cast<uint32_t>(s.data.size()) * (s.sixteenBit ? 2u : 1u);
}

void WriteSampleHeader(Out& out, const Sample& s) {
    const uint32_t unit = s.sixteenBit ? 2u : 1u;
    out.U32(s.declaredLengthBytes.value_or(SampleLengthBytes(s)));
    out.U32(s.declaredLoopStartBytes.value_or(s.loopStart * unit));
    out.U32(s.declaredLoopLengthBytes.value_or(s.loopLength * unit));
    out.U8(s.volume);
    out.U8(static_cast<uint8_t>(s.finetune));
    uint8_t type = static_cast<uint8_t>((s.loopType & 3) | (s.sixteenBit ? 0x10 : 0));
    out.U8(s.rawType.value_or(type));
    out.U8(s.panning);
    out.U8(static_cast<uint8_t>(s.relativeNote));
    out.U8(s.packedTable ? 0xAD : 0);
    out.Text(s.name, 22);
}

void WriteSampleData(Out& out, const Sample& s) {
    if (s.packedTable) {
        for (int8_t d : *s.packedTable) out.U8(static_cast<uint8_t>(d));
        for (size_t i = 0; i < s.packedIndexes.size(); i += 2) {
            const uint8_t lo = s.packedIndexes[i] & 0x0F;
            const uint8_t hi = i + 1 < s.packedIndexes.size() ? (s.packedIndexes[i + 1] & 0x0F) : 0;
            out.U8(static_cast<uint8_t>(lo | (hi << 4)));
        }
        return;
    }
    int32_t previous = 0;
    for (int16_t v : s.data) {
        const int32_t delta = v - previous;
        previous = v;
        if (s.sixteenBit)
            out.U16(static_cast<uint32_t>(delta) & 0xFFFF);
        else
            out.U8(static_cast<uint32_t>(delta) & 0xFF);
    }
}

void WriteInstrument(Out& out, const Instrument& in) {
    const bool hasSamples = !in.samples.empty();
    const size_t start = out.Size();
    const uint32_t size = in.headerSize.value_or(hasSamples ? 263u : 29u);
    out.U32(size);
    out.Text(in.name, 22);
    out.U8(0);
    out.U16(in.declaredSampleCount.value_or(static_cast<uint16_t>(in.samples.size())));
    if (!hasSamples) {
        while (out.Size() < start + size) out.U8(0);
        return;
    }
    out.U32(in.sampleHeaderSize.value_or(40));
    for (uint8_t m : in.noteMap) out.U8(m);
    WriteEnvelopePoints(out, in.volumeEnvelope);
    WriteEnvelopePoints(out, in.panningEnvelope);
    out.U8(static_cast<uint32_t>(in.volumeEnvelope.points.size()));
    out.U8(static_cast<uint32_t>(in.panningEnvelope.points.size()));
    out.U8(in.volumeEnvelope.sustain);
    out.U8(in.volumeEnvelope.loopStart);
    out.U8(in.volumeEnvelope.loopEnd);
    out.U8(in.panningEnvelope.sustain);
    out.U8(in.panningEnvelope.loopStart);
    out.U8(in.panningEnvelope.loopEnd);
    out.U8(in.volumeEnvelope.type);
    out.U8(in.panningEnvelope.type);
    out.U8(in.vibratoType);
    out.U8(in.vibratoSweep);
    out.U8(in.vibratoDepth);
    out.U8(in.vibratoRate);
    out.U16(in.fadeout);
    out.U16(0);
    // Pad (or stop) at the declared header size, as a reader skips to it.
    while (out.Size() < start + size) out.U8(0);
    for (const Sample& s : in.samples) WriteSampleHeader(out, s);
    for (const Sample& s : in.samples) WriteSampleData(out, s);
}

}  // namespace

Cell& Pattern::At(int row, int channel, int channels) {
    const size_t need = static_cast<size_t>(rows) * static_cast<size_t>(channels);
    if (cells.size() < need) cells.resize(need);
    return cells.at(static_cast<size_t>(row) * static_cast<size_t>(channels) + static_cast<size_t>(channel));
}

std::vector<uint8_t> WriteXm(const Song& song) {
    Out out;
    out.Text("Extended Module: ", 17);
    out.Text(song.name, 20);
    out.U8(0x1A);
    out.Text("kestrane xmwriter", 20);
    out.U16(0x0104);
    const uint32_t headerSize = song.headerSize.value_or(276);
    out.U32(headerSize);
    out.U16(song.declaredSongLength.value_or(static_cast<uint16_t>(song.orders.size())));
    out.U16(static_cast<uint32_t>(song.restartPosition));
    out.U16(static_cast<uint32_t>(song.channels));
    out.U16(song.declaredPatternCount.value_or(static_cast<uint16_t>(song.patterns.size())));
    out.U16(song.declaredInstrumentCount.value_or(static_cast<uint16_t>(song.instruments.size())));
    out.U16(song.linearFrequencies ? 1 : 0);
    out.U16(static_cast<uint32_t>(song.speed));
    out.U16(static_cast<uint32_t>(song.tempo));
    for (size_t i = 0; i < 256; ++i) out.U8(i < song.orders.size() ? song.orders[i] : 0);
    // A larger declared header is padded so the patterns start after it.
    while (out.Size() < 60 + static_cast<size_t>(headerSize)) out.U8(0);
    for (const Pattern& p : song.patterns) WritePattern(out, p, song.channels);
    for (const Instrument& in : song.instruments) WriteInstrument(out, in);
    return out.Take();
}

uint8_t Note(const char* name) {
    static const char* const kNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                           "F#", "G-", "G#", "A-", "A#", "B-"};
    if (name == nullptr || std::strlen(name) != 3) return 0;
    const int octave = name[2] - '0';
    if (octave < 0 || octave > 7) return 0;
    for (int i = 0; i < 12; ++i)
        if (name[0] == kNames[i][0] && name[1] == kNames[i][1])
            return static_cast<uint8_t>(octave * 12 + i + 1);
    return 0;
}

Instrument SingleSampleInstrument(Sample sample) {
    Instrument in;
    in.samples.push_back(std::move(sample));
    return in;
}

}  // namespace kestrane::xmw
