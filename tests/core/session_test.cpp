// The session against a recording listener and scheduler, a fake board
// and in-memory settings: Connect, Disconnect, the timer dispatch,
// conversion into the Value field, gauge and typed readings, the failed
// exchange that closes the client and the recovery of a lost board.
#include "client/core/session.h"

#include "client/core/channel_saves.h"
#include "client/core/core_metrics.h"
#include "common/open_data.h"
#include "settings/device_registry.h"
#include "volts_text.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kestrane::core {
namespace {

struct RecordingView final : SessionListener, Scheduler {
    std::map<int, std::string> status;
    std::map<int, std::string> values;
    std::map<int, std::vector<int>> gauges;  // maximum, position, positive
    std::string firmware = "(none)";
    std::string request;
    bool connected = false;
    std::map<int, std::vector<std::string>> columns;
    std::map<int, std::string> tooltips;
    std::string selector = "000A - USB  KESTRANEUNIT";
    std::map<int, int> timers;  // running timers: id -> period
    int closeRequests = 0;
    std::vector<std::string> log;
    std::vector<Reading> readings;
    std::vector<std::string> events;  // connected, disconnected, lost, back

    void OnStatusText(int part, const std::string& text) override {
        status[part] = text;
        log.push_back("status" + std::to_string(part) + ":" + text);
    }
    void OnValueText(int channel, const std::string& text) override { values[channel] = text; }
    void OnReading(const Reading& r) override {
        values[r.channel] = r.shown;
        gauges[r.channel] = {r.gauge.maximum, r.gauge.position, r.gauge.positive ? 1 : 0};
        readings.push_back(r);
    }
    void OnGaugePosition(int channel, int position) override {
        if (gauges[channel].empty()) gauges[channel] = {100, 0, 1};
        gauges[channel][1] = position;
    }
    void OnFirmware(const std::string& text) override { firmware = text; }
    void OnCurrentRequest(int channel) override { request = std::to_string(channel); }
    void OnConnected(const std::string& board) override {
        connected = true;
        events.push_back("connected " + board);
    }
    void OnDisconnected(const std::string& board) override {
        connected = false;
        events.push_back("disconnected " + board);
    }
    void OnBoardLost(const std::string& board) override { events.push_back("lost " + board); }
    void OnBoardBack(const std::string& board) override { events.push_back("back " + board); }
    void OnChannelColumns(int channel, const ChannelSettings& s) override {
        columns[channel] = {s.mode, s.vmName, s.adj, s.precision};
    }
    void OnNameTooltip(int channel, const std::string& notes) override { tooltips[channel] = notes; }
    void StartTimer(int id, int periodMs) override { timers[id] = periodMs; }
    void StopTimer(int id) override { timers.erase(id); }
    void OnCloseRequested() override { ++closeRequests; }
};

struct RecordingMessages final : MessageSink {
    std::vector<std::pair<std::string, std::string>> shown;
    std::function<void()> whileOpen;  // runs "inside" the modal box
    void ShowError(const std::string& caption, const std::string& text) override {
        shown.emplace_back(caption, text);
        if (whileOpen) whileOpen();
    }
};

struct FakeBoard final : BoardExchange {
    std::map<int, std::string> words;  // command -> answer
    std::set<int> failing;
    std::vector<std::pair<uint32_t, int>> calls;
    bool Read(uint32_t productId, int command, std::string& answer) override {
        calls.emplace_back(productId, command);
        if (failing.count(command)) return false;
        auto it = words.find(command);
        if (it == words.end()) return false;
        answer = it->second;
        return true;
    }
};

struct FakeSource final : BoardSettingsSource {
    std::map<std::string, BoardSettings> rows;
    std::vector<std::string> loadedPids;
    bool Load(const std::string& pid, BoardSettings& out) override {
        loadedPids.push_back(pid);
        auto it = rows.find(pid);
        if (it == rows.end()) return false;
        out = it->second;
        return true;
    }
};

struct RecordingTasks final : ChannelTasks {
    std::vector<std::string> calls;
    std::vector<std::string> boards;
    void TriggerCheck(const std::string& board, int channel, const ChannelSettings&,
                      ChannelState& state) override {
        boards.push_back(board);
        calls.push_back("trigger" + std::to_string(channel) + ":" + state.shown);
    }
    void WriteLogRecord(int channel, const ChannelSettings&, const ChannelState& state) override {
        calls.push_back("log" + std::to_string(channel) + ":" + state.shown);
    }
    int LogPeriodMs(const ChannelSettings& settings, ChannelState&) override {
        if (settings.logInterval == "5 Secs") return 5000;
        if (settings.logInterval == "1 Mins") return 60000;
        return 0;
    }
};

struct NoAlarms final : AlarmActions {
    void StartProgram(const std::string&) override { ADD_FAILURE() << "the fake tasks run no alarms"; }
    void PlaySound(const std::string&) override { ADD_FAILURE() << "the fake tasks run no alarms"; }
};

ChannelSettings Channel(const char* enable, const char* name, const char* adj, const char* precision,
                        const char* mode = "VDC") {
    ChannelSettings c;
    c.enable = enable;
    c.vmName = name;
    c.adj = adj;
    c.precision = precision;
    c.mode = mode;
    c.notes = std::string("notes of ") + name;
    return c;
}

struct Fixture : ::testing::Test {
    RecordingView view;
    RecordingMessages messages;
    FakeBoard board;
    FakeSource source;
    RecordingTasks tasks;
    NoAlarms alarms;
    AcquisitionSession core{SessionParts{view, source, alarms, messages, &board, &tasks}};

