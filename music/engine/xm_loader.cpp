// XM loader: reads the header, patterns, instruments and samples from a byte
// span into an XmSong. Every read is bounded by the span; bytes missing at
// the end read as zeros, and sample data is kept only where it exists.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "music/engine/xm_song.h"

namespace kestrane::music::engine {
namespace {

// Sequential reader over the module bytes. A read past the end fills only
// what exists and leaves the rest of the destination as it was; a seek
// outside 0..size is ignored.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    void Read(uint8_t* dst, size_t n) {
        const size_t have = Remaining();
        const size_t take = std::min(n, have);
        if (take > 0) std::memcpy(dst, bytes_.data() + pos_, take);
        pos_ += take;
    }
    void Seek(uint64_t target) {
        if (target <= bytes_.size()) pos_ = static_cast<size_t>(target);
    }
    void Skip(uint64_t n) { pos_ = static_cast<size_t>(std::min<uint64_t>(bytes_.size(), pos_ + n)); }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return bytes_.size() - pos_; }
    std::span<const uint8_t> Peek(size_t n) const { return bytes_.subspan(pos_, std::min(n, Remaining())); }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Unpacks one pattern's cells from its packed bytes; a cell cut short by the
// end of the packed data reads its missing fields as 0.
void UnpackCells(std::span<const uint8_t> packed, XmPattern& pattern, int channels, int instrumentCount) {
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < packed.size() ? packed[at++] : 0; };
    pattern.cells.assign(static_cast<size_t>(pattern.rows) * static_cast<size_t>(channels), XmCell{});
    for (XmCell& cell : pattern.cells) {
        const uint8_t first = next();
        uint8_t f[5] = {0, 0, 0, 0, 0};
        if (first & 0x80) {
            for (int i = 0; i < 5; ++i)
                if (first & (1u << i)) f[i] = next();
        } else {
            f[0] = first;
            for (int i = 1; i < 5; ++i) f[i] = next();
        }
        cell.note = f[0];
        cell.instrument = f[1] > instrumentCount ? 0 : f[1];
        cell.volume = f[2];
        cell.effect = f[3];
        cell.param = f[4];
    }
}

void ReadEnvelope(const uint8_t* points, uint8_t count, uint8_t sustain, uint8_t loopStart, uint8_t loopEnd,
                  uint8_t type, XmEnvelope& env) {
    env.count = std::min<uint8_t>(count, kXmMaxEnvelopePoints);
    for (int i = 0; i < kXmMaxEnvelopePoints; ++i) {
        env.points[static_cast<size_t>(i)].tick = U16(points + 4 * i);
        // Values drive a 0..64 volume; larger stored values are limited so
        // the interpolation stays in range.
        env.points[static_cast<size_t>(i)].value = std::min<uint16_t>(U16(points + 4 * i + 2), 64);
    }
    env.sustain = sustain;
    env.loopStart = loopStart;
    env.loopEnd = loopEnd;
    env.type = type & (kXmEnvOn | kXmEnvSustain | kXmEnvLoop);
    if (env.count < 2) env.type &= static_cast<uint8_t>(~kXmEnvOn);
    // A loop naming a point that does not exist cannot be followed.
    if (env.loopStart >= env.count || env.loopEnd >= env.count) env.type &= static_cast<uint8_t>(~kXmEnvLoop);
}

struct SampleHeader {
    uint32_t lengthBytes = 0;
    uint32_t length = 0;  // frames
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;
    bool packed4Bit = false;
};

// Limits the loop to the sample and turns an empty or typeless loop into
// "no loop" (loop start 0, loop length = length).
void CutLoop(XmSample& s, uint32_t loopStart, uint32_t loopLength) {
    const uint32_t start = std::min(loopStart, s.length);
    const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{start} + loopLength, s.length));
    s.loopStart = start;
    s.loopLength = end - start;
    if (s.loopType == XmLoopType::None || s.loopLength == 0) {
        s.loopType = XmLoopType::None;
        s.loopStart = 0;
        s.loopLength = s.length;
    }
}

