// The polling round without a window: order of channels, switched-off
// channels, the busy guard, a failing board and the status animation.
#include "acquisition/polling_cycle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrane {
namespace {

struct FakeBoard final : BoardExchange {
    std::vector<int> commands;
    bool fail = false;
    bool Read(uint32_t, int command, std::string& answer) override {
        commands.push_back(command);
        if (fail) {
            answer = "garbage that must not be shown";
            return false;
        }
        answer = std::to_string(1073741824 + command * 64);
        return true;
    }
};

struct RecordingDisplay final : PollingDisplay {
    std::vector<std::string> events;
    void ShowCurrentRequest(int channel) override { events.push_back("request " + std::to_string(channel)); }
    void ShowDisabled(int channel) override { events.push_back("disabled " + std::to_string(channel)); }
    void ShowReading(int channel, const std::string& word) override {
        events.push_back("reading " + std::to_string(channel) + " " + word);
    }
};

BoardSettings WithEnabled(std::initializer_list<int> enabled) {
    BoardSettings s;
    for (int n : enabled) s.channels[static_cast<std::size_t>(n - 1)].enable = "YES";
    return s;
}

TEST(PollingCycle, NextChannelWrapsAndRepairsOutOfRangeValues) {
    const struct { int in, out; } cases[] = {{1, 2}, {5, 6}, {6, 1}, {0, 1}, {7, 1}, {-3, 1}};
    for (const auto& c : cases) EXPECT_EQ(NextChannelAfter(c.in), c.out) << c.in;
}

TEST(PollingCycle, ReadsChannelsOneToSixInTurnAndSkipsSwitchedOffOnes) {
    // Only exact "YES" enables a channel; lower case, blanks and empty do not.
    BoardSettings s = WithEnabled({1, 2, 4, 6});
    s.channels[2].enable = "yes";
    s.channels[4].enable = "YES ";
    FakeBoard board;
    RecordingDisplay display;
    PollingCycle cycle;
    std::vector<PassOutcome> outcomes;
    for (int i = 0; i < 12; ++i) outcomes.push_back(RunPollingPass(cycle, s, 10, board, display).outcome);

    EXPECT_EQ(board.commands, (std::vector<int>{1, 2, 4, 6, 1, 2, 4, 6}));
    const std::vector<PassOutcome> round = {PassOutcome::Read, PassOutcome::Read,     PassOutcome::Disabled,
                                            PassOutcome::Read, PassOutcome::Disabled, PassOutcome::Read};
    for (std::size_t i = 0; i < outcomes.size(); ++i) EXPECT_EQ(outcomes[i], round[i % 6]) << i;
    ASSERT_GE(display.events.size(), 4u);
    EXPECT_EQ(display.events[0], "request 1");
    EXPECT_EQ(display.events[1], "reading 1 1073741888");
    EXPECT_EQ(display.events[4], "request 3");
    EXPECT_EQ(display.events[5], "disabled 3");
    EXPECT_FALSE(cycle.busy);
    EXPECT_EQ(cycle.nextChannel, 1);
    EXPECT_EQ(cycle.currentChannel, 6);
    EXPECT_EQ(cycle.productId, 10u);
}

TEST(PollingCycle, AllChannelsOffNeverAddressesTheBoard) {
    BoardSettings s;
    FakeBoard board;
    RecordingDisplay display;
    PollingCycle cycle;
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(RunPollingPass(cycle, s, 10, board, display).outcome, PassOutcome::Disabled);
    EXPECT_TRUE(board.commands.empty());
    EXPECT_EQ(AnimationTick(cycle), " MSG: Data Polling .");
}

TEST(PollingCycle, FailedExchangeKeepsBusySoLaterTicksDoNothing) {
    BoardSettings s = WithEnabled({1, 2, 3, 4, 5, 6});
    FakeBoard board;
    RecordingDisplay display;
    PollingCycle cycle;
    ASSERT_EQ(RunPollingPass(cycle, s, 10, board, display).outcome, PassOutcome::Read);
    board.fail = true;
    const PassResult failed = RunPollingPass(cycle, s, 10, board, display);
    EXPECT_EQ(failed.outcome, PassOutcome::ExchangeFailed);
    EXPECT_EQ(failed.channel, 2);
    EXPECT_TRUE(cycle.busy);
    EXPECT_TRUE(cycle.answer.empty());
    EXPECT_EQ(cycle.nextChannel, 2);  // the round did not move on
    // Ticks delivered while the error box is open return at once.
    const std::size_t exchanges = board.commands.size();
    const std::size_t shown = display.events.size();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(RunPollingPass(cycle, s, 10, board, display).outcome, PassOutcome::Skipped);
    EXPECT_EQ(board.commands.size(), exchanges);
    EXPECT_EQ(display.events.size(), shown);
    EXPECT_EQ(AnimationTick(cycle), kPollingPausedText);
}

TEST(PollingCycle, AnimationRunsTwelveStepsAndPauseDoesNotAdvance) {
    PollingCycle cycle;
    for (int round = 0; round < 2; ++round) {
        for (int dots = 1; dots <= 12; ++dots)
            EXPECT_EQ(AnimationTick(cycle),
                      " MSG: Data Polling " + std::string(static_cast<std::size_t>(dots), '.'));
    }
    cycle.animationStep = 4;
    cycle.busy = true;
    EXPECT_EQ(AnimationTick(cycle), "Polling Paused !");
    EXPECT_EQ(cycle.animationStep, 4);
    cycle.busy = false;
    EXPECT_EQ(AnimationTick(cycle), " MSG: Data Polling .....");
    cycle.animationStep = 99;  // a corrupted step restarts instead of overrunning
    EXPECT_EQ(AnimationTick(cycle), " MSG: Data Polling .");
}

TEST(PollingCycle, ResetRoundRestartsAtChannelOneButKeepsAnimation) {
    BoardSettings s = WithEnabled({1, 2, 3, 4, 5, 6});
    FakeBoard board;
    RecordingDisplay display;
    PollingCycle cycle;
    for (int i = 0; i < 3; ++i) RunPollingPass(cycle, s, 10, board, display);
    AnimationTick(cycle);
    ResetRound(cycle);
    EXPECT_EQ(cycle.nextChannel, 1);
    EXPECT_EQ(cycle.animationStep, 1);
    RunPollingPass(cycle, s, 10, board, display);
    EXPECT_EQ(board.commands.back(), 1);
}

}  // namespace
}  // namespace kestrane
