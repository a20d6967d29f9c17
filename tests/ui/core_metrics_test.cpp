// The alarm events the metrics count, read from a channel's trigger flags
// before and after one check: first alarms, repeats and returns.
#include "core/core_metrics.h"

#include <gtest/gtest.h>

namespace kestrane::ui {
namespace {

using Events = std::vector<std::pair<std::string, std::string>>;

TriggerState Flags(int highFired, int highArmed, int lowFired, int lowArmed) {
    TriggerState t;
    t.highFired = highFired;
    t.highArmed = highArmed;
    t.lowFired = lowFired;
    t.lowArmed = lowArmed;
    return t;
}

TEST(CoreMetricsTest, AlarmEventsFollowTheFlags) {
    struct Case {
        const char* what;
        TriggerState before, after;
        Events events;
    };
    const Case cases[] = {
        {"nothing changes", Flags(0, 0, 0, 0), Flags(0, 0, 0, 0), {}},
        {"high fires", Flags(0, 0, 0, 0), Flags(1, 1, 0, 0), {{"high", "alarm"}}},
        {"high repeats after its wait", Flags(0, 1, 0, 0), Flags(1, 1, 0, 0), {{"high", "alarm"}}},
        {"repeat interval ran out: no event", Flags(1, 1, 0, 0), Flags(0, 1, 0, 0), {}},
        {"high returns", Flags(1, 1, 0, 0), Flags(0, 0, 0, 0), {{"high", "return"}}},
        {"high returns while waiting", Flags(0, 1, 0, 0), Flags(0, 0, 0, 0), {{"high", "return"}}},
        {"low fires", Flags(0, 0, 0, 0), Flags(0, 0, 1, 1), {{"low", "alarm"}}},
        {"low returns", Flags(0, 0, 1, 1), Flags(0, 0, 0, 0), {{"low", "return"}}},
        {"both bands at once", Flags(1, 1, 0, 0), Flags(0, 0, 1, 1), {{"high", "return"}, {"low", "alarm"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(AlarmEventsBetween(c.before, c.after), c.events) << c.what;
}

}  // namespace
}  // namespace kestrane::ui