void ReadSampleData(Reader& in, XmSample& s, const SampleHeader& h) {
    const size_t avail = in.Remaining();
    uint32_t present = 0;
    if (h.packed4Bit) {
        const size_t dataBytes = avail > 16 ? avail - 16 : 0;
        present = static_cast<uint32_t>(std::min<uint64_t>(h.length, uint64_t{dataBytes} * 2));
    } else if (s.sixteenBit) {
        present = static_cast<uint32_t>(std::min<uint64_t>(h.length, avail / 2));
    } else {
        present = static_cast<uint32_t>(std::min<uint64_t>(h.length, avail));
    }
    // A truncated module keeps the frames it has; the loop is cut to them.
    s.length = present;
    CutLoop(s, h.loopStart, h.loopLength);
    s.data.assign(size_t{s.length} + 1, 0);

    const std::span<const uint8_t> src = in.Peek(avail);
    if (h.packed4Bit) {
        int8_t table[16] = {};
        for (size_t i = 0; i < 16 && i < src.size(); ++i) table[i] = static_cast<int8_t>(src[i]);
        uint8_t running = 0;
        for (uint32_t i = 0; i < s.length; ++i) {
            const uint8_t b = src[16 + i / 2];
            const uint8_t nibble = (i & 1) ? (b >> 4) : (b & 0x0F);
            running = static_cast<uint8_t>(running + static_cast<uint8_t>(table[nibble]));
            s.data[i] = static_cast<int16_t>(static_cast<uint16_t>(running) << 8);
        }
        in.Skip(16 + (uint64_t{h.length} + 1) / 2);
    } else if (s.sixteenBit) {
        uint16_t running = 0;
        for (uint32_t i = 0; i < s.length; ++i) {
            running = static_cast<uint16_t>(running + U16(&src[2 * size_t{i}]));
            s.data[i] = static_cast<int16_t>(running);
        }
        in.Skip(h.lengthBytes);
    } else {
        uint8_t running = 0;
        for (uint32_t i = 0; i < s.length; ++i) {
            running = static_cast<uint8_t>(running + src[i]);
            s.data[i] = static_cast<int16_t>(static_cast<uint16_t>(running) << 8);
        }
        in.Skip(h.lengthBytes);
    }
    // Guard value after the loop so interpolation across the end reads the
    // sample that actually follows.
    const uint32_t end = s.LoopEnd();
    if (s.loopType == XmLoopType::Forward)
        s.data[end] = s.data[s.loopStart];
    else if (s.loopType == XmLoopType::PingPong)
        s.data[end] = s.data[end - 1];
}

// What the failing check saw, for the message.
struct LoadDetail {
    int index = -1;      // pattern or instrument number, -1 when none applies
    uint64_t value = 0;  // the value that broke the limit
};

XmLoadError ReadInstrument(Reader& in, XmInstrument& inst, LoadDetail& detail) {
    const size_t start = in.Position();
    uint8_t head[33] = {};
    in.Read(head, sizeof head);
    const uint32_t size = U32(head);
    const uint16_t sampleCount = U16(head + 27);
    const uint32_t sampleHeaderSize = U32(head + 29);
    if (sampleCount == 0) {
        in.Seek(uint64_t{start} + size);
        return XmLoadError::None;
    }
    if (sampleHeaderSize > kXmMaxSampleHeaderSize) {
        detail.value = sampleHeaderSize;
        return XmLoadError::SampleHeaderTooLarge;
    }
    if (sampleCount > kXmMaxSamplesPerInstrument) {
        detail.value = sampleCount;
        return XmLoadError::TooManySamples;
    }

    uint8_t b[208] = {};
    in.Read(b, sizeof b);
    std::memcpy(inst.noteMap.data(), b, kXmNotes);
    ReadEnvelope(b + 96, b[192], b[194], b[195], b[196], b[200], inst.volumeEnvelope);
    ReadEnvelope(b + 144, b[193], b[197], b[198], b[199], b[201], inst.panningEnvelope);
    inst.vibratoType = b[202];
    inst.vibratoSweep = b[203];
    inst.vibratoDepth = b[204];
    inst.vibratoRate = b[205];
    inst.fadeout = uint32_t{U16(b + 206)} * 2;
    in.Seek(uint64_t{start} + size);

    std::vector<SampleHeader> headers(sampleCount);
    inst.samples.resize(sampleCount);
    for (size_t i = 0; i < sampleCount; ++i) {
        uint8_t sh[40] = {};
        in.Read(sh, sizeof sh);
        XmSample& s = inst.samples[i];
        SampleHeader& h = headers[i];
        h.lengthBytes = U32(sh);
        h.length = h.lengthBytes;
        h.loopStart = U32(sh + 4);
        h.loopLength = U32(sh + 8);
        s.volume = sh[12];
        s.finetune = static_cast<int8_t>(sh[13]);
        const uint8_t type = sh[14];
        s.loopType = (type & 3) == 1   ? XmLoopType::Forward
                     : (type & 3) == 2 ? XmLoopType::PingPong
                                       : XmLoopType::None;
        s.sixteenBit = (type & 0x10) != 0;
        s.panning = sh[15];
        s.relativeNote = static_cast<int8_t>(sh[16]);
        h.packed4Bit = sh[17] == 0xAD;
        if (h.packed4Bit) s.sixteenBit = false;
        if (s.sixteenBit) {
            h.length /= 2;
            h.loopStart /= 2;
            h.loopLength /= 2;
        }
    }
    for (size_t i = 0; i < sampleCount; ++i) {
        if (headers[i].length >= kXmMaxSampleFrames) {
            detail.value = headers[i].length;
            return XmLoadError::SampleTooLong;
        }
        ReadSampleData(in, inst.samples[i], headers[i]);
    }
    return XmLoadError::None;
}