    Fixture() { core.AddListener(view); }
    // What the window does at Connect: the board named by its selector.
    void Connect() {
        core.SelectBoard(PidFromSelectorText(view.selector));
        core.Connect();
    }

    void SetUp() override {
        BoardSettings s;
        s.pid = "000A";
        s.channels[0] = Channel("YES", "Battery", "1", "3");
        s.channels[1] = Channel("YES", "Negative", "1", "6");
        s.channels[2] = Channel("NO", "Spare", "1", "2");
        s.channels[3] = Channel("YES", "Shunt", "1", "2", "ADC");
        s.channels[3].amp = "50";
        s.channels[3].millivolt = "75";
        s.channels[4] = Channel("YES", "Zero adjust", "0", "4");
        s.channels[5] = Channel("YES", "Logged", "1", "0");
        s.channels[5].logEnabled = "YES";
        s.channels[5].logInterval = "5 Secs";
        s.channels[0].logEnabled = "YES";
        s.channels[0].logInterval = "not an interval";
        source.rows["000A"] = s;
        board.words = {{8, "KESTRANE FW 1.00"}, {1, "1074790592"}, {2, "1073741632"}, {3, "1074790592"},
                       {4, "1073743424"},       {5, "1074790592"}, {6, "1142616192"}};
    }
    void Ticks(int id, int count) {
        for (int i = 0; i < count; ++i) core.OnTimer(id);
    }
};

TEST_F(Fixture, ConnectShowsFirmwareSettingsAndStartsTheTimers) {
    Connect();
    EXPECT_EQ(view.firmware, "KESTRANE FW 1.00");
    EXPECT_EQ(view.status[1], "Connected");
    EXPECT_EQ(view.status[2], " MSG: Data Polling Started");
    EXPECT_TRUE(view.connected);
    EXPECT_EQ(board.calls.front(), (std::pair<uint32_t, int>{0x000A, 8}));
    EXPECT_EQ(source.loadedPids, std::vector<std::string>{"000A"});
    EXPECT_EQ(view.columns[4], (std::vector<std::string>{"ADC", "Shunt", "1", "2"}));
    EXPECT_EQ(view.tooltips[1], "notes of Battery");
    // Channel 6 logs every 5 s; channel 1's period is refused (0): no timer.
    const std::map<int, int> expected = {
        {kTimerPolling, 50}, {kTimerTrigger, 50}, {kTimerAnimation, 1000}, {kTimerLogFirst + 5, 5000}};
    EXPECT_EQ(view.timers, expected);
}

TEST_F(Fixture, FirmwareFailureKeepsTheOldTextAndStillConnects) {
    view.firmware = "previous";
    board.failing.insert(8);
    Connect();
    EXPECT_EQ(view.firmware, "previous");
    EXPECT_EQ(view.status[1], "Connected");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Fixture, OneRoundShowsEveryChannelConverted) {
    Connect();
    Ticks(kTimerPolling, 6);
    const struct {
        int channel;
        const char* shown;
        int maximum, position, positive;
    } expected[] = {
        {1, "+ 0.198", 100, 0, 1},     {2, "- 0.000188", 100, 0, 0},
        {3, "  DISABLED", -1, -1, -1}, {4, "+ 0", 50, 0, 1},  // below the shunt noise floor: exactly zero
        {5, "+ 0", 100, 0, 1},                                // adjustment 0
        {6, "+ 13", 100, 13, 1},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(view.values[e.channel], e.shown) << e.channel;
        EXPECT_EQ(core.states().at(e.channel).shown, e.shown) << e.channel;
        if (e.maximum >= 0) {
            EXPECT_EQ(view.gauges[e.channel], (std::vector<int>{e.maximum, e.position, e.positive}));
        }
    }
    EXPECT_EQ(view.request, "6");
    EXPECT_FALSE(core.states().at(3).hasReading);
    EXPECT_TRUE(core.states().at(1).hasReading);
    // The board was asked for channels 1, 2, 4, 5, 6 only.
    std::vector<int> commands;
    for (auto& c : board.calls) commands.push_back(c.second);
    EXPECT_EQ(commands, (std::vector<int>{8, 1, 2, 4, 5, 6}));
}

TEST_F(Fixture, TriggerAndLogTimersReachTheChannelTasks) {
    Connect();
    core.OnTimer(kTimerTrigger);
    EXPECT_TRUE(tasks.calls.empty());  // no channel has shown a reading yet
    Ticks(kTimerPolling, 3);           // channels 1, 2 and (off) 3
    core.OnTimer(kTimerTrigger);
    EXPECT_EQ(tasks.calls, (std::vector<std::string>{"trigger1:+ 0.198", "trigger2:- 0.000188"}));
    tasks.calls.clear();
    core.OnTimer(kTimerLogFirst + 5);  // channel 6 logs its (still empty) value
    core.OnTimer(kTimerLogFirst + 1);
    core.OnTimer(99);  // unknown ids are ignored
    core.OnTimer(kTimerLogFirst + 6);
    EXPECT_EQ(tasks.calls, (std::vector<std::string>{"log6:", "log2:- 0.000188"}));
}

TEST_F(Fixture, DisconnectClearsReadingsAndReconnectResumesAtChannelOne) {
    Connect();
    Ticks(kTimerPolling, 4);
    Ticks(kTimerAnimation, 3);
    core.Disconnect();
    EXPECT_EQ(view.status[1], "Not Connected");
    EXPECT_EQ(view.status[2], "MSG:   Click on connect");
    EXPECT_FALSE(view.connected);
    EXPECT_TRUE(view.timers.empty());
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(view.values[n], "") << n;
        EXPECT_EQ(view.gauges[n][1], 0) << n;
        EXPECT_FALSE(core.states().at(n).hasReading) << n;
        EXPECT_EQ(view.tooltips[n], "") << n;
    }
    EXPECT_EQ(view.firmware, "KESTRANE FW 1.00");  // kept
    EXPECT_EQ(view.gauges[4][0], 50);              // range kept
    board.calls.clear();
    Connect();
    core.OnTimer(kTimerPolling);
    EXPECT_EQ(board.calls.back().second, 1);
    EXPECT_EQ(view.request, "1");
    core.OnTimer(kTimerAnimation);  // continues from the step it had reached
    EXPECT_EQ(view.status[2], " MSG: Data Polling ....");
}

