// The alarm events the metrics count, read from a channel's trigger flags
// before and after one check: first alarms, repeats and returns; and the
// file of a core that changes boards or stops.
#include "core/core_metrics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "settings/message_sink.h"

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

// A disconnected core whose selected board the test sets.
struct QuietView final : MainView {
    std::string selector;
    void SetStatusText(int, const std::string&) override {}
    void SetValueText(int, const std::string&) override {}
    void SetGauge(int, int, int, bool) override {}
    void SetGaugePosition(int, int) override {}
    void SetFirmwareText(const std::string&) override {}
    void SetCurrentRequest(const std::string&) override {}
    void SetConnectedControls(bool) override {}
    void SetChannelColumns(int, const std::string&, const std::string&, const std::string&,
                           const std::string&) override {}
    void SetNameTooltip(int, const std::string&) override {}
    std::string DeviceSelectorText() const override { return selector; }
    void StartTimer(int, int) override {}
    void StopTimer(int) override {}
    void RequestClose() override {}
};
struct NoBoard final : BoardExchange {
    bool Read(uint32_t, int, std::string&) override { return false; }
};
struct NoSettings final : BoardSettingsSource {
    bool Load(const std::string&, const std::string&, BoardSettings&) override { return false; }
};
struct NoTasks final : ChannelTasks {
    void TriggerCheck(int, const ChannelSettings&, ChannelState&) override {}
    void WriteLogRecord(int, const ChannelSettings&, const ChannelState&) override {}
    int LogPeriodMs(const ChannelSettings&, ChannelState&) override { return 0; }
};

// A board's file belongs to one writer: when the core moves to another
// board, the old file goes, or a collector would serve it for ever (and the
// "not written" alert fire); a clean stop removes the current one.
TEST(CoreMetricsTest, FileFollowsTheSelectedBoardAndGoesOnStop) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kestrane-core-metrics-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    QuietView view;
    NullMessageSink messages;
    NoBoard board;
    NoSettings settings;
    NoTasks tasks;
    ClientCore core(view, messages, board, settings, tasks);
    CoreMetricsFile file(dir.string());

    view.selector = "000A - USB  KESTRANEUNIT";
    file.NoteExchange("000A", true);
    ASSERT_TRUE(file.Write(core));
    EXPECT_TRUE(fs::exists(dir / "kestrane-000A.prom"));
    view.selector = "000B - USB  KESTRANEUNIT";
    ASSERT_TRUE(file.Write(core));
    EXPECT_FALSE(fs::exists(dir / "kestrane-000A.prom"));
    ASSERT_TRUE(fs::exists(dir / "kestrane-000B.prom"));
    std::ifstream in(dir / "kestrane-000B.prom");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Counters are the board's own.
    EXPECT_NE(text.find("kestrane_exchanges_total{board=\"000B\",result=\"ok\"} 0\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("kestrane_board_connected{board=\"000B\"} 0\n"), std::string::npos) << text;

    EXPECT_TRUE(file.Remove(core));
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrane::ui