XmLoadError Load(std::span<const uint8_t> bytes, XmSong& song, LoadDetail& detail, uint16_t& version) {
    Reader in(bytes);
    uint8_t h[336] = {};
    in.Read(h, sizeof h);
    in.Seek(60 + uint64_t{U32(h + 60)});
    version = U16(h + 58);

    const int songLength = U16(h + 64);
    const int patternCount = U16(h + 70);
    const int channels = U16(h + 68);
    if (songLength == 0 || songLength > kXmMaxSongLength) {
        detail.value = static_cast<uint64_t>(songLength);
        return XmLoadError::BadSongLength;
    }
    if (patternCount == 0) return XmLoadError::NoPatterns;
    if (channels == 0 || channels > kXmMaxChannels) {
        detail.value = static_cast<uint64_t>(channels);
        return XmLoadError::BadChannelCount;
    }

    song.songLength = songLength;
    song.restartPosition = U16(h + 66);
    song.channels = channels;
    // Cells name instruments with one byte, so no more than 255 can play.
    song.instrumentCount = std::min<int>(U16(h + 72), 255);
    song.linearFrequencies = (U16(h + 74) & 1) != 0;
    song.defaultSpeed = U16(h + 76);
    song.defaultTempo = U16(h + 78);
    std::memcpy(song.orders.data(), h + 80, 256);

    int highest = 0;
    for (int i = 0; i < songLength; ++i)
        highest = std::max<int>(highest, song.orders[static_cast<size_t>(i)]);
    // Order entries are bytes, so slots beyond 256 can never play.
    const int stored = std::min(patternCount, 256);
    song.patterns.resize(static_cast<size_t>(std::max(stored, highest + 1)));
    std::vector<bool> present(song.patterns.size(), false);

    // Every stored pattern is read (not only those up to the highest used)
    // so the instruments that follow are found at their real offset.
    for (int p = 0; p < patternCount; ++p) {
        uint8_t ph[9] = {};
        in.Read(ph, sizeof ph);
        const int rows = U16(ph + 5);
        const uint16_t packedSize = U16(ph + 7);
        if (rows > kXmMaxRows) {
            detail.index = p;
            detail.value = static_cast<uint64_t>(rows);
            return XmLoadError::TooManyRows;
        }
        if (p < stored) {
            XmPattern& pat = song.patterns[static_cast<size_t>(p)];
            // A pattern without rows plays as one empty row.
            pat.rows = rows == 0 ? 1 : rows;
            if (packedSize != 0 && rows != 0)
                UnpackCells(in.Peek(packedSize), pat, channels, song.instrumentCount);
            present[static_cast<size_t>(p)] = true;
        }
        in.Skip(packedSize);
    }
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        if (present[p]) continue;
        XmPattern& pat = song.patterns[p];
        pat.rows = 64;
        pat.cells.assign(size_t{64} * static_cast<size_t>(channels), XmCell{});
    }

    song.instruments.resize(static_cast<size_t>(song.instrumentCount));
    for (size_t i = 0; i < song.instruments.size(); ++i) {
        const XmLoadError e = ReadInstrument(in, song.instruments[i], detail);
        if (e != XmLoadError::None) {
            detail.index = static_cast<int>(i) + 1;
            return e;
        }
    }
    return XmLoadError::None;
}

}  // namespace

XmLoadResult LoadXm(std::span<const uint8_t> bytes) {
    XmLoadResult result;
    LoadDetail detail;
    try {
        result.error = Load(bytes, result.song, detail, result.version);
    } catch (const std::bad_alloc&) {
        result.error = XmLoadError::OutOfMemory;
    }
    if (!result.ok()) result.song = XmSong{};
    result.where = detail.index;
    result.value = detail.value;
    return result;
}

