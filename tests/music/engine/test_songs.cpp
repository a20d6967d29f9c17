#include "test_songs.h"

#include <gtest/gtest.h>

namespace kestrane::music::engine::xmtest {

xmw::Sample DcSample(int16_t value, uint32_t length, uint8_t loopType, bool sixteenBit) {
    xmw::Sample s;
    s.sixteenBit = sixteenBit;
    s.data.assign(length, value);
    s.loopType = loopType;
    if (loopType != 0) {
        s.loopStart = 0;
        s.loopLength = length;
    }
    s.volume = 64;
    return s;
}

xmw::Instrument InstrumentWith(xmw::Sample sample) {
    xmw::Instrument in;
    in.samples.push_back(std::move(sample));
    return in;
}

xmw::Song OneChannelSong(const std::vector<xmw::Cell>& rows, int speed, int tempo) {
    xmw::Song song;
    song.channels = 1;
    song.speed = speed;
    song.tempo = tempo;
    xmw::Pattern p;
    p.rows = static_cast<int>(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) p.At(static_cast<int>(i), 0, 1) = rows[i];
    song.patterns.push_back(p);
    song.instruments.push_back(InstrumentWith(DcSample(8192, 1000)));
    return song;
}

std::shared_ptr<const XmSong> Load(const xmw::Song& song) {
    const std::vector<uint8_t> bytes = xmw::WriteXm(song);
    XmLoadResult r = LoadXm(bytes);
    EXPECT_TRUE(r.ok()) << XmLoadErrorText(r.error);
    return std::make_shared<const XmSong>(std::move(r.song));
}

void NextTick(XmRenderer& r) { Mix(r, static_cast<size_t>(r.Position().framesLeftInTick) + 1); }

std::vector<int64_t> Mix(XmRenderer& r, size_t frames) {
    std::vector<int64_t> acc(2 * frames, 0);
    r.MixFrames(acc);
    return acc;
}

}  // namespace kestrane::music::engine::xmtest
