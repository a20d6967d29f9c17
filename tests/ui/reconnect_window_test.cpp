// Reconnect Automatically through the real window, the real settings
// database and the simulated board bus: boards that go and come back many
// times without a box, no record or alarm while a board is gone, the
// user's Disconnect during the search, a board waited for from the start,
// the File menu item, the stderr lines and notifications of each loss (also
// through a notification service on a private session bus), and two
// windows beside kestrane-logger on one board.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdio>

#include "acquisition/trigger_engine.h"
#include "settings/install_record.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

constexpr int kWaitMs = 20000;

const char* const kBoard =
    "[device]\n"
    "product-id = 000A\n"
    "firmware = KESTRANE FW 2.17\n"
    "channel1 = 12.5\n"
    "channel2 = -3.25\n"
    "channel6 = 48\n";
const char* const kNoBoard = "[device]\nproduct-id = 000A\nfault = absent\n";

struct CountingActions final : AlarmActions {
    int count = 0;
    void StartProgram(const std::string&) override { ++count; }
    void PlaySound(const std::string&) override { ++count; }
};

struct RecordingNotifier final : notify::Notifier {
    QStringList calls;
    void BoardLost(const std::string& board, const std::string&, std::time_t) override {
        calls << QStringLiteral("lost ") + QString::fromStdString(board);
    }
    void BoardBack(const std::string& board, const std::string&, std::time_t) override {
        calls << QStringLiteral("back ") + QString::fromStdString(board);
    }
};

struct MemoryOptions final : UserOptions {
    bool stored = false;
    int writes = 0;
    bool reconnectAutomatically() const override { return stored; }
    bool SetReconnectAutomatically(bool on) override {
        stored = on;
        ++writes;
        return true;
    }
};

// Channel 1 logs every second; channel 6 (48 V, halved) sits in its high
// band, checked every second.
BoardRow LoggingRow(const std::string& logFolder) {
    BoardRow row{"000A", true, {}};
    auto& ch = row.settings.channels;
    for (int n = 0; n < 6; ++n) ch[static_cast<std::size_t>(n)] = MakeChannel("YES", "Ch", "1", "2");
    ch[0].logEnabled = "YES";
    ch[0].logInterval = "1 Secs";
    ch[0].logPath = logFolder;
    ch[0].logFileName = "battery.log";
    ch[5].adj = "0.5";
    ch[5].highEnable = "ENABLED";
    ch[5].highTriggerMax = "20";
    ch[5].highTriggerMin = "10";
    ch[5].highTestEvery = "1 Secs";
    ch[5].highFile = "/opt/alarm/high-program";
    return row;
}

struct Session {
    RecordingMessages messages;
    FakeUrlOpener urls;
    NoDialogs dialogs;
    CountingActions actions;
    RecordingNotifier notifier;
    MemoryOptions options;
    // The desktop's own alarm programs and notification service instead
    // of the recording ones.
    bool desktopAlarms = false;
    bool desktopNotifier = false;
    std::string database;
    std::FILE* journal = std::tmpfile();
    std::unique_ptr<ClientSession> session;

    ~Session() {
        session.reset();
        if (journal) std::fclose(journal);
    }
    bool Start(const BoardRow& row, bool reconnect = true) {
        std::string error;
        const std::string program = MakeInstallation({row}, error);
        if (program.empty()) {
            qWarning("%s", error.c_str());
            return false;
        }
        SetInstalledProgram(program);
        database = DatabasePathFor(program);
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        services.alarms = desktopAlarms ? nullptr : &actions;
        services.notifier = desktopNotifier ? nullptr : &notifier;
        services.journal = journal;
        session = ClientSession::Start(services);
        if (!session) return false;
        w().SetUpReconnectOption(options, reconnect);
        w().show();
        return true;
    }
    MainWindow& w() { return session->window(); }
    QString value(int n) { return w().findChild<QLineEdit*>(QStringLiteral("valueEdit%1").arg(n))->text(); }
    QString part(int n) { return w().statusParts()->partText(n); }
    QPushButton* button(const char* name) { return w().findChild<QPushButton*>(QString::fromLatin1(name)); }
    QStringList journalLines() {
        std::fflush(journal);
        std::rewind(journal);
        QStringList lines;
        char buf[512];
        while (std::fgets(buf, sizeof buf, journal)) lines << QString::fromLocal8Bit(buf).trimmed();
        std::fseek(journal, 0, SEEK_END);
        return lines;
    }
};

QStringList Matching(const QStringList& lines, const QString& pattern) {
    return lines.filter(QRegularExpression(pattern));
}

