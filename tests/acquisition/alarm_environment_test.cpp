// The context an alarm's program gets: the trigger check tells the actions
// which band and event each program belongs to, with the reading, and the
// environment carries it as plain texts.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "acquisition/alarm_environment.h"
#include "acquisition/trigger_engine.h"

namespace kestrane {
namespace {

class FixedClock final : public Clock {
public:
    uint32_t NowSeconds() override { return 5000; }
};

// The environment each started program would get.
class RecordingActions final : public AlarmActions {
public:
    void BeginAlarm(const AlarmContext& context) override { context_ = context; }
    void StartProgram(const std::string& path) override {
        std::map<std::string, std::string> env;
        for (const auto& [k, v] : AlarmEnvironment(context_)) env[k] = v;
        env["program"] = path;
        started.push_back(env);
    }
    void PlaySound(const std::string&) override {}
    std::vector<std::map<std::string, std::string>> started;

private:
    AlarmContext context_;
};

TEST(AlarmEnvironmentTest, EachProgramLearnsItsBandEventAndReading) {
    ChannelSettings s;
    s.vmName = "Pack \"B\"";
    s.highEnable = "ENABLED";
    s.highTriggerMax = "12";
    s.highTriggerMin = "10";
    s.highFile = "high.sh";
    s.highNormFile = "high-ok.sh";
    s.lowEnable = "ENABLED";
    s.lowTriggerMin = "-15";
    s.lowTriggerMax = "-5";
    s.lowFile = "low.sh";
    s.lowNormSound = "low-ok.wav";  // a sound only: no program, no environment
    s.lowNormFile = "low-ok.sh";

    const struct {
        const char* shown;
        ReadingNumber number;  // what the conversion gave with the shown text
        const char* program;   // nullptr: nothing started
        const char* band;
        const char* event;
        const char* value;
    } steps[] = {
        {"+ 12.500", {12.4996L, 3}, "high.sh", "high", "alarm", "12.500"},
        {"+ 11.000", {11.0L, 3}, nullptr, "", "", ""},
        {"+ 9.000", {9.0L, 3}, "high-ok.sh", "high", "return", "9.000"},
        {"- 20.000", {-20.0L, 3}, "low.sh", "low", "alarm", "-20.000"},
        {"- 0.000", {-0.0002L, 3}, "low-ok.sh", "low", "return", "0.000"},
    };
    TriggerState trigger;
    FixedClock clock;
    RecordingActions actions;
    for (const auto& step : steps) {
        actions.started.clear();
        RunTriggerCheck(s, step.shown, trigger, clock, actions, "000A", 4, step.number);
        if (step.program == nullptr) {
            EXPECT_TRUE(actions.started.empty()) << step.shown;
            continue;
        }
        ASSERT_EQ(actions.started.size(), 1u) << step.shown;
        auto& env = actions.started.front();
        EXPECT_EQ(env["program"], step.program);
        EXPECT_EQ(env["KESTRANE_BOARD"], "000A");
        EXPECT_EQ(env["KESTRANE_CHANNEL"], "4");
        EXPECT_EQ(env["KESTRANE_NAME"], "Pack \"B\"");
        EXPECT_EQ(env["KESTRANE_BAND"], step.band) << step.shown;
        EXPECT_EQ(env["KESTRANE_EVENT"], step.event) << step.shown;
        EXPECT_EQ(env["KESTRANE_VALUE"], step.value) << step.shown;
        EXPECT_EQ(env.size(), 7u);
    }
}

TEST(AlarmEnvironmentTest, TextsThatCannotTravelAreCleaned) {
    AlarmContext c;
    c.name = std::string("a\0b", 3);
    c.shown = "  DISABLED";
    std::map<std::string, std::string> env;
    for (const auto& [k, v] : AlarmEnvironment(c)) env[k] = v;
    EXPECT_EQ(env["KESTRANE_NAME"], "ab");
    EXPECT_EQ(env["KESTRANE_VALUE"], "");
    EXPECT_EQ(env["KESTRANE_CHANNEL"], "");  // caller did not say
}

}  // namespace
}  // namespace kestrane
