// The metrics file of a session: the alarm events read from a channel's
// trigger flags before and after one check; the file that follows the
// selected board and goes on a clean stop; and the counters and board info
// a real session fills through the metrics listener, the counting board
// exchange and the observed channel tasks, a lost board included.
#include "client/core/core_metrics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "client/core/scheduler.h"
#include "settings/message_sink.h"

namespace kestrane::core {
namespace {

namespace fs = std::filesystem;
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

struct NoTimers final : Scheduler {
    void StartTimer(int, int) override {}
    void StopTimer(int) override {}
};
struct FakeBoard final : BoardExchange {
    std::map<int, std::string> words;  // command -> answer
    std::set<int> failing;
    bool Read(uint32_t, int command, std::string& answer) override {
        const auto it = words.find(command);
        if (failing.count(command) || it == words.end()) return false;
        answer = it->second;
        return true;
    }
};
struct OneRow final : BoardSettingsSource {
    BoardSettings row;
    bool Load(const std::string& pid, BoardSettings& out) override {
        if (pid != row.pid) return false;
        out = row;
        return true;
    }
};
// Raises channel 1's high band on the first check, lowers it on the second.
struct FlagTasks final : ChannelTasks {
    int checks = 0;
    void TriggerCheck(const std::string&, int channel, const ChannelSettings&, ChannelState& state) override {
        if (channel != 1) return;
        const bool fire = checks++ % 2 == 0;
        state.trigger.highFired = fire ? 1 : 0;
        state.trigger.highArmed = fire ? 1 : 0;
    }
    void WriteLogRecord(int, const ChannelSettings&, const ChannelState&) override {}
    int LogPeriodMs(const ChannelSettings&, ChannelState&) override { return 0; }
};
struct NoAlarms final : AlarmActions {
    void StartProgram(const std::string&) override {}
    void PlaySound(const std::string&) override {}
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct MetricsFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("kestrane-core-metrics-" + std::to_string(::getpid()));
    NoTimers timers;
    FakeBoard board;
    OneRow source;
    FlagTasks tasks;
    NoAlarms alarms;
    NullMessageSink messages;
    CoreMetricsFile file{dir.string()};
    CountingBoardExchange counted{board, [this](bool ok) { file.NoteExchange(session.currentPid(), ok); }};
    ObservedChannelTasks observed{
        tasks, [this](const std::string& b, int channel, const TriggerState& before,
                      const TriggerState& after) { file.NoteTrigger(b, channel, before, after); }};
    AcquisitionSession session{SessionParts{timers, source, alarms, messages, &counted, &observed}};
    MetricsListener listener{
        file, [](uint32_t productId, std::string firmware) {
            return BoardIdentity{"KESTRANEUNIT " + std::to_string(productId), "Morvane", std::move(firmware)};
        }};

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
        source.row.pid = "000A";
        for (ChannelSettings& ch : source.row.channels) ch.enable = "NO";
        ChannelSettings& one = source.row.channels[0];
        one.enable = "YES";
        one.vmName = "Battery";
        one.adj = "1";
        one.precision = "3";
        one.mode = "VDC";
        one.SetHighBandEnabled(true);
        board.words = {{kFirmwareCommand, "FW 1.00"}, {1, "1074790592"}};
        session.AddListener(listener);
    }
    void TearDown() override {
        session.RemoveListener(listener);
        fs::remove_all(dir);
    }
    std::string Text() { return ReadAll(dir / "kestrane-000A.prom"); }
};

// A board's file belongs to one writer: when the session moves to another
// board, the old file goes, or a collector would serve it for ever (and
// the "not written" alert fire); a clean stop removes the current one.
TEST_F(MetricsFixture, FileFollowsTheSelectedBoardAndGoesOnStop) {
    session.SelectBoard("000A");
    file.NoteExchange("000A", true);
    ASSERT_TRUE(file.Write(session));
    EXPECT_TRUE(fs::exists(dir / "kestrane-000A.prom"));
    session.SelectBoard("000B");
    ASSERT_TRUE(file.Write(session));
    EXPECT_FALSE(fs::exists(dir / "kestrane-000A.prom"));
    ASSERT_TRUE(fs::exists(dir / "kestrane-000B.prom"));
    const std::string text = ReadAll(dir / "kestrane-000B.prom");
    // Counters are the board's own.
    EXPECT_NE(text.find("kestrane_exchanges_total{board=\"000B\",result=\"ok\"} 0\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("kestrane_board_connected{board=\"000B\"} 0\n"), std::string::npos) << text;

    EXPECT_TRUE(file.Remove(session));
    EXPECT_TRUE(fs::is_empty(dir));
}

// Through a real session: what the board said at Connect, each reading,
// each exchange, the alarm events of the checks and a lost board.
TEST_F(MetricsFixture, SessionFillsBoardInfoAndEveryCounter) {
    session.SetRecovery(true);
    session.SelectBoard("000A");
    session.Connect();
    session.OnTimer(kTimerPolling);
    session.OnTimer(kTimerTrigger);  // the band fires
    session.OnTimer(kTimerTrigger);  // and returns
    ASSERT_TRUE(file.Write(session));
    std::string text = Text();
    for (const char* line : {
             "kestrane_board_info{board=\"000A\",product=\"KESTRANEUNIT 10\",manufacturer=\"Morvane\","
             "firmware=\"FW 1.00\"} 1\n",
             "kestrane_board_connected{board=\"000A\"} 1\n",
             "kestrane_channel_info{board=\"000A\",channel=\"1\",name=\"Battery\",unit=\"V\"} 1\n",
             "kestrane_channel_volts{board=\"000A\",channel=\"1\"} ",
             "kestrane_readings_total{board=\"000A\",channel=\"1\"} 1\n",
             "kestrane_alarm_events_total{board=\"000A\",channel=\"1\",band=\"high\",event=\"alarm\"} 1\n",
             "kestrane_alarm_events_total{board=\"000A\",channel=\"1\",band=\"high\",event=\"return\"} 1\n",
             "kestrane_exchanges_total{board=\"000A\",result=\"ok\"} 2\n",
             "kestrane_exchanges_total{board=\"000A\",result=\"failed\"} 0\n",
             "kestrane_board_lost_total{board=\"000A\"} 0\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << text;

    board.failing = {1, kFirmwareCommand};
    // A tick between rounds may ask nothing; the next one reaches channel 1.
    for (int i = 0; i < 10 && !session.boardLost(); ++i) session.OnTimer(kTimerPolling);
    ASSERT_TRUE(session.boardLost());
    session.OnTimer(kTimerRetry);
    ASSERT_TRUE(file.Write(session));
    text = Text();
    for (const char* line :
         {"kestrane_board_connected{board=\"000A\"} 0\n", "kestrane_board_lost_total{board=\"000A\"} 1\n",
          "kestrane_exchanges_total{board=\"000A\",result=\"failed\"} 2\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_EQ(text.find("kestrane_channel_volts{"), std::string::npos) << "no value of a lost board";

    board.failing.clear();
    session.OnTimer(kTimerRetry);
    ASSERT_TRUE(session.connected());
    ASSERT_TRUE(file.Write(session));
    EXPECT_NE(Text().find("kestrane_board_lost_total{board=\"000A\"} 1\n"), std::string::npos);
    EXPECT_TRUE(file.Remove(session));
    EXPECT_FALSE(fs::exists(dir / "kestrane-000A.prom"));
}

}  // namespace
}  // namespace kestrane::core
