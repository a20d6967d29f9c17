// Loader: limits and failures, sample decoding, loop cutting, pattern rules,
// and survival of truncated modules.
#include <gtest/gtest.h>

#include <functional>

#include "music/engine/xm_song.h"
#include "test_songs.h"
#include "xm_writer.h"

namespace kestrane::music::engine {
namespace {

using xmtest::DcSample;
using xmtest::InstrumentWith;

xmw::Song BaseSong() {
    xmw::Song s;
    s.channels = 2;
    xmw::Pattern p;
    p.rows = 4;
    p.At(0, 0, 2) = xmw::Cell{49, 1, 0, 0, 0};
    s.patterns.push_back(p);
    s.instruments.push_back(InstrumentWith(DcSample(100, 16)));
    return s;
}

XmLoadResult LoadSong(const xmw::Song& s) {
    const std::vector<uint8_t> bytes = xmw::WriteXm(s);
    return LoadXm(bytes);
}

struct LimitCase {
    const char* name;
    std::function<void(xmw::Song&)> change;
    XmLoadError expected;
};

TEST(XmLoader, LimitsAndFailures) {
    const LimitCase cases[] = {
        {"valid", [](xmw::Song&) {}, XmLoadError::None},
        {"song length 0", [](xmw::Song& s) { s.declaredSongLength = 0; }, XmLoadError::BadSongLength},
        {"song length 257", [](xmw::Song& s) { s.declaredSongLength = 257; }, XmLoadError::BadSongLength},
        {"song length 256", [](xmw::Song& s) { s.orders.assign(256, 0); }, XmLoadError::None},
        {"no patterns", [](xmw::Song& s) { s.declaredPatternCount = 0; }, XmLoadError::NoPatterns},
        {"0 channels", [](xmw::Song& s) { s.channels = 0; }, XmLoadError::BadChannelCount},
        {"65 channels", [](xmw::Song& s) { s.channels = 65; }, XmLoadError::BadChannelCount},
        {"64 channels", [](xmw::Song& s) { s.channels = 64; }, XmLoadError::None},
        {"257 rows",
         [](xmw::Song& s) {
             s.patterns[0].rows = 257;
             s.patterns[0].cells.clear();
         },
         XmLoadError::TooManyRows},
        {"256 rows",
         [](xmw::Song& s) {
             s.patterns[0].rows = 256;
             s.patterns[0].cells.clear();
         },
         XmLoadError::None},
        {"rows of an unused later pattern",
         [](xmw::Song& s) {
             xmw::Pattern p;
             p.rows = 300;
             s.patterns.push_back(p);
         },
         XmLoadError::TooManyRows},
        {"17 samples", [](xmw::Song& s) { s.instruments[0].declaredSampleCount = 17; },
         XmLoadError::TooManySamples},
        {"16 samples", [](xmw::Song& s) { s.instruments[0].samples.assign(16, DcSample(5, 4)); },
         XmLoadError::None},
        {"sample header 41", [](xmw::Song& s) { s.instruments[0].sampleHeaderSize = 41; },
         XmLoadError::SampleHeaderTooLarge},
        {"sample header 40", [](xmw::Song& s) { s.instruments[0].sampleHeaderSize = 40; }, XmLoadError::None},
        {"8-bit sample of 4,194,304 frames",
         [](xmw::Song& s) {
             s.instruments[0].samples[0].sixteenBit = false;
             s.instruments[0].samples[0].declaredLengthBytes = 4194304;
         },
         XmLoadError::SampleTooLong},
        {"16-bit sample of 4,194,304 frames",
         [](xmw::Song& s) { s.instruments[0].samples[0].declaredLengthBytes = 8388608; },
         XmLoadError::SampleTooLong},
        {"16-bit sample of 4,194,303 frames",
         [](xmw::Song& s) { s.instruments[0].samples[0].declaredLengthBytes = 8388606; }, XmLoadError::None},
        {"second sample too long",
         [](xmw::Song& s) {
             xmw::Sample big = DcSample(1, 4, 0, false);
             big.declaredLengthBytes = 5000000;
             s.instruments[0].samples.push_back(big);
         },
         XmLoadError::SampleTooLong},
    };
    for (const LimitCase& c : cases) {
        xmw::Song s = BaseSong();
        c.change(s);
        const XmLoadResult r = LoadSong(s);
        EXPECT_EQ(r.error, c.expected) << c.name << ": " << XmLoadErrorText(r.error);
    }
}

// The message names the limit that was hit, with its value and place, and
// the format version when the module is not XM 1.04 (an older layout reads
// as nonsense fields, and that is the real reason for the refusal).
TEST(XmLoader, RefusalMessageNamesTheLimitHitAndAnOlderVersion) {
    struct MessageCase {
        const char* name;
        std::function<void(xmw::Song&)> change;
        uint16_t version;
        std::vector<std::string> wanted;
        std::vector<std::string> unwanted;
    };
    const MessageCase cases[] = {
        {"rows",
         [](xmw::Song& s) {
             s.patterns.push_back(s.patterns[0]);
             s.patterns[1].rows = 300;
             s.patterns[1].cells.clear();
             s.orders = {0, 1};
         },
         0x0104,
         {"pattern 1 has 300 rows, more than 256"},
         {"version", "samples"}},
        {"rows in XM 1.02",
         [](xmw::Song& s) {
             s.patterns[0].rows = 4097;
             s.patterns[0].cells.clear();
         },
         0x0102,
         {"pattern 0 has 4097 rows", "XM version 1.02; only version 1.04 is read"},
         {}},
        {"samples",
         [](xmw::Song& s) {
             s.instruments.push_back(s.instruments[0]);
             s.instruments[1].declaredSampleCount = 17;
         },
         0x0104,
         {"instrument 2 has 17 samples, more than 16"},
         {"rows", "version"}},
        {"sample header",
         [](xmw::Song& s) { s.instruments[0].sampleHeaderSize = 44; },
         0x0104,
         {"instrument 1 declares sample headers of 44 bytes, more than 40"},
         {"rows"}},
        {"channels",
         [](xmw::Song& s) { s.channels = 65; },
         0x0104,
         {"65 channels; it must have 1 to 64"},
         {"rows"}},
        {"song length",
         [](xmw::Song& s) { s.declaredSongLength = 300; },
         0x0103,
         {"song length is 300", "XM version 1.03"},
         {"rows"}},
    };
    for (const MessageCase& c : cases) {
        xmw::Song s = BaseSong();
        c.change(s);
        std::vector<uint8_t> bytes = xmw::WriteXm(s);
        bytes[58] = static_cast<uint8_t>(c.version & 0xFF);
        bytes[59] = static_cast<uint8_t>(c.version >> 8);
        const XmLoadResult r = LoadXm(bytes);
        ASSERT_FALSE(r.ok()) << c.name;
        const std::string message = XmLoadMessage(r);
        for (const std::string& w : c.wanted)
            EXPECT_NE(message.find(w), std::string::npos) << c.name << ": " << message;
        for (const std::string& u : c.unwanted)
            EXPECT_EQ(message.find(u), std::string::npos) << c.name << ": " << message;
    }
}

TEST(XmLoader, ReadsHeaderFields) {
    xmw::Song s = BaseSong();
    s.speed = 7;
    s.tempo = 216;
    s.restartPosition = 1;
    s.linearFrequencies = false;
    s.orders = {0, 0, 0};
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.song.songLength, 3);
    EXPECT_EQ(r.song.restartPosition, 1);
    EXPECT_EQ(r.song.channels, 2);
    EXPECT_EQ(r.song.defaultSpeed, 7);
    EXPECT_EQ(r.song.defaultTempo, 216);
    EXPECT_FALSE(r.song.linearFrequencies);
    ASSERT_EQ(r.song.patterns.size(), 1u);
    EXPECT_EQ(r.song.patterns[0].rows, 4);
    EXPECT_EQ(r.song.patterns[0].cells[0].note, 49);
    EXPECT_EQ(r.song.patterns[0].cells[0].instrument, 1);
}

TEST(XmLoader, LargerHeaderSizeMovesThePatterns) {
    xmw::Song s = BaseSong();
    s.headerSize = 300;
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.song.patterns[0].cells[0].note, 49);
    EXPECT_EQ(r.song.instruments.at(0).samples.at(0).length, 16u);
}