TEST_F(Fixture, DisconnectWhileNotConnectedIsHarmless) {
    core.Disconnect();
    EXPECT_EQ(view.status[1], "Not Connected");
    EXPECT_FALSE(view.connected);
    EXPECT_EQ(core.polling().nextChannel, 1);
}

TEST_F(Fixture, FailedExchangeShowsTheBoxPausesAndClosesOnce) {
    Connect();
    board.failing.insert(2);
    std::vector<std::string> duringBox;
    messages.whileOpen = [&] {
        // Timers keep firing inside the modal box.
        Ticks(kTimerPolling, 3);
        core.OnTimer(kTimerAnimation);
        duringBox.push_back(view.status[2]);
        EXPECT_EQ(view.closeRequests, 0);
    };
    Ticks(kTimerPolling, 2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], (std::pair<std::string, std::string>{"SHAZBOT! Function call to DLL failed!",
                                                                      "Write to board failed"}));
    EXPECT_EQ(duringBox, std::vector<std::string>{"Polling Paused !"});
    EXPECT_EQ(view.closeRequests, 1);
    // Board addressed once for channel 2: no retry while the box was open.
    int channel2 = 0;
    for (auto& c : board.calls) channel2 += c.second == 2;
    EXPECT_EQ(channel2, 1);
    // After the close request no further pass runs.
    messages.whileOpen = nullptr;
    Ticks(kTimerPolling, 3);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(Fixture, RecoveryMarksTheBoardLostRetriesAndResumesAtChannelOne) {
    core.SetRecovery(true);
    Connect();
    board.failing = {1, 2, 3, 4, 5, 6, 8};
    board.failing.erase(1);
    Ticks(kTimerPolling, 2);
    EXPECT_TRUE(core.boardLost());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(view.closeRequests, 0);
    EXPECT_FALSE(core.connected());
    EXPECT_EQ(core.currentPid(), "000A");
    EXPECT_EQ(view.events, (std::vector<std::string>{"connected 000A", "disconnected 000A", "lost 000A"}));
    EXPECT_EQ(view.timers, (std::map<int, int>{{kTimerRetry, 2000}}))
        << "no trigger or log tick may run on old readings";
    EXPECT_EQ(core.states().at(1).shown, "");
    EXPECT_FALSE(core.states().at(1).number.has_value());
    EXPECT_FALSE(core.states().at(1).hasReading);
    ASSERT_EQ(view.readings.size(), 1u);

    // Still gone: the search goes on, nothing is logged or checked.
    board.failing.insert(1);
    Ticks(kTimerRetry, 3);
    Ticks(kTimerTrigger, 1);
    Ticks(kTimerLogFirst + 5, 1);
    EXPECT_TRUE(core.boardLost());
    EXPECT_TRUE(tasks.calls.empty());
    EXPECT_EQ(view.timers.count(kTimerRetry), 1u);

    board.failing.clear();
    Ticks(kTimerRetry, 1);
    EXPECT_FALSE(core.boardLost());
    EXPECT_TRUE(core.connected());
    EXPECT_EQ(view.events.back(), "back 000A");
    EXPECT_EQ(view.events[view.events.size() - 2], "connected 000A");
    EXPECT_EQ(view.timers.count(kTimerRetry), 0u);
    EXPECT_EQ(view.timers.count(kTimerPolling), 1u);
    view.readings.clear();
    Ticks(kTimerPolling, 2);
    ASSERT_EQ(view.readings.size(), 2u);
    EXPECT_EQ(view.readings[0].channel, 1) << "polling resumes at channel 1";
    EXPECT_EQ(view.readings[1].channel, 2);
    EXPECT_EQ(core.states().at(2).shown, "- 0.000188");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Fixture, RetryNowLooksAtOnceAndOnlyForALostBoard) {
    core.SetRecovery(true);
    board.calls.clear();
    core.RetryNow();
    EXPECT_TRUE(board.calls.empty()) << "nothing is lost";

    Connect();
    board.failing = {1};
    Ticks(kTimerPolling, 1);
    ASSERT_TRUE(core.boardLost());
    core.RetryNow();  // the board still fails its readings but answers the firmware question
    EXPECT_FALSE(core.boardLost());
    EXPECT_EQ(view.events.back(), "back 000A");
}