bool XmSongIsPlayable(const XmSong& song) {
    if (song.songLength < 1 || song.songLength > kXmMaxSongLength) return false;
    if (song.channels < 1 || song.channels > kXmMaxChannels) return false;
    if (song.instrumentCount < 0 || static_cast<size_t>(song.instrumentCount) > song.instruments.size())
        return false;
    for (int i = 0; i < song.songLength; ++i)
        if (song.orders[static_cast<size_t>(i)] >= song.patterns.size()) return false;
    for (const XmPattern& p : song.patterns) {
        if (p.rows < 1 || p.rows > kXmMaxRows) return false;
        if (!p.cells.empty() &&
            p.cells.size() != static_cast<size_t>(p.rows) * static_cast<size_t>(song.channels))
            return false;
    }
    for (const XmInstrument& in : song.instruments) {
        if (in.samples.size() > kXmMaxSamplesPerInstrument) return false;
        for (const XmEnvelope* e : {&in.volumeEnvelope, &in.panningEnvelope}) {
            if (e->count > kXmMaxEnvelopePoints || (e->On() && e->count < 2)) return false;
            if ((e->type & kXmEnvLoop) && (e->loopStart >= e->count || e->loopEnd >= e->count)) return false;
        }
        for (const XmSample& s : in.samples) {
            if (s.length >= kXmMaxSampleFrames || s.data.size() != size_t{s.length} + 1) return false;
            if (uint64_t{s.loopStart} + s.loopLength > s.length) return false;
            if (s.loopType != XmLoopType::None && s.loopLength == 0) return false;
        }
    }
    return true;
}

const char* XmLoadErrorText(XmLoadError error) {
    switch (error) {
        case XmLoadError::None:
            return "no error";
        case XmLoadError::BadSongLength:
            return "song length is 0 or above 256";
        case XmLoadError::NoPatterns:
            return "the song has no patterns";
        case XmLoadError::BadChannelCount:
            return "channel count is 0 or above 64";
        case XmLoadError::TooManyRows:
            return "a pattern has more than 256 rows";
        case XmLoadError::TooManySamples:
            return "an instrument has more than 16 samples";
        case XmLoadError::SampleHeaderTooLarge:
            return "sample header size is 41 or more";
        case XmLoadError::SampleTooLong:
            return "a sample has 4,194,304 frames or more";
        case XmLoadError::OutOfMemory:
            return "out of memory";
    }
    return "unknown error";
}

}  // namespace kestrane::music::engine

namespace kestrane::music::engine {

std::string XmLoadMessage(const XmLoadResult& result) {
    char text[200];
    const unsigned long long v = result.value;
    switch (result.error) {
        case XmLoadError::None:
            return "no error";
        case XmLoadError::BadSongLength:
            std::snprintf(text, sizeof text, "the song length is %llu; it must be 1 to %d", v,
                          kXmMaxSongLength);
            break;
        case XmLoadError::BadChannelCount:
            std::snprintf(text, sizeof text, "the module has %llu channels; it must have 1 to %d", v,
                          kXmMaxChannels);
            break;
        case XmLoadError::TooManyRows:
            std::snprintf(text, sizeof text, "pattern %d has %llu rows, more than %d", result.where, v,
                          kXmMaxRows);
            break;
        case XmLoadError::TooManySamples:
            std::snprintf(text, sizeof text, "instrument %d has %llu samples, more than %d", result.where, v,
                          kXmMaxSamplesPerInstrument);
            break;
        case XmLoadError::SampleHeaderTooLarge:
            std::snprintf(text, sizeof text,
                          "instrument %d declares sample headers of %llu bytes, more than %d", result.where,
                          v, kXmMaxSampleHeaderSize);
            break;
        case XmLoadError::SampleTooLong:
            std::snprintf(text, sizeof text,
                          "a sample of instrument %d has %llu frames; the limit is below %u", result.where, v,
                          kXmMaxSampleFrames);
            break;
        default:
            return XmLoadErrorText(result.error);
    }
    std::string message = text;
    // Older layouts (1.02, 1.03) store pattern and instrument headers
    // differently, so their fields read as nonsense; that, not the field,
    // is what the user needs to hear.
    if (result.version != 0x0104 && result.version != 0) {
        std::snprintf(text, sizeof text, " (the module is XM version %u.%02x; only version 1.04 is read)",
                      static_cast<unsigned>(result.version >> 8),
                      static_cast<unsigned>(result.version & 0xFF));
        message += text;
    }
    return message;
}

}  // namespace kestrane::music::engine