QStringList FileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A program that appends a line to `out` each time it is started.
QString LineScript(const QString& name, const QString& out) {
    const QString path = QString::fromStdString(TestRoot()) + "/" + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(("#!/bin/sh\necho started >> '" + out + "'\n").toUtf8());
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

}  // namespace

class ReconnectWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation(kBoard); }

    void tenLossesAndReturnsWithoutABox() {
        const QString folder = QString::fromStdString(TestRoot()) + "/logs-cycles/";
        const QString log = folder + "battery.log";
        Session s;
        QVERIFY(s.Start(LoggingRow(folder.toStdString())));
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(QFile(log).size() > 0, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(s.actions.count > 0, kWaitMs);
        for (int cycle = 1; cycle <= 10; ++cycle) {
            WriteSimulation(kNoBoard);
            QTRY_COMPARE_WITH_TIMEOUT(s.part(1), QStringLiteral("Board Lost"), kWaitMs);
            QVERIFY2(s.part(2).contains(QRegularExpression("^Lost at \\d\\d:\\d\\d:\\d\\d, reconnecting$")),
                     qPrintable(s.part(2)));
            QVERIFY(s.w().statusParts()->part(2)->toolTip().contains("stopped answering"));
            for (int n = 1; n <= 6; ++n) {
                QCOMPARE(s.value(n), QString());
                QCOMPARE(s.w().findChild<QProgressBar*>(QStringLiteral("gauge%1").arg(n))->value(), 0);
            }
            // Usable while it searches: Disconnect and the dialogs' menus.
            QVERIFY(s.button("disconnectButton")->isEnabled());
            QVERIFY(!s.w().connectButton()->isEnabled());
            QVERIFY(s.w().findChild<QMenu*>("loggingMenu")->menuAction()->isEnabled());
            QVERIFY(s.button("editButton1")->isEnabled());
            QVERIFY(s.w().timerActive(kTimerRetry));
            const qint64 logSize = QFile(log).size();
            const int actions = s.actions.count;
            QTest::qWait(1300);  // longer than the logging period and the alarm check
            QCOMPARE(QFile(log).size(), logSize);
            QCOMPARE(s.actions.count, actions);

            WriteSimulation(kBoard);
            QTRY_COMPARE_WITH_TIMEOUT(s.value(1), QStringLiteral("+ 12.50"), kWaitMs);
            QCOMPARE(s.part(1), QStringLiteral("Connected"));
            QVERIFY(!s.w().timerActive(kTimerRetry));
            QVERIFY(s.w().statusParts()->part(2)->toolTip().isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(QFile(log).size() > logSize, kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(s.actions.count > actions, kWaitMs);
            QCOMPARE(s.notifier.calls.size(), 2 * cycle);
        }
        QVERIFY(s.messages.shown.empty());
        QVERIFY(s.w().isVisible());
        for (int i = 0; i < 20; ++i)
            QCOMPARE(s.notifier.calls[i],
                     i % 2 == 0 ? QStringLiteral("lost 000A") : QStringLiteral("back 000A"));
        const QStringList lines = s.journalLines();
        const QString stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d";
        QCOMPARE(Matching(lines, "^Kestrane: board 000A lost at " + stamp + "; reconnecting$").size(), 10);
        QCOMPARE(Matching(lines, "^Kestrane: board 000A back at " + stamp + " \\(lost at " + stamp +
                                     "\\); polling again$")
                     .size(),
                 10);
    }

    void disconnectEndsTheSearch() {
        Session s;
        QVERIFY(s.Start(LoggingRow(TestRoot() + "/logs-disconnect/")));
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.value(1).isEmpty(), kWaitMs);
        WriteSimulation(kNoBoard);
        QTRY_COMPARE_WITH_TIMEOUT(s.part(1), QStringLiteral("Board Lost"), kWaitMs);
        QTest::mouseClick(s.button("disconnectButton"), Qt::LeftButton);
        QCOMPARE(s.part(1), QStringLiteral("Not Connected"));
        QCOMPARE(s.part(2), QStringLiteral("MSG:   Click on connect"));
        QVERIFY(!s.w().timerActive(kTimerRetry));
        QVERIFY(s.w().connectButton()->isEnabled());
        QVERIFY(!s.button("disconnectButton")->isEnabled());
        WriteSimulation(kBoard);
        QTest::qWait(2600);  // past a retry period: nothing comes back by itself
        QCOMPARE(s.part(1), QStringLiteral("Not Connected"));
        QVERIFY(s.value(1).isEmpty());
        QCOMPARE(s.notifier.calls, QStringList{"lost 000A"});  // none for the user's Disconnect
        QVERIFY(s.messages.shown.empty());
    }

    // Kestrane --board 000A --connect --reconnect from an autostart entry,
    // before the board is plugged in.
    void connectBeforeTheBoardExistsWaitsForIt() {
        WriteSimulation(kNoBoard);
        Session s;
        QVERIFY(s.Start(LoggingRow(TestRoot() + "/logs-waiting/")));
        s.w().OnConnect();
        QTRY_COMPARE_WITH_TIMEOUT(s.part(1), QStringLiteral("Waiting"), kWaitMs);
        QCOMPARE(s.part(2), QStringLiteral("Waiting for board 000A"));
        QVERIFY(s.w().statusParts()->part(2)->toolTip().contains("plugged in"));
        QTest::qWait(2500);  // retries find nothing and change nothing
        QCOMPARE(s.part(1), QStringLiteral("Waiting"));
        WriteSimulation(kBoard);
        QTRY_COMPARE_WITH_TIMEOUT(s.value(1), QStringLiteral("+ 12.50"), kWaitMs);
        QCOMPARE(s.w().findChild<QLabel*>("firmware")->text(), QStringLiteral("KESTRANE FW 2.17"));
        QVERIFY(s.messages.shown.empty());
        QVERIFY(s.notifier.calls.isEmpty());  // nothing was lost
        const QStringList lines = s.journalLines();
        QCOMPARE(Matching(lines, "^Kestrane: board 000A not found at .*; waiting for it$").size(), 1);
        QCOMPARE(Matching(lines, "^Kestrane: board 000A back at ").size(), 1);
    }

    void theFileMenuItemStoresAndAppliesTheChoice() {
        Session s;
        s.options.stored = false;
        QVERIFY(s.Start(LoggingRow(TestRoot() + "/logs-menu/"), /*reconnect=*/true));  // --reconnect
        auto* item = s.w().findChild<QAction*>("reconnectAction");
        QVERIFY(item);
        QVERIFY(item->isCheckable());
        QCOMPARE(item->text(), QStringLiteral("&Reconnect Automatically"));
        QVERIFY(!item->isChecked());  // the stored choice; --reconnect is for this run
        QVERIFY(s.w().core().recovery());
        QCOMPARE(s.w().findChild<QMenu*>("fileMenu")->actions().first(), item);
        item->trigger();
        QVERIFY(s.options.stored);
        QVERIFY(s.w().core().recovery());
        item->trigger();
        QVERIFY(!s.options.stored);
        QVERIFY(!s.w().core().recovery());
        QCOMPARE(s.options.writes, 2);
    }

    // Two clients on one board: the first owns its logging and alarms, the
    // second shows the readings and names the owner, and takes the board
    // over at its next Connect once the owner let go.
    void aSecondClientOnlyViews() {
        const QString folder = QString::fromStdString(TestRoot()) + "/logs-two/";
        Session owner, viewer;
        QVERIFY(owner.Start(LoggingRow(folder.toStdString())));
        QVERIFY(viewer.Start(LoggingRow(folder.toStdString())));
        owner.w().OnConnect();
        viewer.w().OnConnect();
        QTRY_COMPARE_WITH_TIMEOUT(viewer.value(1), QStringLiteral("+ 12.50"), kWaitMs);
        QCOMPARE(viewer.part(3),
                 QStringLiteral("Logged by Kestrane (process %1)").arg(QCoreApplication::applicationPid()));
        QVERIFY(viewer.w().core().viewer());
        QVERIFY(!owner.w().core().viewer());
        QTest::qWait(3000);
        viewer.w().CreditsTick();
        QVERIFY(viewer.part(3).startsWith("Logged by Kestrane"));  // the credits wait
        QVERIFY(owner.actions.count > 0);
        QCOMPARE(viewer.actions.count, 0);
        QVERIFY(!viewer.w().timerActive(kTimerLogFirst));
        // One writer: about one record a second, not two.
        QFile log(folder + "battery.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const int records = QString::fromLatin1(log.readAll()).count(QLatin1Char('\n'));
        QVERIFY2(records >= 2 && records <= 5, qPrintable(QString::number(records)));

        owner.w().OnDisconnect();
        viewer.w().OnDisconnect();
        QVERIFY(!viewer.part(3).startsWith("Logged by"));
        viewer.w().OnConnect();
        QVERIFY(!viewer.w().core().viewer());
        QTRY_VERIFY_WITH_TIMEOUT(viewer.actions.count > 0, kWaitMs);
        QVERIFY(viewer.w().timerActive(kTimerLogFirst));
    }

    // A log folder that cannot be made (its name is taken by a file) is
    // shown in the status bar, and again once records go through.
    void anUnwritableLogFolderIsReported() {
        const QString folder = QString::fromStdString(TestRoot()) + "/taken";
        QFile::remove(folder);
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Session s;
        QVERIFY(s.Start(LoggingRow(folder.toStdString() + "/")));
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(s.part(3).startsWith("Channel 1 log: "), kWaitMs);
        QVERIFY2(s.part(3).contains("records are being lost"), qPrintable(s.part(3)));
        QTest::qWait(2500);  // further failures of the same cause say nothing new
        QVERIFY(s.part(3).startsWith("Channel 1 log: "));
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().mkpath(folder));
        QTRY_VERIFY_WITH_TIMEOUT(!s.part(3).startsWith("Channel 1 log: "), kWaitMs);
        QVERIFY(QFile(folder + "/battery.log").size() > 0);
        QVERIFY(s.w().statusParts()->part(3)->toolTip().isEmpty());
    }

    // Through the desktop's notification service, run on a private session
    // bus (ctest's ui_reconnect_notify_test under dbus-run-session, which
    // names the fake service): a call on each loss and each return naming
    // the board and the time, none for the user's Disconnect, and with no
    // service on the bus the window goes on as before.
    void notificationsReachTheDesktopService() {
        const QString service = qEnvironmentVariable("KESTRANE_FAKE_NOTIFY_SERVICE");
        if (service.isEmpty()) QSKIP("runs on a private session bus as ui_reconnect_notify_test");
        const QString record = QString::fromStdString(TestRoot()) + "/notifications.txt";
        QProcess server;
        server.start(service, {record});
        QVERIFY(server.waitForReadyRead(10000));  // "ready": it owns the name
        Session s;
        s.desktopNotifier = true;
        QVERIFY(s.Start(LoggingRow(TestRoot() + "/logs-notify/")));
        s.w().OnConnect();
        QTRY_COMPARE_WITH_TIMEOUT(s.value(1), QStringLiteral("+ 12.50"), kWaitMs);
        const QString stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d";
        const QRegularExpression lost(
            "^Kestrane\\|0\\|com\\.morvane\\.Kestrane\\|Kestrane: board 000A lost\\|"
            "Board 000A stopped answering at " +
            stamp + "\\. Reconnecting\\.\\|2\\|-1$");
        const QRegularExpression back(
            "^Kestrane\\|0\\|com\\.morvane\\.Kestrane\\|Kestrane: board 000A is back\\|Board 000A answers "
            "again since " +
            stamp + "\\.\\|1\\|-1$");
        for (int cycle = 1; cycle <= 2; ++cycle) {
            WriteSimulation(kNoBoard);
            QTRY_COMPARE_WITH_TIMEOUT(FileLines(record).size(), 2 * cycle - 1, kWaitMs);
            QVERIFY2(lost.match(FileLines(record).last()).hasMatch(), qPrintable(FileLines(record).last()));
            WriteSimulation(kBoard);
            QTRY_COMPARE_WITH_TIMEOUT(FileLines(record).size(), 2 * cycle, kWaitMs);
            QVERIFY2(back.match(FileLines(record).last()).hasMatch(), qPrintable(FileLines(record).last()));
            QTRY_COMPARE_WITH_TIMEOUT(s.value(1), QStringLiteral("+ 12.50"), kWaitMs);
        }
        // The loss is told; the user's Disconnect and what follows are not.
        WriteSimulation(kNoBoard);
        QTRY_COMPARE_WITH_TIMEOUT(FileLines(record).size(), 5, kWaitMs);
        s.w().OnDisconnect();
        WriteSimulation(kBoard);
        s.w().OnConnect();
        QTRY_COMPARE_WITH_TIMEOUT(s.value(1), QStringLiteral("+ 12.50"), kWaitMs);
        s.w().OnDisconnect();
        QTest::qWait(500);
        QCOMPARE(FileLines(record).size(), 5);

        // No service on the bus: losses and returns go on without a word.
        server.kill();
        QVERIFY(server.waitForFinished(10000));
        s.w().OnConnect();
        QTRY_COMPARE_WITH_TIMEOUT(s.value(1), QStringLiteral("+ 12.50"), kWaitMs);
        for (int cycle = 0; cycle < 2; ++cycle) {
            WriteSimulation(kNoBoard);
            QTRY_COMPARE_WITH_TIMEOUT(s.part(1), QStringLiteral("Board Lost"), kWaitMs);
            WriteSimulation(kBoard);
            QTRY_COMPARE_WITH_TIMEOUT(s.value(1), QStringLiteral("+ 12.50"), kWaitMs);
        }
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(FileLines(record).size(), 5);
        QCOMPARE(Matching(s.journalLines(), "^Kestrane: board 000A back at ").size(), 4);
    }

    // Two windows and kestrane-logger on one board, as users run them: the
    // logger, first on the board, writes each record once and starts the
    // alarm program once; both windows only view and name it; a second
    // logger is refused. KESTRANE_SHARED_BOARD_SECONDS sets the length.
    void twoClientsAndALoggerShareOneBoard() {
        const int seconds = qEnvironmentVariableIntValue("KESTRANE_SHARED_BOARD_SECONDS") > 0
                                ? qEnvironmentVariableIntValue("KESTRANE_SHARED_BOARD_SECONDS")
                                : 20;
        const QString root = QString::fromStdString(TestRoot());
        const QString log = root + "/logs-shared/battery.log";
        const QString starts = root + "/shared-alarm-starts.txt";
        BoardRow row = LoggingRow(root.toStdString() + "/logs-shared/");
        // Channel 6 stays above its band: each owner starts the program once.
        row.settings.channels[5].highTestEvery = "One Shot";
        row.settings.channels[5].highFile = LineScript("shared-alarm.sh", starts).toStdString();
        Session first, second;
        first.desktopAlarms = second.desktopAlarms = true;
        QVERIFY(first.Start(row));
        QVERIFY(second.Start(row));

        const QStringList loggerArgs{"--database", QString::fromStdString(first.database), "--board", "000A"};
        QProcess logger;
        QElapsedTimer ran;
        logger.start(QStringLiteral(KESTRANE_LOGGER_PROGRAM), loggerArgs);
        QVERIFY(logger.waitForStarted(10000));
        ran.start();
        QTRY_VERIFY_WITH_TIMEOUT(QFile(log).size() > 0, kWaitMs);
        first.w().OnConnect();
        second.w().OnConnect();
        const QString owner =
            QStringLiteral("Logged by kestrane-logger (process %1)").arg(logger.processId());
        for (Session* s : {&first, &second}) {
            QTRY_COMPARE_WITH_TIMEOUT(s->value(1), QStringLiteral("+ 12.50"), kWaitMs);
            QCOMPARE(s->part(3), owner);
            QVERIFY(s->w().core().viewer());
        }

        QProcess refused;
        refused.start(QStringLiteral(KESTRANE_LOGGER_PROGRAM), loggerArgs);
        QVERIFY(refused.waitForFinished(20000));
        QCOMPARE(refused.exitCode(), 1);
        QCOMPARE(
            QString::fromUtf8(refused.readAllStandardError()),
            QStringLiteral("kestrane-logger: board 000A is already logged by kestrane-logger (process %1)\n")
                .arg(logger.processId()));

        QTest::qWait(std::max(0, seconds * 1000 - static_cast<int>(ran.elapsed())));
        for (Session* s : {&first, &second}) {
            QCOMPARE(s->part(3), owner);
            QCOMPARE(s->value(1), QStringLiteral("+ 12.50"));
        }
        logger.terminate();
        QVERIFY(logger.waitForFinished(10000));
        const double ranSeconds = static_cast<double>(ran.elapsed()) / 1000.0;
        QCOMPARE(logger.exitCode(), 0);
        // One record a second from one writer; three writers would give
        // about three.
        const auto records = static_cast<double>(FileLines(log).size());
        QVERIFY2(records >= ranSeconds - 4 && records <= ranSeconds + 1,
                 qPrintable(QStringLiteral("%1 records in %2 s").arg(records).arg(ranSeconds)));
        QCOMPARE(FileLines(starts).size(), 1);
        QVERIFY(first.messages.shown.empty());
        QVERIFY(second.messages.shown.empty());
    }

    // With the option off the box and the end stay as they were.
    void optionOffKeepsTheBox() {
        Session s;
        QVERIFY(s.Start(LoggingRow(TestRoot() + "/logs-off/"), /*reconnect=*/false));
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.value(1).isEmpty(), kWaitMs);
        WriteSimulation(kNoBoard);
        QTRY_VERIFY_WITH_TIMEOUT(!s.messages.shown.empty(), kWaitMs);
        QCOMPARE(s.messages.shown[0].first, std::string("SHAZBOT! Function call to DLL failed!"));
        QCOMPARE(s.messages.shown[0].second, std::string("Write to board failed"));
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().isVisible(), kWaitMs);
        QVERIFY(s.notifier.calls.isEmpty());
        QVERIFY(s.journalLines().isEmpty());
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    ReconnectWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "reconnect_window_test.moc"
