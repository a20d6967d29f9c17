// The channel record's switches: only the exact stored word switches on,
// and setting a switch writes back the word other readers of the table
// expect.
#include "acquisition/channel_model.h"

#include <gtest/gtest.h>

namespace kestrane {
namespace {

TEST(ChannelSwitches, OnlyTheExactWordSwitchesOn) {
    struct Case {
        const char* text;
        bool yes;      // enable, filter and logging switches
        bool enabled;  // alarm bands
        bool shunt;    // mode
    };
    const Case cases[] = {
        {"YES", true, false, true},  {"ENABLED", false, true, true},   {"VDC", false, false, false},
        {"yes", false, false, true}, {"YES ", false, false, true},     {"enabled", false, false, true},
        {"", false, false, true},    {"NO", false, false, true},       {"ADC", false, false, true},
        {"vdc", false, false, true}, {"DISABLED", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ChannelSettings s;
        s.enable = s.filterEnable = s.logEnabled = c.text;
        s.highEnable = s.lowEnable = s.mode = c.text;
        EXPECT_EQ(s.IsPolled(), c.yes);
        EXPECT_EQ(s.FilterEnabled(), c.yes);
        EXPECT_EQ(s.LoggingEnabled(), c.yes);
        EXPECT_EQ(s.HighBandEnabled(), c.enabled);
        EXPECT_EQ(s.LowBandEnabled(), c.enabled);
        EXPECT_EQ(s.IsShunt(), c.shunt);
    }
}

TEST(ChannelSwitches, SettersWriteTheStoredWords) {
    ChannelSettings s;
    for (bool on : {true, false}) {
        s.SetPolled(on);
        s.SetFilterEnabled(on);
        s.SetLoggingEnabled(on);
        s.SetHighBandEnabled(on);
        s.SetLowBandEnabled(on);
        s.SetShunt(on);
        const char* yesNo = on ? "YES" : "NO";
        const char* band = on ? "ENABLED" : "DISABLED";
        EXPECT_EQ(s.enable, yesNo);
        EXPECT_EQ(s.filterEnable, yesNo);
        EXPECT_EQ(s.logEnabled, yesNo);
        EXPECT_EQ(s.highEnable, band);
        EXPECT_EQ(s.lowEnable, band);
        EXPECT_EQ(s.mode, on ? "ADC" : "VDC");
    }
}

}  // namespace
}  // namespace kestrane
