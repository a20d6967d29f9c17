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
#include <memory>

#include "acquisition/board_owner.h"
#include "acquisition/log_failure_report.h"
#include "acquisition/program_trust.h"
#include "client/core/acquisition_tasks.h"
#include "client/core/board_hotplug.h"
#include "client/core/core_metrics.h"
#include "client/core/database_settings_source.h"
#include "client/core/library_board.h"
#include "client/core/qt_scheduler.h"
#include "client/core/session.h"
#include "client/core/startup_logic.h"
#include "common/open_data.h"
#include "logger/headless_alarm_actions.h"
#include "logger/row_file.h"
#include "settings/device_registry.h"
#include "settings/install_record.h"
#include "settings/message_sink.h"
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
    void ShowError(const std::string& caption, const std::string& text) override {
        Say(caption.empty() ? text : caption + ": " + text);
    }
};

// What the logger keeps of the session: the open-data rows and the
// metrics file of every reading, and the journal lines of a lost board.
class LoggerOutputs final : public core::SessionListener {
public:
    LoggerOutputs(const LoggerOptions& options, const core::AcquisitionSession& session, RowFile& csv,
                  RowFile& jsonl, core::CoreMetricsFile* metrics)
        : options_(options), session_(session), csv_(csv), jsonl_(jsonl), metrics_(metrics) {}

    void OnReading(const core::Reading& r) override {
        const ChannelSettings& ch = session_.settings().channels[static_cast<std::size_t>(r.channel - 1)];
        const ReadingRow row{r.unixMs, r.board, r.channel, ch.vmName, r.value, r.unit};
        // A row that cannot be written (disk full, a reader of the pipe
        // gone) is told once per cause, as the channel logs' records are.
        if (csv_.isOpen()) rowFailures_.Note("CSV rows", options_.csvFile, csv_.Append(row));
        if (jsonl_.isOpen()) rowFailures_.Note("JSON Lines rows", options_.jsonlFile, jsonl_.Append(row));
    }
    void OnBoardLost(const std::string& board) override {
        if (!options_.quiet)
            Say("board " + board + " does not answer; looking for it every " +
                std::to_string(core::kRetryPeriodMs / 1000) + " s");
        WriteMetrics();
    }
    void OnBoardBack(const std::string& board) override {
        if (!options_.quiet) Say("board " + board + " is back; polling again");
        WriteMetrics();
    }

    // The metrics file now; a failure is told once, not every period.
    void WriteMetrics() {
        if (!metrics_ || metrics_->Write(session_)) return;
        if (!options_.quiet && !toldMetricsFailure_) Say("cannot write " + metrics_->PathFor(session_));
        toldMetricsFailure_ = true;
    }

private:
    const LoggerOptions& options_;
    const core::AcquisitionSession& session_;
    RowFile& csv_;
    RowFile& jsonl_;
    core::CoreMetricsFile* metrics_;
    LogFailureReporter rowFailures_;
    bool toldMetricsFailure_ = false;
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
    if (!core::FileExists(path)) {
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

// The board to poll: --board when it is registered, else the default one.
bool ChooseBoard(const LoggerOptions& o, SettingsDatabase& database, MessageSink& sink, std::string& pid) {
    DeviceRegistry registry(database);
    const DeviceList boards = registry.List();
    if (!boards.status.ok()) {
        sink.ShowError(kClientCaption, boards.status.message());
        return false;
    }
    if (o.board.empty()) {
        if (boards.defaultIndex < 0) {
            Say("no default board in the settings; give --board");
            return false;
        }
        pid = PidFromSelectorText(boards.entries[static_cast<std::size_t>(boards.defaultIndex)]);
        return true;
    }
    for (const auto& e : boards.entries) {
        if (PidFromSelectorText(e) == o.board) {
            pid = o.board;
            return true;
        }
    }
    Say("board " + o.board + " is not registered in the settings");
    return false;
}

// Quits the loop once `seconds` have passed (none when not above 0). Long
// durations run past what one timer can count: it is re-armed hourly.
class StopAfter {
public:
    explicit StopAfter(double seconds) {
        if (seconds <= 0) return;
        deadline_.setRemainingTime(static_cast<qint64>(seconds * 1000.0), Qt::PreciseTimer);
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (deadline_.hasExpired()) {
                QCoreApplication::quit();
            } else {
                Arm();
            }
        });
        Arm();
    }

private:
    void Arm() { timer_.start(static_cast<int>(std::min<qint64>(deadline_.remainingTime(), 3600000))); }

