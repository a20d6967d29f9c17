// A connection stays on the board chosen at Connect. Through the real
// window, while connected to the board that is not the default: ADD Device
// refilling the selector, Delete Device on the connected board, a wheel
// step over the selector and typing into it each end disconnected, and no
// reading of the other board reaches the connected board's fields or log
// file.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include "settings/settings_database.h"
#include "settings/statements.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

constexpr int kWaitMs = 20000;

// Board 000A is the default and reads 12.5 V; 000B reads 3.25 V.
const char* const kTwoBoards =
    "[device]\nproduct-id = 000A\nchannel1 = 12.5\n"
    "[device]\nproduct-id = 000B\nchannel1 = 3.25\n";
const char* const kBoardBReading = "+ 3.250";

enum class Path { AddDevice, DeleteDevice, Wheel, Typing };

struct Session {
    RecordingMessages messages;
    FakeUrlOpener urls;
    NoDialogs dialogs;
    std::unique_ptr<ClientSession> session;
    QString logFile;

    bool Start() {
        const std::string logs = TestRoot() + "/logs-" + std::to_string(++starts) + "/";
        logFile = QString::fromStdString(logs) + "b1.log";
        BoardRow a{"000A", true, {}};
        BoardRow b{"000B", false, {}};
        for (BoardRow* row : {&a, &b}) {
            row->settings.channels[0] = MakeChannel("YES", row == &a ? "A1" : "B1", "1", "3");
            for (int n = 2; n <= 6; ++n) row->settings.channels[n - 1] = MakeChannel("NO", "off", "1", "3");
        }
        ChannelSettings& logged = b.settings.channels[0];
        logged.logEnabled = "YES";
        logged.logInterval = "1 Secs";
        logged.logPath = logs;
        logged.logFileName = "b1.log";
        std::string error;
        const std::string program = MakeInstallation({a, b}, error);
        if (program.empty()) {
            qWarning("%s", error.c_str());
            return false;
        }
        SetInstalledProgram(program);
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        // The stand-in Add Device dialog registers board 000C as the real
        // one would, through its own statement on the database.
        services.addDeviceRunner = [this](AddMode) {
            SettingsDatabase db;
            NullMessageSink quiet;
            return db.Open(DefaultConnectionString(session->databasePath())).ok() &&
                   db.Execute(InsertStatement(kBoardVid, "000C")) == ExecStatus::Ok;
        };
        session = ClientSession::Start(services);
        if (!session) return false;
        session->window().show();
        return true;
    }
    MainWindow& w() { return session->window(); }
    QString value() { return w().findChild<QLineEdit*>("valueEdit1")->text(); }
    QList<QByteArray> records() {
        QFile file(logFile);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return file.readAll().split('\n');
    }
    static inline int starts = 0;
};

// A real wheel step over the selector first reaches its line edit, which
// ignores it, and goes on to the selector; a synthesized event does not
// travel on, so it is given to the selector itself.
void WheelStep(QWidget* target, int delta) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

}  // namespace

Q_DECLARE_METATYPE(Path)

class BoardSelectionTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation(kTwoBoards); }

    void changingTheBoardWhileConnectedDisconnects_data() {
        QTest::addColumn<Path>("path");
        QTest::addColumn<QString>("selectorAfter");
        QTest::newRow("ADD Device refills") << Path::AddDevice << "000A - USB  KESTRANEUNIT";
        QTest::newRow("Delete Device on the connected board")
            << Path::DeleteDevice << "000A - USB  KESTRANEUNIT";
        QTest::newRow("wheel step keeps the board") << Path::Wheel << "000B - USB  KESTRANEUNIT";
        QTest::newRow("typing into the selector") << Path::Typing << "000B - USB  KESTRANEUNIT7";
    }

    void changingTheBoardWhileConnectedDisconnects() {
        QFETCH(Path, path);
        QFETCH(QString, selectorAfter);
        Session s;
        QVERIFY(s.Start());
        DeviceSelector* selector = s.w().deviceSelector();
        QCOMPARE(selector->currentText(), QStringLiteral("000A - USB  KESTRANEUNIT"));
        selector->setCurrentIndex(1);
        s.w().OnConnect();
        QCOMPARE(s.w().core().currentPid(), std::string("000B"));
        // Two records of board B in its own log before the change.
        QTRY_VERIFY_WITH_TIMEOUT(s.records().size() >= 3, kWaitMs);
        QCOMPARE(s.value(), QString::fromLatin1(kBoardBReading));

        switch (path) {
            case Path::AddDevice:
                QTest::mouseClick(s.w().findChild<QPushButton*>("addDeviceButton"), Qt::LeftButton);
                QCOMPARE(selector->count(), 3);
                break;
            case Path::DeleteDevice:
                QTest::mouseClick(s.w().findChild<QPushButton*>("deleteDeviceButton"), Qt::LeftButton);
                QCOMPARE(selector->count(), 1);  // board B is gone, not board A
                break;
            case Path::Typing:
                selector->lineEdit()->end(false);
                QTest::keyClick(selector->lineEdit(), Qt::Key_7);
                break;
            case Path::Wheel:
                WheelStep(selector, 120);  // up: towards board A
                break;
        }

        QCOMPARE(selector->currentText(), selectorAfter);
        QCOMPARE(s.w().statusParts()->partText(1), QStringLiteral("Not Connected"));
        QCOMPARE(s.w().statusParts()->partText(2), QStringLiteral("MSG:   Click on connect"));
        QVERIFY(s.w().connectButton()->isEnabled());
        QVERIFY(!s.w().findChild<QPushButton*>("disconnectButton")->isEnabled());
        QVERIFY(!s.w().findChild<QPushButton*>("editButton1")->isEnabled());
        QVERIFY(!s.w().findChild<QMenu*>("loggingMenu")->menuAction()->isEnabled());
        for (int id : {kTimerPolling, kTimerTrigger, kTimerLogFirst}) QVERIFY(!s.w().timerActive(id));

        // Long enough for several polls and a logging tick had the
        // connection gone on with the other board.
        const int recordsAtChange = s.records().size();
        QTest::qWait(1500);
        QCOMPARE(s.value(), QString());
        const QList<QByteArray> records = s.records();
        QCOMPARE(records.size(), recordsAtChange);
        for (const QByteArray& record : records) {
            if (!record.isEmpty()) QVERIFY2(record.endsWith(";+ 3.250\r"), record.constData());
        }
        QVERIFY(s.messages.shown.empty());
    }

    void refillOnTheConnectedBoardAndWheelWhileDisconnected() {
        Session s;
        QVERIFY(s.Start());
        DeviceSelector* selector = s.w().deviceSelector();
        s.w().OnConnect();  // the default board, 000A
        // The refill ends on the connected board's entry: still connected.
        QTest::mouseClick(s.w().findChild<QPushButton*>("setDefaultButton"), Qt::LeftButton);
        QTest::mouseClick(s.w().findChild<QPushButton*>("addDeviceButton"), Qt::LeftButton);
        QCOMPARE(selector->count(), 3);
        QVERIFY(s.w().core().connected());
        QVERIFY(s.w().timerActive(kTimerPolling));

        // Disconnected, the wheel picks boards as usual.
        s.w().OnDisconnect();
        WheelStep(selector, -120);
        QCOMPARE(selector->currentText(), QStringLiteral("000B - USB  KESTRANEUNIT"));
        QVERIFY(!s.w().core().connected());
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    BoardSelectionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "board_selection_test.moc"