TEST(XmLoader, PackedAndUnpackedCellsDecodeAlike) {
    xmw::Song s = BaseSong();
    // Every field set: written in full form; one field: compressed form.
    s.patterns[0].At(1, 0, 2) = xmw::Cell{13, 1, 0x40, 0x0A, 0x21};
    s.patterns[0].At(2, 1, 2) = xmw::Cell{0, 0, 0, 0x0F, 0x03};
    s.patterns[0].At(3, 1, 2) = xmw::Cell{97, 0, 0, 0, 0};
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    const auto& cells = r.song.patterns[0].cells;
    EXPECT_EQ(cells[2].note, 13);
    EXPECT_EQ(cells[2].volume, 0x40);
    EXPECT_EQ(cells[2].effect, 0x0A);
    EXPECT_EQ(cells[2].param, 0x21);
    EXPECT_EQ(cells[5].effect, 0x0F);
    EXPECT_EQ(cells[5].param, 0x03);
    EXPECT_EQ(cells[7].note, 97);
}

TEST(XmLoader, InstrumentAboveTheCountBecomesNone) {
    xmw::Song s = BaseSong();
    s.patterns[0].At(1, 0, 2) = xmw::Cell{49, 2, 0, 0, 0};
    s.patterns[0].At(2, 0, 2) = xmw::Cell{49, 1, 0, 0, 0};
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.song.patterns[0].cells[2].instrument, 0);
    EXPECT_EQ(r.song.patterns[0].cells[4].instrument, 1);
}