    QDeadlineTimer deadline_{QDeadlineTimer::Forever};
    QTimer timer_;
};

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
    if (const Status opened = database.Open(connection); !opened.ok()) {
        sink.ShowError(kClientCaption, opened.message());
        return kExitSettings;
    }

    std::string pid;
    if (!ChooseBoard(o, database, sink, pid)) return kExitSettings;

    RowFile csv, jsonl;
    if ((!o.csvFile.empty() && !csv.Open(o.csvFile, RowFormat::Csv, error)) ||
        (!o.jsonlFile.empty() && !jsonl.Open(o.jsonlFile, RowFormat::JsonLines, error))) {
        Say(error);
        return kExitSettings;
    }
    // One board, one owner: a second logger (or a client already logging
    // the board) would write every record and start every alarm program twice.
    BoardOwnerLock ownerLock;
    const BoardClaimResult claim = ownerLock.TryAcquire(pid, "kestrane-logger");
    if (claim.claim == BoardClaim::HeldBy) {
        std::fprintf(stderr, "%s\n", LoggerRefusalText(pid, claim.owner).c_str());
        return kExitSettings;
    }
    if (claim.claim == BoardClaim::Unavailable && !o.quiet)
        Say("cannot take the owner lock of board " + pid + " in " + DefaultBoardLockFolder() + " (" +
            std::strerror(claim.error) + "); logging anyway");

    std::unique_ptr<core::CoreMetricsFile> metrics;
    if (!o.metricsDir.empty()) metrics = std::make_unique<core::CoreMetricsFile>(o.metricsDir);

    // The client's session: a lost board is looked for again, never the end.
    HeadlessAlarmActions actions;
    // Whoever can write a shared database chooses the programs alarms start:
    // those must pass the ownership check. Refusals are said even with
    // --quiet, once per program.
    AlarmProgramGuard programGuard(sharedSettings, Say);
    actions.setProgramGuard(&programGuard);
    core::AcquisitionTasks tasks(actions);
    // Every trigger check's alarm events and every exchange, the retries'
    // too, counted for the metrics file.
    core::ObservedChannelTasks observedTasks(
        tasks,
        [&](const std::string& board, int channel, const TriggerState& before, const TriggerState& after) {
            if (metrics) metrics->NoteTrigger(board, channel, before, after);
        });
    core::LibraryBoardExchange library;
    core::CountingBoardExchange board(library, [&](bool ok) {
        if (metrics) metrics->NoteExchange(pid, ok);
    });
    core::DatabaseSettingsSource source(database);
    core::QtTimerScheduler timers;
    NullMessageSink silent;
    core::AcquisitionSession session(
        core::SessionParts{timers, source, actions, silent, &board, &observedTasks});
    timers.SetHandler([&session](int id) { session.OnTimer(id); });
    session.SetRecovery(true);
    session.SelectBoard(pid);
    // The counters are noted before the outputs write the file.
    std::unique_ptr<core::MetricsListener> metricsListener;
    if (metrics) {
        metricsListener = std::make_unique<core::MetricsListener>(*metrics, core::ReadBoardIdentity);
        session.AddListener(*metricsListener);
    }
    LoggerOutputs outputs(o, session, csv, jsonl, metrics.get());
    session.AddListener(outputs);
    // A board node that appears is tried at once; the session's own retry
    // every two seconds stays for machines without udev.
    core::BoardHotplugWatch hotplug(
        core::ProductIdFromPid(pid),
        [&session] {
            if (session.boardLost()) session.RetryNow();
            return !session.boardLost();
        },
        [&](const std::string& node) {
            if (!o.quiet) Say(core::NoAccessText(node, pid));
        });

    QTimer metricsTimer;
    if (metrics) {
        QObject::connect(&metricsTimer, &QTimer::timeout, [&outputs] { outputs.WriteMetrics(); });
        metricsTimer.start(core::kMetricsPeriodMs);
    }
    StopAfter stop(o.durationSeconds);

    if (!o.quiet) Say("polling board " + pid);
    session.Connect();
    outputs.WriteMetrics();
    QCoreApplication::exec();

    // Every record and row was written whole inside its own handler; stop
    // the timers. The metrics file goes: a logger stopped on purpose is no
    // lost board.
    session.Disconnect();
    if (metrics) metrics->Remove(session);
    database.Close();
    return kExitOk;
}

}  // namespace kestrane::logger
