// Start-up of the real client over the SQLite ODBC driver: the exits when
// the program is not installed or its database is missing, the messages
// of a database that cannot be opened or read (the window still opens),
// the first-run Add Device dialog, and the window as the user first sees it.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "client/core/startup_logic.h"
#include "kestrane_version.h"
#include "settings/install_record.h"
#include "sqlite_lock.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

using Messages = std::vector<std::pair<std::string, std::string>>;

struct Started {
    RecordingMessages messages;
    FakeUrlOpener urls;
    NoDialogs dialogs;
    std::vector<AddMode> addDialogs;
    std::unique_ptr<ClientSession> session;

    void Start() {
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        services.addDeviceRunner = [this](AddMode mode) {
            addDialogs.push_back(mode);
            return false;
        };
        session = ClientSession::Start(services);
    }
};

std::vector<BoardRow> TwoBoards() {
    BoardRow a{"000A", true, {}};
    BoardRow b{"000B", false, {}};
    for (int n = 0; n < kChannelCount; ++n) {
        a.settings.channels[static_cast<std::size_t>(n)] = MakeChannel("YES", "Cell", "1", "3");
        b.settings.channels[static_cast<std::size_t>(n)] = MakeChannel("YES", "Other", "1", "2");
    }
    return {a, b};
}

