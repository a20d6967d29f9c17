// Trigger engine: firing, repeating and returning over reading sequences,
// with a fake clock and recorded actions.
#include "acquisition/trigger_engine.h"

#include <gtest/gtest.h>

#include <vector>

#include "acquisition/intervals.h"

namespace kestrane {
namespace {

class FakeClock final : public Clock {
public:
    uint32_t NowSeconds() override { return now; }
    uint32_t now = 1000;
};

class RecordingActions final : public AlarmActions {
public:
    void StartProgram(const std::string& path) override { log.push_back("run " + path); }
    void PlaySound(const std::string& path) override { log.push_back("play " + path); }
    std::vector<std::string> log;
};

ChannelSettings HighBand(const char* min, const char* max, const char* every) {
    ChannelSettings s;
    s.highEnable = "ENABLED";
    s.highTriggerMin = min;
    s.highTriggerMax = max;
    s.highTestEvery = every;
    s.highFile = "hi.sh";
    s.highSound = "hi.wav";
    s.highNormFile = "hinorm.sh";
    s.highNormSound = "hinorm.wav";
    s.lowEnable = "DISABLED";
    return s;
}

ChannelSettings LowBand(const char* min, const char* max, const char* every) {
    ChannelSettings s;
    s.highEnable = "DISABLED";
    s.lowEnable = "ENABLED";
    s.lowTriggerMin = min;
    s.lowTriggerMax = max;
    s.lowTestEvery = every;
    s.lowFile = "lo.sh";
    s.lowSound = "lo.wav";
    s.lowNormFile = "lonorm.sh";
    s.lowNormSound = "lonorm.wav";
    return s;
}

using Actions = std::vector<std::string>;
const Actions kNone{};
const Actions kHigh{"run hi.sh", "play hi.wav"};
const Actions kHighNorm{"run hinorm.sh", "play hinorm.wav"};
const Actions kLow{"run lo.sh", "play lo.wav"};
const Actions kLowNorm{"run lonorm.sh", "play lonorm.wav"};

struct Step {
    const char* shown;
    uint32_t now;
    Actions expected;
};

struct Scenario {
    const char* name;
    ChannelSettings settings;
    std::vector<Step> steps;
};

TEST(TriggerCheck, ReadingSequences) {
    const Scenario scenarios[] = {
        {"one shot: once per excursion",
         HighBand("10", "12", "One Shot"),
         {{"+ 11.000", 1000, kNone},
          {"+ 12.500", 1000, kHigh},
          {"+ 13.000", 1005, kNone},
          {"+ 13.000", 9000, kNone},
          {"+ 11.000", 9001, kNone},
          {"+ 9.500", 9002, kHighNorm},
          {"+ 9.000", 9003, kNone},
          {"+ 12.500", 9004, kHigh}}},
        {"2 Secs repeats while held",
         HighBand("10", "12", "2 Secs"),
         {{"+ 13", 100, kHigh},
          {"+ 13", 101, kNone},
          {"+ 13", 102, kNone},  // 2 is not more than 2
          {"+ 13", 103, kNone},  // re-armed here, fires at the next check
          {"+ 13", 103, kHigh},
          {"+ 13", 104, kNone},
          {"+ 9", 105, kHighNorm},
          {"+ 9", 200, kNone}}},
        {"equal values fire and return nothing",
         HighBand("10", "12", "One Shot"),
         {{"+ 12.000", 1, kNone}, {"+ 12.001", 1, kHigh}, {"+ 10.000", 1, kNone}, {"+ 9.999", 1, kHighNorm}}},
        {"low band limits are exclusive too",
         LowBand("-15", "-10", "One Shot"),
         {{"- 15.000", 1, kNone}, {"- 20.000", 1, kLow}, {"- 10.000", 1, kNone}, {"- 9.000", 1, kLowNorm}}},
        {"never fired, never returns",
         HighBand("10", "12", "One Shot"),
         {{"+ 5", 1, kNone}, {"+ 11", 1, kNone}, {"+ 5", 1, kNone}}},
        {"waiting band that left the band returns once",
         HighBand("10", "12", "1 Secs"),
         {{"+ 13", 10, kHigh},
          {"+ 13", 12, kNone},
          {"+ 11", 12, kNone},
          {"+ 9", 13, kHighNorm},
          {"+ 9", 14, kNone}}},
        {"readings that are not numbers test false",
         HighBand("10", "12", "1 Secs"),
         {{"  DISABLED", 1, kNone},
          {"", 1, kNone},
          {"+ 13", 1, kHigh},
          {"  DISABLED", 50, kNone},
          {"+ abc", 51, kNone},
          {"+ 9", 52, kHighNorm}}},
        {"1 Mins repeats after more than 60 s",
         HighBand("10", "12", "1 Mins"),
         {{"+ 13", 0, kHigh},
          {"+ 13", 60, kNone},
          {"+ 13", 60, kNone},
          {"+ 13", 61, kNone},
          {"+ 13", 61, kHigh}}},
        {"24 Hours repeats after more than 86400 s",
         HighBand("10", "12", "24 Hours"),
         {{"+ 13", 5, kHigh},
          {"+ 13", 86405, kNone},
          {"+ 13", 86405, kNone},
          {"+ 13", 86406, kNone},
          {"+ 13", 86406, kHigh}}},
        {"clock set back re-arms",
         HighBand("10", "12", "5 Mins"),
         {{"+ 13", 5000, kHigh}, {"+ 13", 4000, kNone}, {"+ 13", 4000, kHigh}}},
        {"clock set back does nothing for one shot",
         HighBand("10", "12", "One Shot"),
         {{"+ 13", 5000, kHigh}, {"+ 13", 4000, kNone}, {"+ 13", 4000, kNone}}},
        {"unknown Test Every text means no repeat",
         HighBand("10", "12", "2 secs"),
         {{"+ 13", 0, kHigh}, {"+ 13", 100, kNone}, {"+ 13", 200, kNone}}},
        {"unreadable fire limit never fires",
         HighBand("10", "twelve", "1 Secs"),
         {{"+ 13", 0, kNone}, {"+ 99999", 10, kNone}, {"+ 5", 20, kNone}}},
        {"unreadable return limit never returns",
         HighBand("ten", "12", "One Shot"),
         {{"+ 13", 0, kHigh}, {"+ 5", 1, kNone}, {"- 99999", 2, kNone}, {"+ 13", 3, kNone}}},
        {"clock wraps past 2^32",
         HighBand("10", "12", "2 Secs"),
         {{"+ 13", 0xFFFFFFFEu, kHigh}, {"+ 13", 0, kNone}, {"+ 13", 1, kNone}, {"+ 13", 1, kHigh}}},
        {"exponent-form reading",
         HighBand("10", "12", "One Shot"),
         {{"+ 1.000000000000000E+0016", 1, kHigh}, {"+ 0.5", 1, kHighNorm}}},
    };
    for (const auto& sc : scenarios) {
        FakeClock clock;
        RecordingActions actions;
        TriggerState trigger;
        for (std::size_t i = 0; i < sc.steps.size(); ++i) {
            const Step& st = sc.steps[i];
            clock.now = st.now;
            actions.log.clear();
            RunTriggerCheck(sc.settings, st.shown, trigger, clock, actions);
            EXPECT_EQ(actions.log, st.expected) << sc.name << ", step " << i << " (" << st.shown << ")";
            EXPECT_TRUE(trigger.highFired == 0 || trigger.highFired == 1);
            EXPECT_TRUE(trigger.highArmed == 0 || trigger.highArmed == 1);
        }
    }
}

TEST(TriggerCheck, EmptyActionTextsAreSkippedButFlagsStillChange) {
    ChannelSettings s = HighBand("10", "12", "One Shot");
    s.highFile.clear();
    s.highNormSound.clear();
    FakeClock clock;
    RecordingActions actions;
    TriggerState t;
    RunTriggerCheck(s, "+ 13", t, clock, actions);
    EXPECT_EQ(actions.log, (Actions{"play hi.wav"}));
    EXPECT_EQ(t.highFired, 1);
    EXPECT_EQ(t.highArmed, 1);
    EXPECT_EQ(t.highLastFiring, clock.now);
    actions.log.clear();
    RunTriggerCheck(s, "+ 9", t, clock, actions);
    EXPECT_EQ(actions.log, (Actions{"run hinorm.sh"}));
    EXPECT_EQ(t.highFired, 0);
    EXPECT_EQ(t.highArmed, 0);
}

TEST(TriggerCheck, DisabledBandKeepsItsFlagsUntilReEnabled) {
    ChannelSettings s = HighBand("10", "12", "One Shot");
    FakeClock clock;
    RecordingActions actions;
    TriggerState t;
    RunTriggerCheck(s, "+ 13", t, clock, actions);
    ASSERT_EQ(actions.log, kHigh);

    s.highEnable = "DISABLED";
    actions.log.clear();
    RunTriggerCheck(s, "+ 8", t, clock, actions);
    EXPECT_TRUE(actions.log.empty());
    EXPECT_EQ(t.highArmed, 1);
    s.highEnable = "enabled";  // compared exactly, case included
    RunTriggerCheck(s, "+ 8", t, clock, actions);
    EXPECT_TRUE(actions.log.empty());

    s.highEnable = "ENABLED";
    RunTriggerCheck(s, "+ 8", t, clock, actions);
    EXPECT_EQ(actions.log, kHighNorm);
}

// Overlapping bands: a reading of 15 is above the high band's 12 and below
// the low band's 20, so one check can fire both.
ChannelSettings OverlappingBands(const char* highEvery, const char* lowEvery) {
    ChannelSettings s = HighBand("10", "12", highEvery);
    s.lowEnable = "ENABLED";
    s.lowTriggerMin = "20";
    s.lowTriggerMax = "30";
    s.lowTestEvery = lowEvery;
    s.lowFile = "lo.sh";
    s.lowSound = "lo.wav";
    return s;
}

TEST(TriggerCheck, BothBandsInOneCheckHighFirst) {
    const ChannelSettings s = OverlappingBands("One Shot", "One Shot");
    FakeClock clock;
    RecordingActions actions;
    TriggerState t;
    RunTriggerCheck(s, "+ 15", t, clock, actions);
    EXPECT_EQ(actions.log, (Actions{"run hi.sh", "play hi.wav", "run lo.sh", "play lo.wav"}));
}

TEST(TriggerCheck, OneChannelsBandsKeepTheirOwnRepeatTimes) {
    const ChannelSettings s = OverlappingBands("2 Secs", "5 Secs");
    const Actions both{"run hi.sh", "play hi.wav", "run lo.sh", "play lo.wav"};
    const Step steps[] = {
        {"+ 15", 100, both},
        {"+ 15", 103, kNone},  // high re-arms
        {"+ 15", 103, kHigh},
        {"+ 15", 106, kNone},  // both re-arm: the low band counts from 100, not from the high band's 103
        {"+ 15", 106, both},
    };
    FakeClock clock;
    RecordingActions actions;
    TriggerState t;
    for (const Step& st : steps) {
        clock.now = st.now;
        actions.log.clear();
        RunTriggerCheck(s, st.shown, t, clock, actions);
        EXPECT_EQ(actions.log, st.expected) << "at " << st.now;
    }
}

TEST(TriggerTick, FlagsSurviveDisconnectAndChannelsDoNotPostponeEachOther) {
    BoardSettings board;
    board.channels[0] = HighBand("10", "12", "2 Secs");
    board.channels[1] = HighBand("10", "12", "2 Secs");
    board.channels[1].highFile = "hi2.sh";
    board.channels[1].highSound.clear();
    ChannelStates states;
    FakeClock clock;
    RecordingActions actions;

    clock.now = 100;
    states.at(1).shown = "+ 13";
    states.at(1).hasReading = true;
    RunTriggerTick(board, states, clock, actions);
    EXPECT_EQ(actions.log, kHigh);

    // Channel 2 fires a second later; channel 1's repeat still counts from 100.
    clock.now = 101;
    states.at(2).shown = "+ 13";
    states.at(2).hasReading = true;
    actions.log.clear();
    RunTriggerTick(board, states, clock, actions);
    EXPECT_EQ(actions.log, (Actions{"run hi2.sh"}));
    clock.now = 103;
    RunTriggerTick(board, states, clock, actions);  // channel 1 re-arms
    actions.log.clear();
    RunTriggerTick(board, states, clock, actions);
    EXPECT_EQ(actions.log, kHigh);

    // Disconnect keeps the alarm memory: no new alarm after reconnecting.
    ResetOnDisconnect(states);
    EXPECT_EQ(states.at(1).trigger.highFired, 1);
    actions.log.clear();
    RunTriggerTick(board, states, clock, actions);  // no readings yet: nothing checked
    states.at(1).shown = "+ 13";
    states.at(1).hasReading = true;
    RunTriggerTick(board, states, clock, actions);
    EXPECT_TRUE(actions.log.empty());
    // ...unless the repeat interval has run out meanwhile.
    clock.now = 200;
    RunTriggerTick(board, states, clock, actions);
    RunTriggerTick(board, states, clock, actions);
    EXPECT_EQ(actions.log, kHigh);
}

TEST(ParseShownReading, SignedNumbersOnly) {
    struct P {
        const char* text;
        std::optional<long double> value;
    };
    const P cases[] = {
        {"+ 12.345", 12.345L},
        {"- 20.000", -20.0L},
        {"-   0.5", -0.5L},
        {"+12", 12.0L},
        {" 7", 7.0L},
        {"- 0", -0.0L},
        {"  DISABLED", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"- -5", std::nullopt},
        {"+ 12.3x", std::nullopt},
        {"+ 1234567890123456789012345678901234567890", std::nullopt},  // cut at 31 characters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseShownReading(c.text), c.value) << c.text;
    }
}

TEST(Intervals, TestEveryListAndLookups) {
    const auto& list = TestEveryTexts();
    ASSERT_EQ(list.size(), kTestEveryCount);
    EXPECT_EQ(list[0], "One Shot");
    EXPECT_EQ(list[1], "1 Secs");
    EXPECT_EQ(list[59], "59 Secs");
    EXPECT_EQ(list[60], "1 Mins");
    EXPECT_EQ(list[119], "1 Hours");
    EXPECT_EQ(list[142], "24 Hours");
    uint32_t previous = 0;
    for (std::size_t i = 1; i < list.size(); ++i) {
        EXPECT_GT(TestEverySeconds(list[i]), previous) << list[i];
        previous = TestEverySeconds(list[i]);
    }
    struct S {
        const char* text;
        uint32_t seconds;
    };
    const S cases[] = {{"One Shot", 0},     {"1 Secs", 1},  {"59 Secs", 59}, {"5 Mins", 300},
                       {"24 Hours", 86400}, {"", 0},        {"1 secs", 0},   {"01 Secs", 0},
                       {"1 Sec", 0},        {" 1 Secs", 0}, {"60 Secs", 0},  {"25 Hours", 0}};
    for (const auto& c : cases) EXPECT_EQ(TestEverySeconds(c.text), c.seconds) << c.text;

    const auto& log = LogIntervalTexts();
    ASSERT_EQ(log.size(), kLogIntervalCount);
    EXPECT_EQ(log.front(), "1 Secs");
    EXPECT_EQ(log.back(), "24 Hours");
    EXPECT_EQ(LookupLogIntervalMs("24 Hours"), 86400000);
    EXPECT_EQ(LookupLogIntervalMs("1 Secs"), 1000);
    EXPECT_EQ(LookupLogIntervalMs("One Shot"), 0);
}

TEST(Intervals, LoggingPeriodFallsBackToTheChannelsLastValidOne) {
    int32_t last = 0;
    EXPECT_EQ(LogIntervalToMs("", last), 1000);
    EXPECT_EQ(LogIntervalToMs("One Shot", last), 1000);
    EXPECT_EQ(LogIntervalToMs("5 Mins", last), 300000);
    EXPECT_EQ(LogIntervalToMs("junk", last), 300000);
    EXPECT_EQ(LogIntervalToMs("2 Secs", last), 2000);
    EXPECT_EQ(LogIntervalToMs("", last), 2000);
}

TEST(Intervals, LogSizes) {
    const auto& sizes = LogSizeTexts();
    ASSERT_EQ(sizes.size(), kLogSizeCount);
    struct Z {
        const char* text;
        int64_t bytes;
    };
    const Z cases[] = {{"1 Megabyte", 1048576},  {"2 Megabytes", 2097152},  {"35 Megabytes", 36700160},
                       {"1 Megabytes", 1048576}, {"36 Megabytes", 1048576}, {"", 1048576},
                       {"10 megabytes", 1048576}};
    for (const auto& c : cases) EXPECT_EQ(LogSizeToBytes(c.text), c.bytes) << c.text;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(LogSizeToBytes(sizes[i]), static_cast<int64_t>(i + 1) * 1048576);
    }
}

}  // namespace
}  // namespace kestrane
