#include "logger/logger_service.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "acquisition/intervals.h"
#include "acquisition/logging.h"
#include "acquisition/trigger_engine.h"
#include "common/open_data.h"
#include "core/client_core.h"
#include "core/core_metrics.h"
#include "core/startup_logic.h"
#include "kestrane_dll.h"
#include "logger/headless_alarm_actions.h"
#include "logger/row_file.h"
#include "settings/device_registry.h"
#include "settings/install_record.h"
#include "settings/settings_database.h"

namespace kestrane::logger {
namespace {

void Say(const std::string& line) {
    std::fprintf(stderr, "kestrane-logger: %s\n", line.c_str());
    std::fflush(stderr);
}

// Database and device-list failures go to stderr (the journal under systemd).
class StderrSink final : public MessageSink {
public:
    void showError(const std::string& caption, const std::string& text) override {
        Say(caption.empty() ? text : caption + ": " + text);
    }
};

class LibraryBoard final : public BoardExchange {
public:
    bool Read(uint32_t productId, int command, std::string& answer) override {
        // Eight times what the library may write, taken up to its terminator.
        std::vector<char> buffer(static_cast<std::size_t>(KESTRANE_ANSWER_TEXT_SIZE) * 8, '\0');
        if (ReadKestrane(static_cast<int32_t>(productId), command, 0, buffer.data()) != 1) return false;
        buffer.back() = '\0';
        answer.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
        return true;
    }
};

// The board's USB product or manufacturer string; empty when unreadable.
std::string BoardString(int32_t (*get)(int32_t, char*), uint32_t productId) {
    std::vector<char> buffer(1024, '\0');  // the library writes at most 256 bytes
    if (get(static_cast<int32_t>(productId), buffer.data()) != 1) return {};
    buffer.back() = '\0';
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

class DatabaseSource final : public ui::BoardSettingsSource {
public:
    explicit DatabaseSource(SettingsDatabase& db) : db_(db) {}
    bool Load(const std::string&, const std::string& pid, BoardSettings& out) override {
        return db_.loadBoardSettings(pid, out);
    }

private:
    SettingsDatabase& db_;
};

// The client's alarm checks and log records, with the board named to the
// alarm programs.
class LoggerTasks final : public ui::ChannelTasks {
public:
    LoggerTasks(std::string pid, AlarmActions& actions) : pid_(std::move(pid)), actions_(actions) {}
    // Told a channel's trigger flags before and after each check.
    void setTriggerObserver(std::function<void(int, const TriggerState&, const TriggerState&)> observer) {
        triggerObserver_ = std::move(observer);
    }
    void TriggerCheck(int channel, const ChannelSettings& settings, ChannelState& state) override {
        const TriggerState before = state.trigger;
        RunTriggerCheck(settings, state.shown, state.trigger, clock_, actions_, pid_, channel);
        if (triggerObserver_) triggerObserver_(channel, before, state.trigger);
    }
    void WriteLogRecord(int, const ChannelSettings& settings, const ChannelState& state) override {
        kestrane::WriteLogRecord(settings, state.shown, time_);
    }
    int LogPeriodMs(const ChannelSettings& settings, ChannelState& state) override {
        return LogIntervalToMs(settings.logInterval, state.lastLogPeriodMs);
    }

private:
    std::string pid_;
    AlarmActions& actions_;
    std::function<void(int, const TriggerState&, const TriggerState&)> triggerObserver_;
    SystemClock clock_;
    SystemLocalTime time_;
};

// The main window without a window: the selected board is fixed, the
// timers are real, everything shown goes nowhere.
class HeadlessView final : public ui::MainView {
public:
    explicit HeadlessView(std::string pid) : selector_(DeviceEntryText(pid)) {}
    void setTimerHandler(std::function<void(int)> handler) { onTimer_ = std::move(handler); }

    void SetStatusText(int, const std::string&) override {}
    void SetValueText(int, const std::string&) override {}
    void SetGauge(int, int, int, bool) override {}
    void SetGaugePosition(int, int) override {}
    void SetFirmwareText(const std::string& text) override { firmware_ = text; }
    const std::string& firmware() const { return firmware_; }
    void SetCurrentRequest(const std::string&) override {}
    void SetConnectedControls(bool) override {}
    void SetChannelColumns(int, const std::string&, const std::string&, const std::string&,
                           const std::string&) override {}
    void SetNameTooltip(int, const std::string&) override {}
    std::string DeviceSelectorText() const override { return selector_; }
    void StartTimer(int id, int periodMs) override {
        std::unique_ptr<QTimer>& timer = timers_[id];
        if (!timer) {
            timer = std::make_unique<QTimer>();
            // The same timer kind as the main window's, for the same cadence.
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer.get(), &QTimer::timeout, [this, id] {
                if (onTimer_) onTimer_(id);
            });
        }
        timer->start(std::max(1, periodMs));
    }
    void StopTimer(int id) override {
        const auto it = timers_.find(id);
        if (it != timers_.end()) it->second->stop();
    }
    void RequestClose() override {}

private:
    std::string selector_;
    std::string firmware_;
    std::function<void(int)> onTimer_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

// SIGTERM and SIGINT, turned into an event of the loop through a socket
// pair, so the stop happens between two timer handlers, never inside a write.
int gSignalFd = -1;

void OnSignal(int) {
    const char byte = 1;
    if (gSignalFd >= 0) [[maybe_unused]]
        auto n = ::write(gSignalFd, &byte, 1);
}

class SignalStop {
public:
    SignalStop() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) return;
        gSignalFd = fds_[0];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, &oldTerm_);
        ::sigaction(SIGINT, &action, &oldInt_);
    }
    ~SignalStop() {
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        ::sigaction(SIGINT, &oldInt_, nullptr);
        gSignalFd = -1;
        notifier_.reset();
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }

private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldTerm_ {};
    struct sigaction oldInt_ {};
};