TEST(XmLoader, PatternSlotRules) {
    xmw::Song s = BaseSong();
    s.patterns[0].cells.clear();  // packed size 0: rows but no cells
    s.patterns[0].rows = 12;
    s.orders = {0, 3};
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.song.patterns.size(), 4u);
    EXPECT_EQ(r.song.patterns[0].rows, 12);
    EXPECT_TRUE(r.song.patterns[0].cells.empty());
    for (size_t p = 1; p < 4; ++p) {
        EXPECT_EQ(r.song.patterns[p].rows, 64) << p;
        EXPECT_EQ(r.song.patterns[p].cells.size(), 64u * 2) << p;
    }
}

TEST(XmLoader, PatternWithoutRowsPlaysAsOneEmptyRow) {
    xmw::Song s = BaseSong();
    s.patterns[0].rows = 0;
    s.patterns[0].cells.clear();
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.song.patterns[0].rows, 1);
}

// Patterns stored after the highest one the order table uses are still read,
// so the instruments behind them are found.
TEST(XmLoader, UnusedTrailingPatternsDoNotHideTheInstruments) {
    xmw::Song s = BaseSong();
    xmw::Pattern extra;
    extra.rows = 8;
    extra.At(3, 1, 2) = xmw::Cell{20, 1, 0x30, 1, 2};
    s.patterns.push_back(extra);
    s.patterns.push_back(extra);
    s.instruments[0].fadeout = 77;
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.song.patterns.size(), 3u);
    EXPECT_EQ(r.song.instruments.at(0).fadeout, 154u);
    EXPECT_EQ(r.song.instruments.at(0).samples.at(0).length, 16u);
    EXPECT_EQ(r.song.instruments.at(0).samples.at(0).data.at(3), 100);
}