TEST_F(Fixture, TheUserEndsTheSearchForALostBoard) {
    core.SetRecovery(true);
    const struct {
        const char* how;
        std::function<void(AcquisitionSession&)> act;
    } cases[] = {
        {"Disconnect", [](AcquisitionSession& c) { c.Disconnect(); }},
        {"another board", [](AcquisitionSession& c) { c.SelectBoard("000B"); }},
        {"closing", [](AcquisitionSession& c) { c.PrepareClose(); }},
    };
    for (const auto& c : cases) {
        Connect();
        board.failing = {1, 8};
        Ticks(kTimerPolling, 1);
        ASSERT_TRUE(core.boardLost()) << c.how;
        c.act(core);
        EXPECT_FALSE(core.boardLost()) << c.how;
        EXPECT_EQ(view.timers.count(kTimerRetry), 0u) << c.how;
        board.failing.clear();
        const std::size_t events = view.events.size();
        core.OnTimer(kTimerRetry);  // a tick already queued finds nothing to do
        EXPECT_EQ(view.events.size(), events) << c.how;
        view.selector = "000A - USB  KESTRANEUNIT";
    }
}

TEST_F(Fixture, ReadingsCarryTheShownTextsNumberAndUnit) {
    const int64_t before = NowUnixMs();
    Connect();
    Ticks(kTimerPolling, 6);
    const int64_t after = NowUnixMs();
    ASSERT_EQ(view.readings.size(), 5u);  // channel 3 is not polled
    for (const Reading& r : view.readings) {
        EXPECT_EQ(r.board, "000A");
        EXPECT_EQ(r.shown, core.states().at(r.channel).shown);
        EXPECT_EQ(PlainNumber(r.value), board::PlainValue(r.shown).value_or("none")) << r.shown;
        EXPECT_EQ(r.unit, r.channel == 4 ? "A" : "V") << r.channel;
        EXPECT_EQ(r.gauge, core.states().at(r.channel).gauge);
        EXPECT_GE(r.unixMs, before);
        EXPECT_LE(r.unixMs, after);
    }
    EXPECT_EQ(PlainNumber(view.readings[1].value), "-0.000188");
}