// The connection string, or an error text. `shared`: the settings come
// from elsewhere than the user's own database file.
bool ConnectionFor(const LoggerOptions& o, std::string& connection, bool& shared, std::string& error) {
    shared = false;
    if (!o.odbc.empty()) {
        connection = o.odbc;
        shared = true;
        return true;
    }
    std::string path = o.databaseFile;
    if (path.empty()) {
        SystemInstallRecord record;
        const auto program = record.programPath();
        if (!program || program->empty()) {
            error = "Kestrane is not installed (no install record); give --database or --odbc";
            return false;
        }
        path = DatabasePathFor(*program);
    }
    // The SQLite driver would make an empty file where none is.
    if (!ui::FileExists(path)) {
        error = "settings database not found: " + path;
        return false;
    }
    if (o.databaseFile.empty()) {
        connection = ConnectionStringFor(path);  // KESTRANE_ODBC applies, as in the client
        shared = connection != DefaultConnectionString(path);
        return true;
    }
    if (!ConnectionStringCanCarry(path)) {
        error = "this database path cannot be given to the ODBC driver: " + path;
        return false;
    }
    connection = DefaultConnectionString(path);
    return true;
}

}  // namespace

int RunLogger(const LoggerOptions& o) {
    // From the start, so a stop during start-up still ends with status 0.
    SignalStop signalStop;
    // A reader of a piped output that goes away costs its rows, not the logger.
    ::signal(SIGPIPE, SIG_IGN);
    StderrSink sink;
    std::string connection, error;
    bool sharedSettings = false;
    if (!ConnectionFor(o, connection, sharedSettings, error)) {
        Say(error);
        return kExitSettings;
    }
    SettingsDatabase database;
    if (!database.open(connection, sink)) return kExitSettings;

    DeviceRegistry registry(database);
    const DeviceList boards = registry.list(sink);
    if (!boards.ok) return kExitSettings;
    std::string pid = o.board;
    if (pid.empty()) {
        if (boards.defaultIndex < 0) {
            Say("no default board in the settings; give --board");
            return kExitSettings;
        }
        pid = PidFromSelectorText(boards.entries[static_cast<std::size_t>(boards.defaultIndex)]);
    } else {
        bool found = false;
        for (const auto& e : boards.entries) found |= PidFromSelectorText(e) == pid;
        if (!found) {
            Say("board " + pid + " is not registered in the settings");
            return kExitSettings;
        }
    }

    RowFile csv, jsonl;
    if ((!o.csvFile.empty() && !csv.Open(o.csvFile, RowFormat::Csv, error)) ||
        (!o.jsonlFile.empty() && !jsonl.Open(o.jsonlFile, RowFormat::JsonLines, error))) {
        Say(error);
        return kExitSettings;
    }
    std::unique_ptr<ui::CoreMetricsFile> metrics;
    if (!o.metricsDir.empty()) metrics = std::make_unique<ui::CoreMetricsFile>(o.metricsDir);

    HeadlessAlarmActions actions;
    // Whoever can write a shared database chooses the programs alarms start:
    // those must pass the ownership check. Refusals are said even with
    // --quiet, once per program.
    AlarmProgramGuard programGuard(sharedSettings, Say);
    actions.setProgramGuard(&programGuard);
    LoggerTasks tasks(pid, actions);
    LibraryBoard library;
    // Every exchange, the retries' too, counted for the metrics file.
    ui::CountingBoardExchange board(library, [&](bool ok) {
        if (metrics) metrics->NoteExchange(pid, ok);
    });
    DatabaseSource source(database);
    HeadlessView view(pid);
    NullMessageSink silent;
    ui::ClientCore core(view, silent, board, source, tasks);
    view.setTimerHandler([&core](int id) { core.OnTimer(id); });
    const uint32_t productId = ui::ProductIdFromPid(pid);
    if (metrics) {
        tasks.setTriggerObserver([&](int channel, const TriggerState& before, const TriggerState& after) {
            metrics->NoteTrigger(pid, channel, before, after);
        });
    }
    // Once per connection: what the board says of itself.
    auto noteIdentity = [&] {
        if (metrics && core.connected())
            metrics->NoteIdentity(pid, {BoardString(GetProductString, productId),
                                        BoardString(GetManufacturerString, productId), view.firmware()});
    };

    core.SetReadingObserver([&](int channel, const ChannelState& state) {
        const auto value = PlainValue(state.shown);
        if (!value) return;
        const ChannelSettings& ch = core.settings().channels[static_cast<std::size_t>(channel - 1)];
        const ReadingRow row{ui::NowUnixMs(), pid, channel, ch.vmName, *value, UnitForMode(ch.mode)};
        if (csv.isOpen()) csv.Append(row);
        if (jsonl.isOpen()) jsonl.Append(row);
        if (metrics) metrics->NoteReading(pid, channel, row.unixMs);
    });
    bool toldMetricsFailure = false;  // once, not every period
    auto writeMetrics = [&] {
        if (!metrics || metrics->Write(core)) return;
        if (!o.quiet && !toldMetricsFailure) Say("cannot write " + metrics->PathFor(core));
        toldMetricsFailure = true;
    };

    QTimer retry;
    core.SetBoardLostHandler([&] {
        if (metrics) metrics->NoteBoardLost(pid);
        if (!o.quiet)
            Say("board " + pid + " does not answer; looking for it every " +
                std::to_string(kRetryPeriodMs / 1000) + " s");
        writeMetrics();
        retry.start(kRetryPeriodMs);
    });
    QObject::connect(&retry, &QTimer::timeout, [&] {
        std::string answer;
        if (!board.Read(productId, kFirmwareCommand, answer)) return;
        retry.stop();
        if (!o.quiet) Say("board " + pid + " is back; polling again");
        core.ClearBusy();
        core.Connect();
        noteIdentity();
        writeMetrics();
    });

    QTimer metricsTimer;
    if (metrics) {
        QObject::connect(&metricsTimer, &QTimer::timeout, writeMetrics);
        metricsTimer.start(ui::kMetricsPeriodMs);
    }

    // Long durations run past what one timer can count: re-armed hourly.
    QDeadlineTimer deadline(QDeadlineTimer::Forever);
    QTimer stopTimer;
    stopTimer.setSingleShot(true);
    if (o.durationSeconds > 0) {
        deadline.setRemainingTime(static_cast<qint64>(o.durationSeconds * 1000.0), Qt::PreciseTimer);
        QObject::connect(&stopTimer, &QTimer::timeout, [&] {
            if (deadline.hasExpired()) {
                QCoreApplication::quit();
            } else {
                stopTimer.start(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 3600000)));
            }
        });
        stopTimer.start(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 3600000)));
    }

    if (!o.quiet) Say("polling board " + pid);
    core.Connect();
    noteIdentity();
    writeMetrics();
    QCoreApplication::exec();

    // Every record and row was written whole inside its own handler; stop
    // the timers. The metrics file goes: a logger stopped on purpose is no
    // lost board.
    retry.stop();
    core.Disconnect();
    if (metrics) metrics->Remove(core);
    database.close();
    return kExitOk;
}

}  // namespace kestrane::logger
