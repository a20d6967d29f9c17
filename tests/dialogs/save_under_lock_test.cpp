// A dialog's OK while another program holds the settings database locked,
// through the real window, its own dialogs and database connection: the
// save fails within about a second with "The settings could not be saved
// to the database.", nothing is written, and the channel's log records go
// on arriving on time throughout.
#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "acquisition/qt/qt_alarm_actions.h"
#include "client/core/acquisition_tasks.h"
#include "dialog_test_support.h"
#include "sqlite_lock.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

// Twice the channel's logging period: what a user would call a gap.
constexpr qint64 kLargestGapMs = 2000;

// The real alarm checks and log records, with the time of every record.
struct TimedTasks final : ChannelTasks {
    QtAlarmActions alarms;
    AcquisitionTasks real{alarms};
    QElapsedTimer clock;
    std::vector<qint64> logTimes;

    TimedTasks() { clock.start(); }
    void TriggerCheck(const std::string& board, int channel, const ChannelSettings& settings,
                      ChannelState& state) override {
        real.TriggerCheck(board, channel, settings, state);
    }
    void WriteLogRecord(int channel, const ChannelSettings& settings, const ChannelState& state) override {
        logTimes.push_back(clock.elapsed());
        real.WriteLogRecord(channel, settings, state);
    }
    int LogPeriodMs(const ChannelSettings& settings, ChannelState& state) override {
        return real.LogPeriodMs(settings, state);
    }
    qint64 largestGap(std::size_t from) const {
        qint64 largest = 0;
        for (std::size_t i = from + 1; i < logTimes.size(); ++i)
            largest = std::max(largest, logTimes[i] - logTimes[i - 1]);
        return largest;
    }
};

}  // namespace

class SaveUnderLockTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation(Simulation({"12", "-3.5", "7", "0.05625", "1", "48"})); }

    void okUnderAnotherProgramsLockFailsAndLoggingGoesOn_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("field");
        QTest::newRow("Voltmeter Options") << "optionsDialog"
                                           << "nameEdit";
        QTest::newRow("Logging") << "loggingDialog"
                                 << "fileNameEdit";
    }

    void okUnderAnotherProgramsLockFailsAndLoggingGoesOn() {
        QFETCH(QString, dialog);
        QFETCH(QString, field);
        BoardRow row = StandardRow();
        ChannelSettings& logged = row.settings.channels[0];
        logged.logEnabled = "YES";
        logged.logInterval = "1 Secs";
        logged.logPath = TestRoot() + "/logs-" + QTest::currentDataTag() + "/";
        logged.logFileName = "battery.log";
        std::string error;
        const std::string program = MakeInstallation({row}, error);
        QVERIFY2(!program.empty(), error.c_str());
        SetInstalledProgram(program);

        RecordingMessages messages;
        FakeUrlOpener urls;
        TimedTasks tasks;
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.tasks = &tasks;
        services.addDeviceRunner = [](AddMode) { return false; };
        std::unique_ptr<ClientSession> session = ClientSession::Start(services);
        QVERIFY(session);
        MainWindow& w = session->window();
        w.show();
        QTest::mouseClick(w.connectButton(), Qt::LeftButton);
        QVERIFY(WaitUntil([&] { return tasks.logTimes.size() >= 2; }));

        kestrane::test::SqliteLock lock;
        QVERIFY(lock.Acquire(KESTRANE_SQLITE_LOCK_HOLDER, session->databasePath(), "exclusive"));
        const std::size_t firstUnderLock = tasks.logTimes.size() - 1;
        // The error box stays up a while, as it does until the user reads it.
        messages.whileOpen = [] {
            QEventLoop loop;
            QTimer::singleShot(1500, &loop, &QEventLoop::quit);
            loop.exec();
        };
        qint64 saveMs = -1;
        bool stillOpen = false;
        WhenModalOpens(dialog, [&](QDialog* d) {
            auto* edit = d->findChild<QLineEdit*>(field);
            QVERIFY(edit);
            edit->setText(QStringLiteral("Changed"));
            // Just after a record, so the wait falls between two of them
            // the way an unlucky one would: a longer wait shows as a gap.
            const std::size_t records = tasks.logTimes.size();
            WaitUntil([&] { return tasks.logTimes.size() > records; });
            QElapsedTimer save;
            save.start();
            auto* ok = d->findChild<QPushButton*>(QStringLiteral("okButton"));
            ok->click();
            saveMs = save.elapsed();
            stillOpen = d->isVisible();
            d->reject();
        });
        if (dialog == QLatin1String("optionsDialog"))
            QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("editButton1")), Qt::LeftButton);
        else
            w.findChild<QAction*>(QStringLiteral("loggingAction1"))->trigger();
        QVERIFY(saveMs >= 0);
        QTest::qWait(1500);
        lock.Release();

        QCOMPARE(messages.shown.size(), std::size_t{1});
        QCOMPARE(messages.shown[0].second, std::string(kSaveFailedText));
        QVERIFY(stillOpen);
        QVERIFY2(tasks.logTimes.size() >= firstUnderLock + 4, "records went on under the lock");
        qInfo("largest gap %lld ms, save %lld ms", tasks.largestGap(firstUnderLock), saveMs);
        QVERIFY2(tasks.largestGap(firstUnderLock) < kLargestGapMs,
                 qPrintable(QStringLiteral("largest gap %1 ms, save took %2 ms")
                                .arg(tasks.largestGap(firstUnderLock))
                                .arg(saveMs)));
        // Nothing was written, in the row or in memory.
        SettingsDatabase db;
        NullMessageSink quiet;
        QVERIFY(db.Open(DefaultConnectionString(session->databasePath())).ok());
        BoardSettings stored;
        QVERIFY(db.LoadBoardSettings("000A", stored));
        QCOMPARE(stored.channels[0].vmName, std::string("Battery"));
        QCOMPARE(stored.channels[0].logFileName, std::string("battery.log"));
        QCOMPARE(w.core().settings().channels[0].vmName, std::string("Battery"));
        QCOMPARE(w.core().settings().channels[0].logFileName, std::string("battery.log"));
        QVERIFY(w.core().connected());
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    SaveUnderLockTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "save_under_lock_test.moc"