TEST_F(Fixture, AFailedExchangeEndsLoggingAndAlarmsBeforeTheBox) {
    Connect();
    Ticks(kTimerPolling, 1);
    board.failing.insert(2);
    std::vector<std::string> duringBox;
    messages.whileOpen = [&] {
        EXPECT_EQ(view.timers.count(kTimerTrigger), 0u);
        EXPECT_EQ(view.timers.count(kTimerLogFirst + 5), 0u);
        EXPECT_EQ(view.timers.count(kTimerAnimation), 1u);  // still shows the pause
        tasks.calls.clear();
        // Ticks already queued when the box opened still arrive.
        core.OnTimer(kTimerTrigger);
        for (int n = 1; n <= 6; ++n) core.OnTimer(kTimerLogFirst + n - 1);
        duringBox = tasks.calls;
    };
    Ticks(kTimerPolling, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(duringBox, std::vector<std::string>{});
    EXPECT_EQ(view.closeRequests, 1);
}

TEST_F(Fixture, AConnectionKeepsItsBoardWhileAnotherIsSelected) {
    Connect();
    core.SelectBoard("000B");
    // Passes read the board of the connection, and its settings are what a
    // dialog saves to.
    board.calls.clear();
    Ticks(kTimerPolling, 1);
    EXPECT_EQ(board.calls.back().first, 0x000Au);
    EXPECT_EQ(core.currentPid(), "000A");
    EXPECT_TRUE(core.connected());
    core.Disconnect();
    // Disconnected, the selection names the next board.
    EXPECT_EQ(core.currentPid(), "000B");
    core.Connect();
    EXPECT_EQ(board.calls.back(), (std::pair<uint32_t, int>{0x000B, 8}));
}

TEST_F(Fixture, SelectorTextNamesTheBoardOfEveryPass) {
    const struct {
        const char* selector;
        const char* pid;
        uint32_t productId;
    } cases[] = {
        {"000A - USB  KESTRANEUNIT", "000A", 0x000A},
        {"00b1 - USB  KESTRANEUNIT", "00b1", 0x00B1},
        {"AB", "AB", 0xAB},
        {"", "", 0},
        {"zz12 - USB", "zz12", 0},  // not hexadecimal: matches no board
        // Typed non-ASCII text: four characters, never a cut-off one, so
        // the settings are looked up under a whole text.
        {"00\xE2\x82\xAC"
         "1 - USB",
         "00\xE2\x82\xAC"
         "1",
         0},
        {"\xC3\x84\xC3\x96"
         "0A",
         "\xC3\x84\xC3\x96"
         "0A",
         0},
    };
    for (const auto& c : cases) {
        view.selector = c.selector;
        core.SelectBoard(PidFromSelectorText(c.selector));
        EXPECT_EQ(core.currentPid(), c.pid);
        board.calls.clear();
        source.loadedPids.clear();
        Connect();
        ASSERT_FALSE(board.calls.empty());
        EXPECT_EQ(board.calls.front().first, c.productId) << c.selector;
        EXPECT_EQ(source.loadedPids, std::vector<std::string>{c.pid}) << c.selector;
        core.Disconnect();
    }
}

TEST_F(Fixture, ChannelSwitchedOffWhileConnectedShowsDisabledButKeepsItsFlag) {
    Connect();
    core.OnTimer(kTimerPolling);
    ASSERT_TRUE(core.states().at(1).hasReading);
    core.mutableSettings().channels[0].enable = "NO";
    Ticks(kTimerPolling, 6);
    EXPECT_EQ(view.values[1], "  DISABLED");
    EXPECT_TRUE(core.states().at(1).hasReading);
    tasks.calls.clear();
    core.OnTimer(kTimerTrigger);
    ASSERT_FALSE(tasks.calls.empty());
    EXPECT_EQ(tasks.calls.front(), "trigger1:  DISABLED");
}

TEST_F(Fixture, FailedLoadKeepsThePreviousSettings) {
    Connect();
    core.Disconnect();
    view.selector = "0FFF - USB  KESTRANEUNIT";  // no such row
    Connect();
    EXPECT_EQ(source.loadedPids.back(), "0FFF");
    EXPECT_EQ(view.columns[1][1], "Battery");
}

TEST_F(Fixture, LoggingDialogSavesRestartOrStopTheChannelTimer) {
    core.ApplyLoggingSettings(2);  // disconnected: no timer
    EXPECT_EQ(view.timers.count(kTimerLogFirst + 1), 0u);
    Connect();
    auto& ch2 = core.mutableSettings().channels[1];
    ch2.logEnabled = "YES";
    ch2.logInterval = "1 Mins";
    core.ApplyLoggingSettings(2);
    EXPECT_EQ(view.timers[kTimerLogFirst + 1], 60000);
    ch2.logInterval = "5 Secs";
    core.ApplyLoggingSettings(2);
    EXPECT_EQ(view.timers[kTimerLogFirst + 1], 5000);
    ch2.logEnabled = "NO";
    core.ApplyLoggingSettings(2);
    EXPECT_EQ(view.timers.count(kTimerLogFirst + 1), 0u);
    core.ApplyLoggingSettings(0);  // out of range: ignored
    core.ApplyLoggingSettings(7);
    EXPECT_EQ(view.timers.count(kTimerLogFirst + 5), 1u);
}

TEST_F(Fixture, ClosingStopsThePollingTimerAndFurtherPasses) {
    Connect();
    core.PrepareClose();
    EXPECT_EQ(view.timers.count(kTimerPolling), 0u);
    board.calls.clear();
    core.OnTimer(kTimerPolling);
    EXPECT_TRUE(board.calls.empty());
}

// A store over the fake settings source, so what was stored is what the
// core loads back; `refuse` makes every save fail.
struct FakeStore final : ChannelSettingsStore {
    explicit FakeStore(FakeSource& source) : source_(source) {}
    std::vector<std::string> calls;
    bool refuse = false;
    bool SaveOptions(int channel, const std::string& pid, const BoardSettings& s) override {
        return Store("options", channel, pid, s);
    }
    bool SaveFilter(int channel, const std::string& pid, const BoardSettings& s) override {
        return Store("filter", channel, pid, s);
    }
    bool SaveLogging(int channel, const std::string& pid, const BoardSettings& s) override {
        return Store("logging", channel, pid, s);
    }

private:
    bool Store(const char* what, int channel, const std::string& pid, const BoardSettings& s) {
        calls.push_back(std::string(what) + std::to_string(channel) + ":" + pid);
        if (refuse) return false;
        source_.rows[pid] = s;
        return true;
    }
    FakeSource& source_;
};

struct SaveFixture : Fixture {
    FakeStore store{source};
    ChannelSettings Edited(int channel) const {
        return core.settings().channels[static_cast<std::size_t>(channel - 1)];
    }
};

TEST_F(SaveFixture, OptionsAreStoredOnlyWithEnabledBandsWhoseMaxIsAboveTheirMin) {
    struct Case {
        bool high;
        const char* highMax;
        const char* highMin;
        bool low;
        const char* lowMax;
        const char* lowMin;
        ChannelSaveResult expected;
    };
    const Case cases[] = {
        {false, "", "", false, "", "", ChannelSaveResult::Saved},  // bands off: limits unread
        {true, "12.5", "12", false, "x", "y", ChannelSaveResult::Saved},
        {true, "12", "12", false, "", "", ChannelSaveResult::BandLimitsInvalid},  // equal is refused
        {true, "11", "12", false, "", "", ChannelSaveResult::BandLimitsInvalid},
        {true, "12", "", false, "", "", ChannelSaveResult::BandLimitsInvalid},  // no number
        {false, "", "", true, "-1", "-2", ChannelSaveResult::Saved},
        {false, "", "", true, "-2", "-1", ChannelSaveResult::BandLimitsInvalid},
        {true, "2", "1", true, "1", "1 V", ChannelSaveResult::BandLimitsInvalid},
    };
    Connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.highMax) + " / " + c.highMin + " | " + c.lowMax + " / " + c.lowMin);
        store.calls.clear();
        ChannelSettings edited = Edited(2);
        edited.vmName = "Renamed";
        edited.SetHighBandEnabled(c.high);
        edited.highTriggerMax = c.highMax;
        edited.highTriggerMin = c.highMin;
        edited.SetLowBandEnabled(c.low);
        edited.lowTriggerMax = c.lowMax;
        edited.lowTriggerMin = c.lowMin;
        core.mutableSettings().channels[1].vmName = "Negative";
        view.columns[2][1] = "Negative";
        EXPECT_EQ(SaveChannelOptions(core, store, 2, edited), c.expected);
        if (c.expected == ChannelSaveResult::Saved) {
            EXPECT_EQ(store.calls, std::vector<std::string>{"options2:000A"});
            EXPECT_EQ(core.settings().channels[1].vmName, "Renamed");
            EXPECT_EQ(view.columns[2][1], "Renamed");
        } else {
            EXPECT_TRUE(store.calls.empty());
            EXPECT_EQ(core.settings().channels[1].vmName, "Negative");
            EXPECT_EQ(view.columns[2][1], "Negative");
        }
    }
}