TEST(XmLoader, DeltaEncodedSamples) {
    struct Case {
        const char* name;
        bool sixteenBit;
        std::vector<int16_t> written;
        std::vector<int16_t> loaded;
    };
    const Case cases[] = {
        {"8-bit", false, {0, 10, -5, 127, -128, 1}, {0, 2560, -1280, 32512, -32768, 256}},
        {"16-bit", true, {0, 1000, -32768, 32767, -1, 5}, {0, 1000, -32768, 32767, -1, 5}},
    };
    for (const Case& c : cases) {
        xmw::Song s = BaseSong();
        xmw::Sample smp;
        smp.sixteenBit = c.sixteenBit;
        smp.data = c.written;
        s.instruments[0].samples = {smp};
        const XmLoadResult r = LoadSong(s);
        ASSERT_TRUE(r.ok()) << c.name;
        const XmSample& got = r.song.instruments[0].samples[0];
        EXPECT_EQ(got.length, c.loaded.size()) << c.name;
        EXPECT_EQ(got.sixteenBit, c.sixteenBit) << c.name;
        ASSERT_EQ(got.data.size(), c.loaded.size() + 1) << c.name;
        for (size_t i = 0; i < c.loaded.size(); ++i)
            EXPECT_EQ(got.data[i], c.loaded[i]) << c.name << " at " << i;
        EXPECT_EQ(got.data.back(), 0) << c.name << ": no loop, guard stays 0";
    }
}

TEST(XmLoader, FourBitPackedSamples) {
    xmw::Song s = BaseSong();
    xmw::Sample smp;
    smp.packedTable = std::array<int8_t, 16>{0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};
    smp.packedIndexes = {1, 7, 7, 8, 15, 0, 2};  // odd count: last byte half used
    s.instruments[0].samples = {smp};
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    const XmSample& got = r.song.instruments[0].samples[0];
    const int8_t running[] = {1, 65, -127, -128, 0, 0, 2};
    ASSERT_EQ(got.length, 7u);
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(got.data[i], running[i] * 256) << i;
}

TEST(XmLoader, LoopsAreCutToTheSampleAndGuarded) {
    struct Case {
        const char* name;
        bool sixteenBit;
        uint8_t loopType;
        uint32_t loopStartBytes, loopLengthBytes;
        XmLoopType type;
        uint32_t start, length;
    };
    // A ten-frame sample with values 0, 1000, 2000, ...
    const Case cases[] = {
        {"forward inside", false, 1, 2, 4, XmLoopType::Forward, 2, 4},
        {"end beyond the sample", false, 1, 2, 100, XmLoopType::Forward, 2, 8},
        {"start beyond the sample", false, 1, 20, 5, XmLoopType::None, 0, 10},
        {"length 0", false, 1, 3, 0, XmLoopType::None, 0, 10},
        {"type 0 with a length", false, 0, 3, 4, XmLoopType::None, 0, 10},
        {"ping-pong", false, 2, 4, 3, XmLoopType::PingPong, 4, 3},
        {"16-bit bytes halved", true, 1, 4, 8, XmLoopType::Forward, 2, 4},
        {"16-bit end beyond", true, 2, 6, 1000, XmLoopType::PingPong, 3, 7},
        {"huge values", false, 1, 0xFFFFFFF0u, 0xFFFFFFF0u, XmLoopType::None, 0, 10},
    };
    for (const Case& c : cases) {
        xmw::Song s = BaseSong();
        xmw::Sample smp;
        smp.sixteenBit = c.sixteenBit;
        for (int i = 0; i < 10; ++i)
            smp.data.push_back(static_cast<int16_t>(c.sixteenBit ? i * 1000 : i * 4));
        smp.loopType = c.loopType;
        smp.declaredLoopStartBytes = c.loopStartBytes;
        smp.declaredLoopLengthBytes = c.loopLengthBytes;
        s.instruments[0].samples = {smp};
        const XmLoadResult r = LoadSong(s);
        ASSERT_TRUE(r.ok()) << c.name;
        const XmSample& got = r.song.instruments[0].samples[0];
        EXPECT_EQ(got.loopType, c.type) << c.name;
        EXPECT_EQ(got.loopStart, c.start) << c.name;
        EXPECT_EQ(got.loopLength, c.length) << c.name;
        const uint32_t end = got.loopStart + got.loopLength;
        ASSERT_LT(end, got.data.size()) << c.name;
        const int16_t unit = c.sixteenBit ? 1000 : 4 * 256;
        const int16_t guard = c.type == XmLoopType::Forward    ? got.data[got.loopStart]
                              : c.type == XmLoopType::PingPong ? got.data[end - 1]
                                                               : int16_t{0};
        EXPECT_EQ(got.data[end], guard) << c.name;
        EXPECT_EQ(got.data[1], unit) << c.name;
    }
}

