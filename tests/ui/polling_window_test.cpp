// Connect, polling and Disconnect through the real window, the real
// settings database and the simulated board bus: the round over six
// channels with one switched off, the status animation, Disconnect and
// reconnect, and a board that vanishes mid-run.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "acquisition/trigger_engine.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

// Generous: the machine may be loaded; the polls normally finish in < 1 s.
constexpr int kWaitMs = 20000;

const char* const kSimulation =
    "[device]\n"
    "product-id = 000A\n"
    "firmware = KESTRANE FW 2.17\n"
    "channel1 = 12.5\n"
    "channel2 = -3.25\n"
    "channel3 = 7\n"
    "channel4 = 0.0375\n"
    "channel5 = 1.2346\n"
    "channel6 = 48\n";

BoardRow DemoRow() {
    BoardRow row{"000A", true, {}};
    auto& ch = row.settings.channels;
    ch[0] = MakeChannel("YES", "Battery", "1", "3");
    ch[1] = MakeChannel("YES", "Reverse", "1", "2");
    ch[2] = MakeChannel("NO", "Spare", "1", "1");
    ch[3] = MakeChannel("YES", "Shunt", "1", "2", "ADC");
    ch[3].amp = "50";
    ch[3].millivolt = "75";
    ch[4] = MakeChannel("YES", "Reference", "1", "4");
    ch[5] = MakeChannel("YES", "Bus", "0.5", "0");
    return row;
}

struct CountingActions final : AlarmActions {
    int count = 0;
    void StartProgram(const std::string&) override { ++count; }
    void PlaySound(const std::string&) override { ++count; }
};

struct Session {
    RecordingMessages messages;
    FakeUrlOpener urls;
    NoDialogs dialogs;
    CountingActions actions;
    std::unique_ptr<ClientSession> session;
    bool addDialogRegisters = false;  // what the stand-in Add Device dialog reports

    bool Start(const BoardRow& row = DemoRow()) {
        std::string error;
        const std::string program = MakeInstallation({row}, error);
        if (program.empty()) {
            qWarning("%s", error.c_str());
            return false;
        }
        SetInstalledProgram(program);
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        services.alarms = &actions;
        services.addDeviceRunner = [this](AddMode) { return addDialogRegisters; };
        session = ClientSession::Start(services);
        if (!session) return false;
        session->window().show();
        return true;
    }
    MainWindow& w() { return session->window(); }
    QString value(int n) { return w().findChild<QLineEdit*>(QStringLiteral("valueEdit%1").arg(n))->text(); }
    QProgressBar* gauge(int n) { return w().findChild<QProgressBar*>(QStringLiteral("gauge%1").arg(n)); }
    bool allShown() {
        for (int n = 1; n <= 6; ++n)
            if (value(n).isEmpty()) return false;
        return true;
    }
};

}  // namespace

class PollingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation(kSimulation); }

    void connectPollsTheRoundAndShowsConvertedReadings() {
        Session s;
        QVERIFY(s.Start());
        QTest::mouseClick(s.w().connectButton(), Qt::LeftButton);
        QCOMPARE(s.w().statusParts()->partText(1), QStringLiteral("Connected"));
        QCOMPARE(s.w().statusParts()->partText(2), QStringLiteral(" MSG: Data Polling Started"));
        QCOMPARE(s.w().findChild<QLabel*>("firmware")->text(), QStringLiteral("KESTRANE FW 2.17"));
        QVERIFY(!s.w().connectButton()->isEnabled());
        QVERIFY(s.w().findChild<QPushButton*>("editButton3")->isEnabled());
        QVERIFY(s.w().findChild<QMenu*>("loggingMenu")->menuAction()->isEnabled());
        QCOMPARE(s.w().findChild<QLabel*>("nameLabel1")->text(), QStringLiteral("Battery"));
        QCOMPARE(s.w().findChild<QLabel*>("modeLabel4")->text(), QStringLiteral("ADC"));
        QCOMPARE(s.w().findChild<QLabel*>("nameLabel1")->property("notes").toString(),
                 QStringLiteral("Notes for Battery\nsecond line"));
        QVERIFY(s.w().findChild<QLabel*>("nameLabel1")->toolTip().contains("second line"));

        QTRY_VERIFY_WITH_TIMEOUT(s.allShown(), kWaitMs);
        const struct {
            int n;
            const char* shown;
            int maximum, position;
            QColor colour;
        } expected[] = {
            {1, "+ 12.500", 100, 12, QColor(0, 255, 0)},  {2, "- 3.25", 100, 3, QColor(255, 0, 0)},
            {3, "  DISABLED", 100, 0, QColor(0, 255, 0)}, {4, "+ 25.00", 50, 25, QColor(0, 255, 0)},
            {5, "+ 1.2346", 100, 1, QColor(0, 255, 0)},   {6, "+ 24", 100, 24, QColor(0, 255, 0)},
        };
        for (const auto& e : expected) {
            QCOMPARE(s.value(e.n), QString::fromLatin1(e.shown));
            QCOMPARE(s.gauge(e.n)->maximum(), e.maximum);
            QCOMPARE(s.gauge(e.n)->value(), e.position);
            QCOMPARE(s.gauge(e.n)->property("barColour").value<QColor>(), e.colour);
        }
        QTRY_VERIFY_WITH_TIMEOUT(s.w().statusParts()->partText(2).startsWith(" MSG: Data Polling ."),
                                 kWaitMs);
        QVERIFY(s.messages.shown.empty());
    }

    void disconnectClearsAndReconnectResumesAtChannelOne() {
        Session s;
        QVERIFY(s.Start());
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(s.allShown(), kWaitMs);
        QTest::mouseClick(s.w().findChild<QPushButton*>("disconnectButton"), Qt::LeftButton);
        QCOMPARE(s.w().statusParts()->partText(1), QStringLiteral("Not Connected"));
        QCOMPARE(s.w().statusParts()->partText(2), QStringLiteral("MSG:   Click on connect"));
        for (int n = 1; n <= 6; ++n) {
            QCOMPARE(s.value(n), QString());
            QCOMPARE(s.gauge(n)->value(), 0);
            QVERIFY(!s.w().core().states().at(n).hasReading);
            QVERIFY(s.w().findChild<QLabel*>(QStringLiteral("nameLabel%1").arg(n))->toolTip().isEmpty());
        }
        QCOMPARE(s.gauge(4)->maximum(), 50);  // the range stays
        QCOMPARE(s.w().findChild<QLabel*>("firmware")->text(), QStringLiteral("KESTRANE FW 2.17"));
        QVERIFY(s.w().connectButton()->isEnabled());
        QVERIFY(!s.w().findChild<QPushButton*>("editButton1")->isEnabled());
        QVERIFY(!s.w().findChild<QMenu*>("graphsMenu")->menuAction()->isEnabled());
        for (int id : {kTimerPolling, kTimerTrigger, kTimerAnimation}) QVERIFY(!s.w().timerActive(id));
        QTest::qWait(200);  // no tick may write after Disconnect
        QVERIFY(s.value(1).isEmpty());

        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.value(1).isEmpty(), kWaitMs);
        QVERIFY(s.w().core().polling().currentChannel >= 1);
        QCOMPARE(s.value(1), QStringLiteral("+ 12.500"));
    }

    void openingTheDeviceListDisconnects() {
        Session s;
        QVERIFY(s.Start());
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.value(1).isEmpty(), kWaitMs);
        s.w().deviceSelector()->showPopup();
        QCOMPARE(s.w().statusParts()->partText(1), QStringLiteral("Not Connected"));
        QVERIFY(!s.w().timerActive(kTimerPolling));
        s.w().deviceSelector()->hidePopup();
    }

    void addDeviceWhileConnectedKeepsConnectDisabled() {
        Session s;
        QVERIFY(s.Start());
        s.addDialogRegisters = true;
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.value(1).isEmpty(), kWaitMs);
        QPushButton* add = s.w().findChild<QPushButton*>("addDeviceButton");
        QTest::mouseClick(add, Qt::LeftButton);
        QVERIFY(!s.w().connectButton()->isEnabled());
        QVERIFY(s.w().core().connected());
        QCOMPARE(s.w().statusParts()->partText(1), QStringLiteral("Connected"));
        QVERIFY(s.w().timerActive(kTimerPolling));

        QTest::mouseClick(s.w().findChild<QPushButton*>("disconnectButton"), Qt::LeftButton);
        QVERIFY(s.w().connectButton()->isEnabled());
        QTest::mouseClick(add, Qt::LeftButton);
        QVERIFY(s.w().connectButton()->isEnabled());
    }

    void boardVanishingMidRunShowsTheErrorThenCloses() {
        Session s;
        QVERIFY(s.Start());
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(s.allShown(), kWaitMs);
        QStringList duringBox;
        s.messages.whileOpen = [&] {
            // The box's own event loop keeps the timers running.
            QEventLoop loop;
            QTimer::singleShot(1500, &loop, &QEventLoop::quit);
            loop.exec();
            duringBox << s.w().statusParts()->partText(2);
        };
        WriteSimulation("[device]\nproduct-id = 000A\nfault = absent\n");
        QTRY_VERIFY_WITH_TIMEOUT(!s.messages.shown.empty(), kWaitMs);
        QCOMPARE(s.messages.shown.size(), std::size_t{1});
        QCOMPARE(s.messages.shown[0].first, std::string("SHAZBOT! Function call to DLL failed!"));
        QCOMPARE(s.messages.shown[0].second, std::string("Write to board failed"));
        QCOMPARE(duringBox, QStringList{"Polling Paused !"});
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().isVisible(), kWaitMs);
        QVERIFY(!s.session->databaseOpen());
        QCOMPARE(s.messages.shown.size(), std::size_t{1});
    }

    // A board unplugged at night must not leave copies of its last reading
    // in the log, nor alarms raised on it, while the box waits for OK.
    void nothingIsLoggedOrAlarmedAfterTheBoardVanishes() {
        const QString log = QString::fromStdString(TestRoot()) + "/logs-vanish/battery.log";
        BoardRow row = DemoRow();
        ChannelSettings& ch1 = row.settings.channels[0];
        ch1.logEnabled = "YES";
        ch1.logInterval = "1 Secs";
        ch1.logPath = TestRoot() + "/logs-vanish/";
        ch1.logFileName = "battery.log";
        ChannelSettings& ch6 = row.settings.channels[5];  // reads 24: inside its high band
        ch6.highEnable = "ENABLED";
        ch6.highTriggerMax = "20";
        ch6.highTriggerMin = "10";
        ch6.highTestEvery = "1 Secs";
        ch6.highFile = "/opt/alarm/high-program";
        WriteSimulation(std::string(kSimulation) + "vanish-after = 45\n");
        Session s;
        QVERIFY(s.Start(row));
        const auto fileSize = [&] { return QFile(log).size(); };
        qint64 sizeAtFailure = -1;
        int actionsAtFailure = -1;
        s.messages.whileOpen = [&] {
            sizeAtFailure = fileSize();
            actionsAtFailure = s.actions.count;
            // Longer than a logging period and an alarm repeat.
            QEventLoop loop;
            QTimer::singleShot(3000, &loop, &QEventLoop::quit);
            loop.exec();
        };
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.messages.shown.empty(), kWaitMs);
        QCOMPARE(s.messages.shown[0].second, std::string("Write to board failed"));
        QVERIFY2(sizeAtFailure > 0, "the channel logged while the board was there");
        QVERIFY(actionsAtFailure > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().isVisible(), kWaitMs);
        QCOMPARE(fileSize(), sizeAtFailure);
        QCOMPARE(s.actions.count, actionsAtFailure);
    }

    void connectWithNoBoardShowsConnectedThenTheError() {
        WriteSimulation("[device]\nproduct-id = 000B\n");  // wrong board on the bus
        Session s;
        QVERIFY(s.Start());
        s.w().findChild<QLabel*>("firmware")->setText("old");
        s.w().OnConnect();
        QCOMPARE(s.w().statusParts()->partText(1), QStringLiteral("Connected"));
        QCOMPARE(s.w().findChild<QLabel*>("firmware")->text(), QStringLiteral("old"));
        QTRY_VERIFY_WITH_TIMEOUT(!s.messages.shown.empty(), kWaitMs);
        QCOMPARE(s.messages.shown[0].second, std::string("Write to board failed"));
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().isVisible(), kWaitMs);
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    PollingWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "polling_window_test.moc"