TEST_F(SaveFixture, ARefusedStoreChangesNothingInTheClient) {
    Connect();
    store.refuse = true;
    const BoardSettings before = source.rows["000A"];
    ChannelSettings options = Edited(1);
    options.precision = "5";
    EXPECT_EQ(SaveChannelOptions(core, store, 1, options), ChannelSaveResult::StoreFailed);
    EXPECT_EQ(core.settings().channels[0].precision, "3");
    EXPECT_EQ(core.columns(1).precisionText, "3");

    ChannelSettings filter = Edited(1);
    filter.filterWeight = "0.25";
    EXPECT_EQ(SaveChannelFilter(core, store, 1, filter), ChannelSaveResult::StoreFailed);
    EXPECT_EQ(core.settings().channels[0].filterWeight, "");

    ChannelSettings logging = Edited(2);
    logging.logFileName = "neg.log";
    logging.SetLoggingEnabled(true);
    logging.logInterval = "1 Mins";
    EXPECT_EQ(SaveChannelLogging(core, store, 2, logging), ChannelSaveResult::StoreFailed);
    EXPECT_EQ(view.timers.count(kTimerLogFirst + 1), 0u);
    EXPECT_FALSE(core.settings().channels[1].LoggingEnabled());
    EXPECT_EQ(store.calls, (std::vector<std::string>{"options1:000A", "filter1:000A", "logging2:000A"}));
    EXPECT_EQ(source.rows["000A"].channels[0].precision, before.channels[0].precision);
}