// Installs a copy holding TwoBoards() and records it as the installed
// program; returns its path, or "" after a warning.
std::string InstallTwoBoards() {
    std::string error;
    const std::string program = MakeInstallation(TwoBoards(), error);
    if (program.empty()) {
        qWarning("%s", error.c_str());
    } else {
        SetInstalledProgram(program);
    }
    return program;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        unsetenv("KESTRANE_ODBC");
        WriteSimulation("[device]\nproduct-id = 000A\n");
    }

    void exitsWithoutWindowWhenNotInstalledOrDatabaseMissing_data() {
        QTest::addColumn<int>("situation");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::newRow("no install record") << 0 << ""
                                           << "Pogram not installed! Please run installer again.";
        QTest::newRow("empty install record") << 1 << ""
                                              << "Pogram not installed! Please run installer again.";
        QTest::newRow("database file missing") << 2 << "Database Error"
                                               << "Shazbot !  Database not found!";
        QTest::newRow("program and database gone") << 3 << ""
                                                   << "Pogram not installed! Please run installer again.";
    }
    void exitsWithoutWindowWhenNotInstalledOrDatabaseMissing() {
        QFETCH(int, situation);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        if (situation == 0) RemoveInstallRecord();
        if (situation == 1) SetInstalledProgram("");
        if (situation == 2) {
            const std::string folder = TestRoot() + "/nodatabase";
            QDir().mkpath(QString::fromStdString(folder));
            std::ofstream(folder + "/Kestrane") << "program";
            SetInstalledProgram(folder + "/Kestrane");
        }
        if (situation == 3) SetInstalledProgram(TestRoot() + "/nowhere/Kestrane");
        Started s;
        s.Start();
        QVERIFY(!s.session);
        QCOMPARE(s.messages.shown, (Messages{{caption.toStdString(), text.toStdString()}}));
        QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                             [](QWidget* w) { return w->isVisible(); }));
    }

    void databaseThatCannotBeOpenedOrReadStillOpensTheWindow_data() {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<bool>("corruptFile");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("driver missing")
            << "DRIVER={No Such Kestrane Driver};Database=x" << false
            << QStringList{"Connection attempt failed", "Statement handle allocation failed"};
        QTest::newRow("broken connection string")
            << "this is no connection string" << false
            << QStringList{"Connection attempt failed", "Statement handle allocation failed"};
        QTest::newRow("file is no database")
            << "" << true << QStringList{"Execution of SQL statement failed"};
    }
    void databaseThatCannotBeOpenedOrReadStillOpensTheWindow() {
        QFETCH(QString, connection);
        QFETCH(bool, corruptFile);
        QFETCH(QStringList, expected);
        std::string error;
        const std::string program = MakeInstallation({}, error);
        QVERIFY2(!program.empty(), error.c_str());
        if (corruptFile) {
            std::ofstream(DatabasePathFor(program), std::ios::binary | std::ios::trunc)
                << std::string(4096, 'x');
        }
        if (!connection.isEmpty()) setenv("KESTRANE_ODBC", connection.toUtf8().constData(), 1);
        SetInstalledProgram(program);
        Started s;
        s.Start();
        QVERIFY(s.session);
        QStringList texts;
        for (auto& [cap, text] : s.messages.shown) {
            QCOMPARE(QString::fromStdString(cap), QStringLiteral("Morvane Kestrane Client"));
            texts << QString::fromStdString(text);
        }
        QCOMPARE(texts, expected);
        QVERIFY(s.addDialogs.empty());  // no first-run dialog when the table could not be read
        MainWindow& w = s.session->window();
        QCOMPARE(w.deviceSelector()->count(), 0);
        QCOMPARE(w.statusParts()->partText(1), QStringLiteral("Not Connected"));
    }

    // A database browser left open with a write transaction on the
    // settings file: start-up says it cannot read the device list within
    // about a second of waiting, instead of showing nothing for minutes.
    void databaseLockedByAnotherProgramStartsInTimeAndSaysSo() {
        const std::string program = InstallTwoBoards();
        QVERIFY(!program.empty());
        kestrane::test::SqliteLock lock;
        QVERIFY(lock.Acquire(KESTRANE_SQLITE_LOCK_HOLDER, DatabasePathFor(program), "exclusive"));
        Started s;
        QElapsedTimer started;
        started.start();
        s.Start();
        const qint64 startMs = started.elapsed();
        lock.Release();
        QVERIFY(s.session);
        QVERIFY2(startMs < 6000, qPrintable(QStringLiteral("start-up took %1 ms").arg(startMs)));
        QCOMPARE(s.messages.shown,
                 (Messages{{"Morvane Kestrane Client", "Execution of SQL statement failed"}}));
        QVERIFY(s.addDialogs.empty());
        MainWindow& w = s.session->window();
        QCOMPARE(w.deviceSelector()->count(), 0);
        QCOMPARE(w.statusParts()->partText(1), QStringLiteral("Not Connected"));
        QVERIFY(s.session->databaseOpen());
    }

    void emptyTableOpensAddDeviceInFirstRunMode() {
        std::string error;
        const std::string program = MakeInstallation({}, error);
        QVERIFY2(!program.empty(), error.c_str());
        SetInstalledProgram(program);
        Started s;
        s.Start();
        QVERIFY(s.session);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(s.addDialogs, std::vector<AddMode>{AddMode::FirstRun});
        MainWindow& w = s.session->window();
        QVERIFY(!w.connectButton()->isEnabled());
        QCOMPARE(w.deviceSelector()->currentText(), QString());
    }

    void programDirectoryIsTheRunningProgramsFolder() {
        const std::string program = InstallTwoBoards();
        QVERIFY(!program.empty());
        Started s;
        s.Start();
        QVERIFY(s.session);
        // This test program runs from the build tree, the install record
        // names a copy in a temporary folder: the database comes from the
        // record, the dialogs' folder from the running file.
        const std::string running = QCoreApplication::applicationDirPath().toStdString() + "/";
        QCOMPARE(s.session->programDirectory(), running);
        QCOMPARE(RunningProgramDirectory(), running);
        QVERIFY(s.session->programDirectory() != ProgramDirectory(program));
        QCOMPARE(s.session->databasePath(), DatabasePathFor(program));
    }

    void windowAsFirstShown() {
        const std::string program = InstallTwoBoards();
        QVERIFY(!program.empty());
        Started s;
        s.Start();
        QVERIFY(s.session);
        QVERIFY(s.messages.shown.empty());
        QVERIFY(s.session->databaseOpen());
        MainWindow& w = s.session->window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QCOMPARE(w.windowTitle(), QStringLiteral("Morvane Kestrane"));
        QCOMPARE(w.deviceSelector()->count(), 2);
        QCOMPARE(w.deviceSelector()->itemText(1), QStringLiteral("000B - USB  KESTRANEUNIT"));
        QCOMPARE(w.deviceSelector()->currentText(), QStringLiteral("000A - USB  KESTRANEUNIT"));
        QVERIFY(w.connectButton()->isEnabled());
        QVERIFY(!w.findChild<QPushButton*>("disconnectButton")->isEnabled());
        for (int n = 1; n <= 6; ++n) {
            auto* edit = w.findChild<QPushButton*>(QStringLiteral("editButton%1").arg(n));
            QVERIFY(edit && !edit->isEnabled());
            QCOMPARE(edit->property("controlId").toInt(), kChannelIds[static_cast<std::size_t>(n - 1)].edit);
            auto* gauge = w.findChild<QProgressBar*>(QStringLiteral("gauge%1").arg(n));
            QCOMPARE(gauge->maximum(), 100);
            QCOMPARE(gauge->value(), 0);
            QCOMPARE(gauge->property("barColour").value<QColor>(), QColor(0, 255, 0));
            QCOMPARE(w.findChild<QLabel*>(QStringLiteral("rowLabel%1").arg(n))->text(),
                     QStringLiteral("VoltMeter %1 (\u00b1 0-100)").arg(n));
        }
        const QStringList status = {w.statusParts()->partText(0), w.statusParts()->partText(1),
                                    w.statusParts()->partText(2)};
        QCOMPARE(status, (QStringList{"STATUS:", "Not Connected", "MSG:   Click on connect"}));
        QVERIFY(w.statusParts()->partText(3).startsWith("   "));
        // Part edges at 50, 140 and 360 pixels; the last runs to the edge.
        QCOMPARE(w.statusParts()->part(0)->geometry().right() + 1, 50);
        QCOMPARE(w.statusParts()->part(1)->geometry().right() + 1, 140);
        QCOMPARE(w.statusParts()->part(2)->geometry().right() + 1, 360);
        QCOMPARE(w.statusParts()->part(3)->geometry().right() + 1, w.statusParts()->width());
        QCOMPARE(w.findChild<QLabel*>("buildNumber")->text(), QString::fromLatin1(KESTRANE_VERSION_TEXT));
        QVERIFY(!w.findChild<QLabel*>("buildNumberLabel")->isEnabled());
        QVERIFY(!w.findChild<QWidget*>("currentRequest")->isVisible());
        QVERIFY(!w.findChild<QMenu*>("loggingMenu")->menuAction()->isEnabled());
        QVERIFY(!w.findChild<QMenu*>("graphsMenu")->menuAction()->isEnabled());
        QVERIFY(w.findChild<QMenu*>("helpMenu")->menuAction()->isEnabled());
        QVERIFY(w.timerActive(kTimerCredits));
        for (int id : kIdHeaders) {
            QLabel* header = nullptr;
            for (QLabel* l : w.findChildren<QLabel*>())
                if (l->property("controlId").toInt() == id) header = l;
            QVERIFY(header);
            QVERIFY(header->text().endsWith(' '));
            QCOMPARE(header->palette().color(QPalette::Window), QColor(214, 223, 247));
        }
        w.close();
        QVERIFY(!s.session->databaseOpen());
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
