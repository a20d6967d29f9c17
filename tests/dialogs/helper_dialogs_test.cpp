// The Auto Calculate, Averaging Filter and Logging dialogs: the factor
// arithmetic and its messages, the weights the filter refuses and stores,
// the filter's effect on the next readings, and the Logging dialog's
// preselection, folder proposal and chooser, and its logging timer; and
// the folder the session gives the Logging and Graph dialogs.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dialog_test_support.h"
#include "plotwick.h"
#include "settings/install_record.h"
#include "temp_dir.h"
#include "ui/auto_calculate_dialog.h"
#include "ui/filter_dialog.h"
#include "ui/graph_dialog.h"
#include "ui/key_filter.h"
#include "ui/logging_dialog.h"
#include "ui/ui_ids.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

Q_DECLARE_METATYPE(kestrane::ui::AutoCalcOutcome)

namespace {

int LineCount(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return f.readAll().count('\n');
}

}  // namespace

class HelperDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        WriteSimulation(Simulation({"10", "-3.5", "7", "0.05625", "1", "48"}));
        KeyFilter::SetBeepForTesting([] {});
    }

    void autoCalculateArithmetic_data() {
        QTest::addColumn<QString>("measured");
        QTest::addColumn<QString>("actual");
        QTest::addColumn<AutoCalcOutcome>("outcome");
        QTest::addColumn<QString>("factor");
        QTest::addColumn<QString>("adjusted");
        using O = AutoCalcOutcome;
        QTest::newRow("worked example") << "+ 12.000000"
                                        << "12.6" << O::Done << " 1.050000"
                                        << " 12.600000";
        QTest::newRow("negative reading") << "- 12.000000"
                                          << "12.6" << O::Done << "-1.050000"
                                          << "-12.600000";
        QTest::newRow("measured zero") << "+ 0.000"
                                       << "5" << O::Done << " 5000000.000000"
                                       << " 5.000000";
        QTest::newRow("measured zero, negative") << "- 0"
                                                 << "2.5" << O::Done << "-2500000.000000"
                                                 << "-2.500000";
        QTest::newRow("actual zero") << "+ 12.5"
                                     << "0" << O::Done << " 0"
                                     << " 0";
        QTest::newRow("actual zero, negative") << "- 12.5"
                                               << "0" << O::Done << " 0"
                                               << " 0";
        QTest::newRow("negative actual") << "+ 4"
                                         << "-2" << O::Done << "-0.500000"
                                         << "-2.000000";
        QTest::newRow("no blank after the sign") << "+12.0"
                                                 << "6" << O::Done << " 0.500000"
                                                 << " 6.000000";
        QTest::newRow("switched-off channel") << "  DISABLED"
                                              << "5" << O::MeasuredUnreadable << ""
                                              << "";
        QTest::newRow("no reading yet") << ""
                                        << "5" << O::MeasuredUnreadable << ""
                                        << "";
        QTest::newRow("sign only") << "+"
                                   << "5" << O::MeasuredUnreadable << ""
                                   << "";
        QTest::newRow("actual empty") << "+ 12"
                                      << "" << O::ActualUnreadable << ""
                                      << "";
        QTest::newRow("actual two points") << "+ 12"
                                           << "1.2.3" << O::ActualUnreadable << ""
                                           << "";
        QTest::newRow("actual a lone minus") << "+ 12"
                                             << "-" << O::ActualUnreadable << ""
                                             << "";
        QTest::newRow("factor beyond range") << "+ 0"
                                             << "1e4931" << O::ActualUnreadable << ""
                                             << "";
    }
    void autoCalculateArithmetic() {
        QFETCH(QString, measured);
        QFETCH(QString, actual);
        QFETCH(AutoCalcOutcome, outcome);
        QFETCH(QString, factor);
        QFETCH(QString, adjusted);
        const AutoCalcResult r = AutoCalculate(measured.toStdString(), actual.toStdString());
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(QString::fromStdString(r.factorText), factor);
        QCOMPARE(QString::fromStdString(r.adjustedText), adjusted);
    }

    void autoCalculateDialogMessagesAndHandOver() {
        RecordingMessages messages;
        AutoCalculateDialog d(QStringLiteral("- 12.000000"), &messages, nullptr);
        d.show();
        QCOMPARE(d.windowTitle(), QStringLiteral("Auto Calculate Adjustment Value"));
        QCOMPARE(Find<QLabel>(&d, "measuredValue")->text(), QStringLiteral("- 12.000000"));
        Click(&d, "okButton");         // before any calculation
        Click(&d, "calculateButton");  // with no actual voltage
        QCOMPARE(messages.shown.size(), std::size_t{2});
        QCOMPARE(messages.shown[0].second, std::string(kNotCalculatedText));
        QCOMPARE(messages.shown[1].second, std::string(kEnterActualText));
        QVERIFY(d.isVisible());
        QTest::keyClicks(Find<QLineEdit>(&d, "actualEdit"), QStringLiteral("12.6V"));  // V is refused
        Click(&d, "calculateButton");
        QCOMPARE(Find<QLabel>(&d, "factorValue")->text(), QStringLiteral("-1.050000"));
        QCOMPARE(Find<QLabel>(&d, "adjustedValue")->text(), QStringLiteral("-12.600000"));
        Click(&d, "okButton");
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.factorText(), QStringLiteral("-1.050000"));
        QCOMPARE(messages.shown.size(), std::size_t{2});
    }

    void autoCalculateComputesNothingWithoutAReading() {
        RecordingMessages messages;
        AutoCalculateDialog d(QStringLiteral("  DISABLED"), &messages, nullptr);
        d.show();
        QTest::keyClicks(Find<QLineEdit>(&d, "actualEdit"), QStringLiteral("5"));
        Click(&d, "calculateButton");
        QCOMPARE(Find<QLabel>(&d, "factorValue")->text(), QString());
        Click(&d, "okButton");
        QVERIFY(d.isVisible());
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QCOMPARE(messages.shown[0].second, std::string(kNotCalculatedText));
    }

    void autoCalculateActualZeroHandsOverABlankAndZero() {
        RecordingMessages messages;
        AutoCalculateDialog d(QStringLiteral("+ 3.300"), &messages, nullptr);
        QTest::keyClicks(Find<QLineEdit>(&d, "actualEdit"), QStringLiteral("0"));
        Click(&d, "calculateButton");
        Click(&d, "okButton");
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.factorText(), QStringLiteral(" 0"));
    }

    void filterWeights_data() {
        QTest::addColumn<QString>("weight");
        QTest::addColumn<bool>("stored");
        QTest::newRow("1") << "1" << false;
        QTest::newRow("1.0") << "1.0" << false;
        QTest::newRow("01.000") << "01.000" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("a point") << "." << false;
        QTest::newRow("two points") << "0.5.1" << false;
        QTest::newRow("0") << "0" << true;
        QTest::newRow("0.5") << "0.5" << true;
        QTest::newRow("2") << "2" << true;
    }
    void filterWeights() {
        QFETCH(QString, weight);
        QFETCH(bool, stored);
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        FilterDialog d(s.Context(), 2, &s.w());
        d.show();
        QCOMPARE(d.windowTitle(), QStringLiteral("Averaging Filter"));
        QVERIFY(d.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!Find<QCheckBox>(&d, "filterEnableCheck")->isChecked());
        QCOMPARE(Find<QLineEdit>(&d, "weightEdit")->text(), QStringLiteral("20"));
        Find<QCheckBox>(&d, "filterEnableCheck")->setChecked(true);
        QLineEdit* edit = Find<QLineEdit>(&d, "weightEdit");
        edit->clear();
        QTest::keyClicks(edit, weight);
        QCOMPARE(edit->text(), weight);
        Click(&d, "okButton");
        const ChannelSettings c = s.StoredChannel(2);
        if (stored) {
            QVERIFY(s.messages.shown.empty());
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QCOMPARE(QString::fromStdString(c.filterWeight), weight);
            QCOMPARE(c.filterEnable, std::string("YES"));
            QCOMPARE(s.core().settings().channels[1].filterWeight, weight.toStdString());
        } else {
            QCOMPARE(s.messages.shown.size(), std::size_t{1});
            QCOMPARE(s.messages.shown[0].second, std::string(kInvalidFilterText));
            QVERIFY(d.isVisible());
            QCOMPARE(c.filterWeight, std::string("20"));
            QCOMPARE(c.filterEnable, std::string("NO"));
        }
    }

    void filterCancelChangesNothing() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        FilterDialog d(s.Context(), 1, &s.w());
        d.show();
        Find<QCheckBox>(&d, "filterEnableCheck")->setChecked(true);
        Find<QLineEdit>(&d, "weightEdit")->setText(QStringLiteral("4"));
        Click(&d, "cancelButton");
        QCOMPARE(s.StoredChannel(1).filterEnable, std::string("NO"));
        QCOMPARE(s.core().settings().channels[0].filterWeight, std::string("20"));
    }

    void filterTakesEffectInTheNextReadings() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QVERIFY(WaitUntil([&] { return s.w().channelValueText(1) == QStringLiteral("+ 10.000"); }));
        {
            FilterDialog d(s.Context(), 1, &s.w());
            Find<QCheckBox>(&d, "filterEnableCheck")->setChecked(true);
            Find<QLineEdit>(&d, "weightEdit")->setText(QStringLiteral("2"));  // half of each step
            Click(&d, "okButton");
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        // The filter blends only after its warm-up readings.
        QVERIFY(WaitUntil([&] { return s.core().states().warmUp >= 10; }));
        QStringList seen;
        QLineEdit* value = s.w().findChild<QLineEdit*>(QStringLiteral("valueEdit1"));
        QObject::connect(value, &QLineEdit::textChanged, value, [&seen](const QString& t) { seen << t; });
        WriteSimulation(Simulation({"20", "-3.5", "7", "0.05625", "1", "48"}));
        QVERIFY(WaitUntil([&] { return seen.size() >= 2; }));
        QCOMPARE(seen.at(0), QStringLiteral("+ 15.000"));
        QCOMPARE(seen.at(1), QStringLiteral("+ 17.500"));
    }

    void loggingOpensWithItsListsAndPreselection_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("shownSize");
        QTest::addColumn<QString>("shownInterval");
        QTest::newRow("exact") << "3 Megabytes"
                               << "5 Secs"
                               << "3 Megabytes"
                               << "5 Secs";
        QTest::newRow("case ignored") << "3 megabytes"
                                      << "5 mins"
                                      << "3 Megabytes"
                                      << "5 Mins";
        QTest::newRow("first entry with the prefix") << "1"
                                                     << "2 H"
                                                     << "1 Megabyte"
                                                     << "2 Hours";
        QTest::newRow("no such entry") << "99 Megabytes"
                                       << "90 Secs"
                                       << ""
                                       << "";
    }
    void loggingOpensWithItsListsAndPreselection() {
        QFETCH(QString, size);
        QFETCH(QString, interval);
        QFETCH(QString, shownSize);
        QFETCH(QString, shownInterval);
        BoardRow row = StandardRow();
        ChannelSettings& c = row.settings.channels[4];
        c.logEnabled = "YES";
        c.logSize = size.toStdString();
        c.logInterval = interval.toStdString();
        c.logFileName = "bus5.log";
        c.logPath = "/var/tmp/kestrane/";
        DialogSession s;
        QVERIFY(s.Start(row));
        s.core().LoadAndShowSettings();
        LoggingDialog d(s.Context(), 5, &s.w());
        d.show();
        QCOMPARE(d.windowTitle(), QStringLiteral(" Logging Options for Voltmeter 5"));
        QCOMPARE(Find<QLabel>(&d, "deviceValue")->text(), QStringLiteral("000A"));
        QVERIFY(Find<QCheckBox>(&d, "loggingEnabledCheck")->isChecked());
        QComboBox* sizes = Find<QComboBox>(&d, "sizeBox");
        QComboBox* intervals = Find<QComboBox>(&d, "intervalBox");
        QCOMPARE(sizes->count(), 35);
        QCOMPARE(sizes->itemText(0), QStringLiteral("1 Megabyte"));
        QCOMPARE(sizes->itemText(34), QStringLiteral("35 Megabytes"));
        QCOMPARE(intervals->count(), 142);
        QCOMPARE(intervals->itemText(0), QStringLiteral("1 Secs"));
        QCOMPARE(intervals->itemText(141), QStringLiteral("24 Hours"));
        QCOMPARE(sizes->currentText(), shownSize);
        QCOMPARE(intervals->currentText(), shownInterval);
        QCOMPARE(Find<QLineEdit>(&d, "fileNameEdit")->text(), QStringLiteral("bus5.log"));
        QCOMPARE(Find<QLineEdit>(&d, "pathEdit")->text(), QStringLiteral("/var/tmp/kestrane/"));
        QVERIFY(Find<QLineEdit>(&d, "pathEdit")->isReadOnly());
    }

    void loggingRefusesAnEmptyFileName() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        LoggingDialog d(s.Context(), 1, &s.w());
        d.show();
        Find<QCheckBox>(&d, "loggingEnabledCheck")->setChecked(true);
        Find<QLineEdit>(&d, "fileNameEdit")->clear();
        Click(&d, "okButton");
        QCOMPARE(s.messages.shown.size(), std::size_t{1});
        QCOMPARE(s.messages.shown[0].second, std::string(kChooseLogNameText));
        QVERIFY(d.isVisible());
        QCOMPARE(s.StoredChannel(1).logEnabled, std::string("NO"));
        QVERIFY(!s.w().timerActive(kTimerLogFirst));
    }

    // Cancel and Escape: nothing saved, the busy flag cleared, the proposed
    // folder kept; Enter leaves the dialog open.
    void loggingCancelKeepsTheProposedFolder() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        const std::string proposed = s.programDirectory + "000A/";
        for (int round = 0; round < 2; ++round) {
            LoggingDialog d(s.Context(), 2, &s.w());
            d.show();
            QCOMPARE(Find<QLineEdit>(&d, "pathEdit")->text().toStdString(), proposed);
            Find<QCheckBox>(&d, "loggingEnabledCheck")->setChecked(true);
            if (round == 0) {
                Click(&d, "cancelButton");
            } else {
                QTest::keyClick(Find<QLineEdit>(&d, "fileNameEdit"), Qt::Key_Return);
                QVERIFY(d.isVisible());
                QTest::keyClick(Find<QLineEdit>(&d, "fileNameEdit"), Qt::Key_Escape);
            }
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QCOMPARE(s.core().settings().channels[1].logPath, proposed);
        }
        QCOMPARE(s.StoredChannel(2).logPath, std::string());
        QCOMPARE(s.StoredChannel(2).logEnabled, std::string("NO"));
    }

    // The install record names where the database is; the folder the
    // Logging dialog proposes and the Graph dialog falls back to is the one
    // of the program actually running, which may be another copy.
    void sessionDialogsUseTheRunningProgramsFolder() {
        const kestrane::test::TempDir running("running");
        QVERIFY(!running.path().empty());
        BoardRow row = StandardRow();
        row.settings.channels[1].logFileName = "reverse.log";  // no folder set
        DialogSession s;
        s.runningProgramDirectory = running.path().string();  // a separator is added
        QVERIFY(s.Start(row, true));
        const std::string folder = running.path().string() + "/";
        QCOMPARE(s.session->programDirectory(), folder);
        QVERIFY(s.programDirectory != folder);
        QCOMPARE(s.session->databasePath(), DatabasePathFor(s.programDirectory + "Kestrane"));
        s.Connect();

        // Graph first: a cancelled Logging dialog keeps its proposal in memory.
        pwInitialize();
        std::string graphPath;
        WhenModalOpens(QStringLiteral("graphDialog"), [&](QDialog* d) {
            graphPath = static_cast<GraphDialog*>(d)->logPath();
            d->reject();
        });
        s.w().findChild<QAction*>(QStringLiteral("graphsAction2"))->trigger();
        pwDeinitialize();
        QCOMPARE(graphPath, folder + "000A/reverse.log");

        QString proposed;
        WhenModalOpens(QStringLiteral("loggingDialog"), [&](QDialog* d) {
            proposed = Find<QLineEdit>(d, "pathEdit")->text();
            Click(d, "cancelButton");
        });
        s.w().findChild<QAction*>(QStringLiteral("loggingAction2"))->trigger();
        QCOMPARE(proposed.toStdString(), folder + "000A/");
    }

    void loggingFolderChooserAppendsThePid() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        LoggingDialog d(s.Context(), 1, &s.w());
        d.show();
        QLineEdit* path = Find<QLineEdit>(&d, "pathEdit");
        s.chooser.folders = {"/data/logs", "", "/", "/srv/ends/with/"};
        const char* expected[] = {"/data/logs/000A/", "/data/logs/000A/", "/000A/", "/srv/ends/with/000A/"};
        for (const char* e : expected) {
            Click(&d, "pathBrowse");
            QCOMPARE(path->text(), QString::fromLatin1(e));
        }
        QCOMPARE(s.chooser.folderTitles.front(), std::string("Select Path to Log Files"));
        Find<QLineEdit>(&d, "fileNameEdit")->setText(QStringLiteral("one.log"));
        Click(&d, "okButton");
        QCOMPARE(s.StoredChannel(1).logPath, std::string("/srv/ends/with/000A/"));
    }

    void loggingOkSwitchesTheTimerOnAndOff() {
        const kestrane::test::TempDir folder("logfolder");
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QVERIFY(WaitUntil([&] { return !s.w().channelValueText(1).isEmpty(); }));
        const QString logFile =
            QString::fromStdString(folder.path().string()) + QStringLiteral("/000A/volts.log");

        // Switch on through the Logging menu, the dialog running modally.
        s.chooser.folders = {folder.path().string()};
        WhenModalOpens(QStringLiteral("loggingDialog"), [&](QDialog* d) {
            Find<QCheckBox>(d, "loggingEnabledCheck")->setChecked(true);
            Find<QComboBox>(d, "intervalBox")->setCurrentIndex(0);  // "1 Secs"
            QLineEdit* name = Find<QLineEdit>(d, "fileNameEdit");
            name->clear();
            QTest::keyClicks(name, QStringLiteral("volts.log"));
            Click(d, "pathBrowse");
            Click(d, "okButton");
        });
        s.w().findChild<QAction*>(QStringLiteral("loggingAction1"))->trigger();
        QVERIFY(s.messages.shown.empty());
        QVERIFY(s.w().timerActive(kTimerLogFirst));
        QCOMPARE(s.w().findChild<QTimer*>(QStringLiteral("timer11"))->interval(), 1000);
        const ChannelSettings on = s.StoredChannel(1);
        QCOMPARE(on.logEnabled, std::string("YES"));
        QCOMPARE(on.logInterval, std::string("1 Secs"));
        QCOMPARE(on.logFileName, std::string("volts.log"));
        QCOMPARE(QString::fromStdString(on.logPath),
                 QString::fromStdString(folder.path().string()) + QStringLiteral("/000A/"));
        QVERIFY(WaitUntil([&] { return LineCount(logFile) >= 2; }));

        // A new interval restarts the running timer with its period; a typed
        // text outside the list keeps the channel's last valid one.
        const struct {
            const char* typed;
            int periodMs;
        } restarts[] = {
            {"2 Secs", 2000}, {"90 Secs", 2000}, {"1 Mins", 60000}, {"1 mins", 60000}, {"", 60000}};
        for (const auto& r : restarts) {
            LoggingDialog d(s.Context(), 1, &s.w());
            Find<QComboBox>(&d, "intervalBox")->setEditText(QString::fromLatin1(r.typed));
            Click(&d, "okButton");
            QVERIFY(s.w().timerActive(kTimerLogFirst));
            QCOMPARE(s.w().findChild<QTimer*>(QStringLiteral("timer11"))->interval(), r.periodMs);
            QCOMPARE(s.StoredChannel(1).logInterval, std::string(r.typed));
        }

        // Switched off: the timer stops.
        {
            LoggingDialog d(s.Context(), 1, &s.w());
            Find<QCheckBox>(&d, "loggingEnabledCheck")->setChecked(false);
            Click(&d, "okButton");
        }
        QVERIFY(!s.w().timerActive(kTimerLogFirst));
        QCOMPARE(s.StoredChannel(1).logEnabled, std::string("NO"));

        // Already off in the settings, a running timer 11 is stopped too.
        s.w().findChild<QTimer*>(QStringLiteral("timer11"))->start(5000);
        {
            LoggingDialog d(s.Context(), 1, &s.w());
            QVERIFY(!Find<QCheckBox>(&d, "loggingEnabledCheck")->isChecked());
            Click(&d, "okButton");
        }
        QVERIFY(!s.w().timerActive(kTimerLogFirst));
        QVERIFY(s.w().timerActive(kTimerPolling));
    }

    // A save the database refuses is said, and the dialog stays open with
    // what was typed: nothing in memory changes and no logging timer starts.
    void filterAndLoggingReportFailedSaves() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        const ChannelSettings before = s.core().settings().channels[0];
        s.db.Close();  // every statement now fails
        {
            FilterDialog d(s.Context(), 1, &s.w());
            d.show();
            Find<QCheckBox>(&d, "filterEnableCheck")->setChecked(true);
            Find<QLineEdit>(&d, "weightEdit")->setText(QStringLiteral("4"));
            Click(&d, "okButton");
            QCOMPARE(s.messages.shown.size(), std::size_t{1});
            QCOMPARE(s.messages.shown[0].second, std::string(kSaveFailedText));
            QVERIFY(d.isVisible());
            QCOMPARE(Find<QLineEdit>(&d, "weightEdit")->text(), QStringLiteral("4"));
            QCOMPARE(s.core().settings().channels[0].filterEnable, std::string("NO"));
        }
        {
            LoggingDialog d(s.Context(), 1, &s.w());
            d.show();
            Find<QCheckBox>(&d, "loggingEnabledCheck")->setChecked(true);
            Find<QLineEdit>(&d, "fileNameEdit")->setText(QStringLiteral("volts.log"));
            Click(&d, "okButton");
            QCOMPARE(s.messages.shown.size(), std::size_t{2});
            QCOMPARE(s.messages.shown[1].second, std::string(kSaveFailedText));
            QVERIFY(d.isVisible());
            QVERIFY(!s.w().timerActive(kTimerLogFirst));
            QCOMPARE(s.core().settings().channels[0].logEnabled, before.logEnabled);
            QCOMPARE(s.core().settings().channels[0].logFileName, before.logFileName);
        }
    }

    // A pass held up by a failed exchange keeps the busy flag set while its
    // error box is open; closing a Logging dialog meanwhile clears it.
    void closingLoggingClearsTheBusyFlag() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QVERIFY(WaitUntil([&] { return !s.w().channelValueText(1).isEmpty(); }));
        bool busyWithBox = false, busyAfterLogging = true;
        s.messages.whileOpen = [&] {
            busyWithBox = s.core().polling().busy;
            LoggingDialog d(s.Context(), 2, &s.w());
            d.show();
            Click(&d, "cancelButton");
            busyAfterLogging = s.core().polling().busy;
        };
        WriteSimulation("[device]\nproduct-id = 000A\nfault = absent\n");
        QVERIFY(WaitUntil([&] { return !s.messages.shown.empty(); }));
        QVERIFY(busyWithBox);
        QVERIFY(!busyAfterLogging);
    }

    void loggingCutsTypedTextsToTheirColumns() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        LoggingDialog d(s.Context(), 6, &s.w());
        Find<QLineEdit>(&d, "fileNameEdit")->setText(QString(80, QLatin1Char('f')));
        Find<QComboBox>(&d, "sizeBox")->setEditText(QString(40, QLatin1Char('9')));
        Click(&d, "okButton");
        const ChannelSettings c = s.StoredChannel(6);
        QCOMPARE(c.logFileName, std::string(kFileNameFieldMax, 'f'));
        QCOMPARE(c.logSize, std::string(kShortFieldMax, '9'));
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    HelperDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "helper_dialogs_test.moc"