TEST_F(SaveFixture, FilterWeightsThatWouldNotFilterAreRefused) {
    const std::pair<const char*, ChannelSaveResult> cases[] = {
        {"0.5", ChannelSaveResult::Saved},       {"2", ChannelSaveResult::Saved},
        {"1", ChannelSaveResult::WeightInvalid}, {"1.000", ChannelSaveResult::WeightInvalid},
        {"", ChannelSaveResult::WeightInvalid},  {"half", ChannelSaveResult::WeightInvalid},
    };
    for (const auto& [weight, expected] : cases) {
        SCOPED_TRACE(weight);
        store.calls.clear();
        ChannelSettings edited = Edited(3);
        edited.SetFilterEnabled(true);
        edited.filterWeight = weight;
        EXPECT_EQ(SaveChannelFilter(core, store, 3, edited), expected);
        EXPECT_EQ(store.calls.size(), expected == ChannelSaveResult::Saved ? 1u : 0u);
        if (expected == ChannelSaveResult::Saved) {
            EXPECT_EQ(core.settings().channels[2].filterWeight, weight);
        }
    }
}

TEST_F(SaveFixture, LoggingSavesStartRestartAndStopTheChannelTimer) {
    Connect();
    ChannelSettings edited = Edited(2);
    edited.logFileName = "";
    edited.SetLoggingEnabled(true);
    edited.logInterval = "1 Mins";
    EXPECT_EQ(SaveChannelLogging(core, store, 2, edited), ChannelSaveResult::LogNameMissing);
    EXPECT_TRUE(store.calls.empty());
    EXPECT_EQ(view.timers.count(kTimerLogFirst + 1), 0u);

    edited.logFileName = "neg.log";
    EXPECT_EQ(SaveChannelLogging(core, store, 2, edited), ChannelSaveResult::Saved);
    EXPECT_EQ(view.timers[kTimerLogFirst + 1], 60000);
    EXPECT_EQ(source.rows["000A"].channels[1].logFileName, "neg.log");

    edited.logInterval = "5 Secs";
    EXPECT_EQ(SaveChannelLogging(core, store, 2, edited), ChannelSaveResult::Saved);
    EXPECT_EQ(view.timers[kTimerLogFirst + 1], 5000);

    edited.SetLoggingEnabled(false);
    EXPECT_EQ(SaveChannelLogging(core, store, 2, edited), ChannelSaveResult::Saved);
    EXPECT_EQ(view.timers.count(kTimerLogFirst + 1), 0u);
    EXPECT_EQ(source.rows["000A"].channels[1].logEnabled, "NO");
}

TEST_F(SaveFixture, ChannelsOutsideOneToSixAreNeverStored) {
    for (int channel : {0, 7, -1}) {
        EXPECT_EQ(SaveChannelOptions(core, store, channel, ChannelSettings{}),
                  ChannelSaveResult::StoreFailed);
        EXPECT_EQ(SaveChannelFilter(core, store, channel, ChannelSettings{}), ChannelSaveResult::StoreFailed);
        EXPECT_EQ(SaveChannelLogging(core, store, channel, ChannelSettings{}),
                  ChannelSaveResult::StoreFailed);
    }
    EXPECT_TRUE(store.calls.empty());
}

}  // namespace
}  // namespace kestrane::core
