// Statistics since reset as table-driven streams: gaps, a reset in the
// middle, negative values, shunt channels, a single reading, a unit change.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "live/live_recorder.h"
#include "live/live_statistics.h"
#include "shown_decimals.h"

using namespace kestrane::live;

namespace {

// One step of a stream: a reading, a gap or a reset.
struct Step {
    enum Kind { Read, GapMark, ResetAll } kind;
    int64_t ms = 0;
    double value = 0;
    Unit unit = Unit::Volts;
};
Step R(int64_t ms, double v, Unit u = Unit::Volts) { return {Step::Read, ms, v, u}; }
Step A(int64_t ms, double v) { return {Step::Read, ms, v, Unit::Amperes}; }
Step G() { return {Step::GapMark}; }
Step Z() { return {Step::ResetAll}; }

struct Expected {
    uint64_t count;
    double last, min, max, mean, chargeAh;
};

constexpr int64_t kHour = 3'600'000;

}  // namespace

TEST(LiveStatistics, Streams) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Expected want;
    };
    const std::vector<Case> cases = {
        {"nothing read", {}, {0, 0, 0, 0, 0, 0}},
        {"one reading", {R(0, 12.5)}, {1, 12.5, 12.5, 12.5, 12.5, 0}},
        {"one shunt reading has no charge yet", {A(0, 10)}, {1, 10, 10, 10, 10, 0}},
        {"negative values", {R(0, -3), R(1, -1), R(2, -8)}, {3, -8, -8, -1, -4, 0}},
        {"crossing zero", {R(0, -2), R(1, 4)}, {2, 4, -2, 4, 1, 0}},
        // 10 A for one hour: 10 Ah; the trapezoid of a ramp 0..20 A over an hour too.
        {"steady shunt current", {A(0, 10), A(kHour / 2, 10), A(kHour, 10)}, {3, 10, 10, 10, 10, 10}},
        {"ramping shunt current", {A(0, 0), A(kHour, 20)}, {2, 20, 0, 20, 10, 10}},
        {"discharge counts negative", {A(0, -4), A(2 * kHour, -4)}, {2, -4, -4, -4, -4, -8}},
        // The hour across the gap is not integrated; the readings still count.
        {"gap is not bridged",
         {A(0, 10), A(kHour, 10), G(), A(2 * kHour, 10), A(3 * kHour, 10)},
         {4, 10, 10, 10, 10, 20}},
        {"gap right after the first reading", {A(0, 5), G(), A(kHour, 5)}, {2, 5, 5, 5, 5, 0}},
        {"reset in the middle", {R(0, 100), R(1, -100), Z(), R(2, 3), R(3, 5)}, {2, 5, 3, 5, 4, 0}},
        {"reset in the middle of a shunt stream",
         {A(0, 50), A(kHour, 50), Z(), A(2 * kHour, 2), A(3 * kHour, 4)},
         {2, 4, 2, 4, 3, 3}},
        {"reset then nothing", {R(0, 1), Z()}, {0, 0, 0, 0, 0, 0}},
        {"voltmeter readings carry no charge", {R(0, 10), R(kHour, 10)}, {2, 10, 10, 10, 10, 0}},
        {"switching the unit starts afresh",
         {R(0, 12), R(1, 13), A(2, 1), A(2 + kHour, 1)},
         {2, 1, 1, 1, 1, 1}},
        {"a clock set back adds no negative charge", {A(kHour, 10), A(0, 10)}, {2, 10, 10, 10, 10, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Through the recorder, which also sees the shown text and stores.
        LiveRecorder recorder;
        for (const Step& s : c.steps) {
            if (s.kind == Step::Read) {
                ASSERT_TRUE(recorder.Add(
                    {2, s.ms, s.value, s.unit,
                     DecimalsOfShown((s.value < 0 ? "- " : "+ ") + std::to_string(std::fabs(s.value)))}));
            } else if (s.kind == Step::GapMark) {
                recorder.Gap(s.ms);
            } else {
                recorder.Reset();
            }
        }
        const ChannelStatistics& st = recorder.statistics(2);
        EXPECT_EQ(st.count(), c.want.count);
        EXPECT_DOUBLE_EQ(st.last(), c.want.last);
        EXPECT_DOUBLE_EQ(st.min(), c.want.min);
        EXPECT_DOUBLE_EQ(st.max(), c.want.max);
        EXPECT_DOUBLE_EQ(st.mean(), c.want.mean);
        EXPECT_NEAR(st.chargeAh(), c.want.chargeAh, 1e-12);
        // Other channels see nothing of channel 2's stream.
        EXPECT_EQ(recorder.statistics(1).count(), 0U);
    }
}

TEST(LiveStatistics, ResetClearsTheTrendToo) {
    LiveRecorder recorder;
    ASSERT_TRUE(recorder.Add({1, 1000, 1.5, Unit::Volts, DecimalsOfShown("+ 1.5")}));
    recorder.Gap(2000);
    recorder.Reset();
    EXPECT_TRUE(recorder.store().empty());
    EXPECT_TRUE(recorder.store().GapsIn(0, 10'000).empty());
    EXPECT_EQ(recorder.statistics(1).count(), 0U);
}

TEST(LiveStatistics, RecorderRefusesWhatIsNotAReading) {
    LiveRecorder recorder;
    EXPECT_FALSE(recorder.Add({1, 0, INFINITY, Unit::Volts, 0}));
    EXPECT_FALSE(recorder.Add({1, 0, -INFINITY, Unit::Volts, 0}));
    EXPECT_FALSE(recorder.Add({0, 0, 1, Unit::Volts, DecimalsOfShown("+ 1")}));
    EXPECT_FALSE(recorder.Add({7, 0, 1, Unit::Volts, DecimalsOfShown("+ 1")}));
    EXPECT_FALSE(recorder.Add({1, 0, NAN, Unit::Volts, DecimalsOfShown("+ 1")}));
    EXPECT_TRUE(recorder.store().empty());
    EXPECT_EQ(recorder.statistics(1).count(), 0U);
}

TEST(LiveStatistics, ChargeOfADayAtTheFullRate) {
    // 2 A for 24 hours read every 300 ms, with a one-minute gap: 48 Ah less
    // the gap's 1/30 Ah, to well within a millionth.
    ChannelStatistics st;
    for (int64_t t = 0; t <= 24 * kHour; t += 300) {
        if (t == 12 * kHour) st.Gap();
        if (t > 12 * kHour - 60'000 && t < 12 * kHour) continue;
        st.Add(t, 2.0, Unit::Amperes);
    }
    EXPECT_NEAR(st.chargeAh(), 48.0 - 2.0 / 60.0, 1e-6);
}