TEST(XmLoader, InstrumentFields) {
    xmw::Song s = BaseSong();
    xmw::Instrument& in = s.instruments[0];
    in.fadeout = 0x0FFF;
    in.vibratoType = 2;
    in.vibratoSweep = 5;
    in.vibratoDepth = 6;
    in.vibratoRate = 7;
    in.noteMap[10] = 1;
    in.samples.push_back(DcSample(3, 4));
    in.volumeEnvelope.points = {{0, 64}, {10, 200}, {20, 0}};
    in.volumeEnvelope.type = 7;
    in.volumeEnvelope.sustain = 1;
    in.volumeEnvelope.loopStart = 0;
    in.volumeEnvelope.loopEnd = 2;
    in.panningEnvelope.points = {{0, 32}};  // one point: switched off
    in.panningEnvelope.type = 1;
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    const XmInstrument& got = r.song.instruments[0];
    EXPECT_EQ(got.fadeout, 0x1FFEu);
    EXPECT_EQ(got.vibratoType, 2);
    EXPECT_EQ(got.vibratoSweep, 5);
    EXPECT_EQ(got.vibratoDepth, 6);
    EXPECT_EQ(got.vibratoRate, 7);
    EXPECT_EQ(got.noteMap[10], 1);
    EXPECT_EQ(got.samples.size(), 2u);
    EXPECT_TRUE(got.volumeEnvelope.On());
    EXPECT_EQ(got.volumeEnvelope.count, 3);
    EXPECT_EQ(got.volumeEnvelope.points[1].tick, 10);
    EXPECT_EQ(got.volumeEnvelope.points[1].value, 64);  // limited to 64
    EXPECT_EQ(got.volumeEnvelope.type, 7);
    EXPECT_FALSE(got.panningEnvelope.On());
}

TEST(XmLoader, EnvelopeLoopNamingAMissingPointIsDropped) {
    xmw::Song s = BaseSong();
    xmw::Instrument& in = s.instruments[0];
    in.volumeEnvelope.points = {{0, 64}, {10, 0}};
    in.volumeEnvelope.type = 5;
    in.volumeEnvelope.loopStart = 0;
    in.volumeEnvelope.loopEnd = 9;
    const XmLoadResult r = LoadSong(s);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.song.instruments[0].volumeEnvelope.type, 1);
}

TEST(XmLoader, TruncatedModulesLoadOrFailButNeverOverread) {
    xmw::Song s = BaseSong();
    s.instruments[0].samples = {DcSample(1000, 300), DcSample(-7, 50, 2, false)};
    s.instruments.push_back(InstrumentWith(DcSample(5, 40, 1, false)));
    const std::vector<uint8_t> full = xmw::WriteXm(s);
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        // An exact-size heap copy lets the sanitizer see any overread.
        const std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        const XmLoadResult r = LoadXm(part);
        if (!r.ok()) continue;
        for (const XmInstrument& in : r.song.instruments)
            for (const XmSample& smp : in.samples) {
                ASSERT_EQ(smp.data.size(), size_t{smp.length} + 1);
                ASSERT_LE(smp.LoopEnd(), smp.length);
            }
    }
    // Cut in the first sample's data: the sample keeps the frames it has.
    const size_t secondSampleData = full.size() - 40 - 40 - 263 - 50;
    const std::vector<uint8_t> part(full.begin(),
                                    full.begin() + static_cast<std::ptrdiff_t>(secondSampleData - 100));
    const XmLoadResult r = LoadXm(part);
    ASSERT_TRUE(r.ok());
    const XmSample& first = r.song.instruments[0].samples[0];
    EXPECT_EQ(first.length, 250u);
    EXPECT_EQ(first.loopLength, 250u);
    EXPECT_EQ(first.data[249], 1000);
    EXPECT_EQ(r.song.instruments[0].samples[1].length, 0u);
}

}  // namespace
}  // namespace kestrane::music::engine
