// Logs written by the client's own logging tick load into a chart: every
// kind of shown text the client produces (readings of either sign, any
// precision, sixteen significant digits, the exponent form, a switched-off
// or disconnected channel) comes back with the right time, value and count,
// across midnight and a daylight-saving switch.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "acquisition/channel_model.h"
#include "acquisition/conversion.h"
#include "acquisition/logging.h"
#include "acquisition/polling_cycle.h"
#include "plotwick/loader.h"
#include "plotwick/series.h"
#include "temp_dir.h"
#include "zone_guard.h"

namespace {

// Local time of a scripted instant, as the client's system clock would
// break it down in the zone under test.
class ScriptedTime final : public kestrane::LocalTimeSource {
public:
    std::tm LocalNow() override {
        std::tm tm{};
        ::localtime_r(&now, &tm);
        return tm;
    }
    time_t now = 0;
};

// The board's reading word for a polarity and a magnitude count, as text.
std::string WordText(bool positive, uint32_t count) {
    const uint32_t bits = 0x40000000U | (count << 6);
    return std::to_string(positive ? bits : 0U - bits);
}

enum class Source { Reading, Disabled, Disconnected };

struct Record {
    const char* name;
    int64_t utcOffset;  // seconds after 2026-03-28 22:59:55 UTC (23:59:55 CET)
    Source source;
    bool positive;
    uint32_t count;
    const char* mode;  // "VDC" or a shunt with 50 A at 75 mV
    const char* adjust;
    const char* precision;
    const char* shown;  // the shown text, which the record carries whole
    bool plotted;
    float value;
};

// 1000000 counts are 12.07995... V at adjustment 1.
const Record kRecords[] = {
    {"six decimals", 0, Source::Reading, true, 1000000, "VDC", "1", "6", "+ 12.079951", true, 12.079951f},
    {"negative", 2, Source::Reading, false, 1000000, "VDC", "1", "3", "- 12.080", true, -12.080f},
    {"precision 0, past midnight", 6, Source::Reading, true, 1000000, "VDC", "1", "0", "+ 12", true, 12.0f},
    {"precision 0, negative", 7, Source::Reading, false, 2000000, "VDC", "1", "0", "- 24", true, -24.0f},
    {"switched off", 8, Source::Disabled, true, 0, "VDC", "1", "3", "  DISABLED", false, 0.0f},
    {"shunt at rest", 9, Source::Reading, true, 0, "SHUNT", "1", "2", "+ 0", true, 0.0f},
    {"negative zero", 10, Source::Reading, false, 1000000, "VDC", "0", "4", "- 0", true, 0.0f},
    {"shunt amperes", 11, Source::Reading, true, 100, "SHUNT", "1", "2", "+ 0.66", true, 0.66f},
    {"disconnected", 12, Source::Disconnected, true, 0, "VDC", "1", "3", "", false, 0.0f},
    // Just before the clocks go forward at 02:00, then the first second after.
    {"before the switch", 3603, Source::Reading, true, 1000000, "VDC", "1", "15", "+ 12.07995082080039", true,
     12.07995082080039f},
    {"after the switch", 3605, Source::Reading, true, 1000000, "VDC", "1", "1", "+ 12.1", true, 12.1f},
    {"exponent form", 3606, Source::Reading, true, 1000000, "VDC", "1e20", "3", "+ 1.207995082080039E+0021",
     true, 1.207995082080039e21f},
    {"exponent form, negative", 3607, Source::Reading, false, 1000000, "VDC", "1e20", "0",
     "- 1.207995082080039E+0021", true, -1.207995082080039e21f},
    {"beyond single precision", 3608, Source::Reading, true, 1000000, "VDC", "1e40", "3",
     "+ 1.207995082080039E+0041", false, 0.0f},
    {"sixteen digits", 3609, Source::Reading, true, 1000000, "VDC", "1e13", "15", "+ 120799508208003.9", true,
     120799508208003.9f},
    {"noon", 36010, Source::Reading, true, 3000000, "VDC", "1", "3", "+ 36.240", true, 36.240f},
    {"afternoon", 39610, Source::Reading, true, 4000000, "VDC", "1", "3", "+ 48.320", true, 48.320f},
};

TEST(ClientLogRoundTrip, EveryShownTextLoadsWithItsTimeAndValue) {
    // Central European time, whose spring switch the log crosses.
    plotwick::test::ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    kestrane::test::TempDir dir;
    kestrane::BoardSettings board;
    kestrane::ChannelSettings& channel = board.channels[0];
    channel.logPath = dir.path().string() + "/";
    channel.logFileName = "Voltmeter 1.txt";
    channel.logSize = "35 Megabytes";
    channel.amp = "50";
    channel.millivolt = "75";
    kestrane::ChannelStates states;
    ScriptedTime clock;
    const time_t start = 1774738795;  // 2026-03-28 22:59:55 UTC

    std::vector<const Record*> plotted;
    for (const Record& r : kRecords) {
        switch (r.source) {
            case Source::Reading:
                channel.mode = r.mode;
                kestrane::ApplyReading(states, 1, channel, WordText(r.positive, r.count), r.adjust,
                                       r.precision);
                break;
            case Source::Disabled:
                states.at(1).shown = kestrane::kDisabledText;
                break;
            case Source::Disconnected:
                kestrane::ResetOnDisconnect(states);
                break;
        }
        // The case must log what it claims to cover, or it proves nothing.
        ASSERT_EQ(states.at(1).shown, r.shown) << r.name;
        clock.now = start + static_cast<time_t>(r.utcOffset);
        ASSERT_TRUE(kestrane::WriteLogRecord(1, board, states, clock)) << r.name;
        if (r.plotted) plotted.push_back(&r);
    }

    plotwick::GraphContext ctx;
    plotwick::InitGraphContext(ctx, nullptr, 600, 240, "Voltmeter 1");
    ASSERT_EQ(plotwick::LoadSeries(kestrane::LogFilePath(channel).c_str(), ctx), 1);
    ASSERT_EQ(ctx.pointCount, static_cast<int32_t>(plotted.size()));
    const int64_t newest = plotted.back()->utcOffset;
    for (int32_t i = 0; i < ctx.pointCount; ++i) {
        // Index 0 is the newest point.
        const Record& r = *plotted[plotted.size() - 1 - static_cast<size_t>(i)];
        EXPECT_EQ(ctx.times[i], newest - r.utcOffset) << r.name;
        EXPECT_FLOAT_EQ(ctx.values[i], r.value) << r.name;
        const std::string label = ctx.o_Labels[i];
        EXPECT_EQ(label.substr(label.rfind('\n') + 1), r.shown) << r.name;
    }
    EXPECT_EQ(ctx.span, newest);
    plotwick::ReleaseSeries(ctx);
}

}  // namespace
