// The main window's own behaviour: credits ticker, the clickable logo,
// menu and button dispatch to the dialogs, Exit, keys that must not act,
// the alarm and logging timers reaching the trigger engine and the log
// writer through the real session, the channel cells' ids and places, and
// texts that must neither be clipped unseen nor resize the window.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <iterator>

#include "acquisition/trigger_engine.h"
#include "client/core/startup_logic.h"
#include "music/player/wav_writer.h"
#include "ui/client_session.h"
#include "ui/fitted_label.h"
#include "ui/logo_image.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

constexpr int kWaitMs = 20000;

struct RecordingDialogs final : WindowDialogs {
    QStringList opened;
    void OpenOptions(int channel) override { opened << QStringLiteral("options %1").arg(channel); }
    void OpenLogging(int channel) override { opened << QStringLiteral("logging %1").arg(channel); }
    void OpenGraph(int channel) override { opened << QStringLiteral("graph %1").arg(channel); }
    void OpenAbout() override { opened << QStringLiteral("about"); }
};

struct RecordingActions final : AlarmActions {
    QStringList done;
    void StartProgram(const std::string& path) override { done << "program " + QString::fromStdString(path); }
    void PlaySound(const std::string& path) override { done << "sound " + QString::fromStdString(path); }
};

struct Session {
    RecordingMessages messages;
    FakeUrlOpener urls;
    RecordingDialogs dialogs;
    RecordingActions actions;
    std::unique_ptr<ClientSession> session;
    // desktopActions: programs really start and sounds really play.
    bool desktopActions = false;

    explicit Session(bool desktop = false) : desktopActions(desktop) {}

    bool Start(const BoardSettings& settings) {
        std::string error;
        const std::string program = MakeInstallation({{"000A", true, settings}}, error);
        if (program.empty()) {
            qWarning("%s", error.c_str());
            return false;
        }
        SetInstalledProgram(program);
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        services.alarms = desktopActions ? nullptr : &actions;
        services.addDeviceRunner = [](AddMode) { return false; };
        session = ClientSession::Start(services);
        if (!session) return false;
        session->window().show();
        return QTest::qWaitForWindowExposed(&session->window());
    }
    MainWindow& w() { return session->window(); }
};

BoardSettings Plain() {
    BoardSettings s;
    for (auto& ch : s.channels) ch = MakeChannel("YES", "Ch", "1", "3");
    return s;
}

// Channel 6 with a high band from 11.8 up to 12.2 V; the caller names what it runs.
ChannelSettings& WithChannel6Band(BoardSettings& settings) {
    ChannelSettings& ch6 = settings.channels[5];
    ch6.highEnable = "ENABLED";
    ch6.highTriggerMax = "12.2";
    ch6.highTriggerMin = "11.8";
    return ch6;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation("[device]\nproduct-id = 000A\nchannel1 = 12.5\nchannel6 = 13\n"); }

    void creditsTickerShowsLinesOneToFiveInTurn() {
        Session s;
        QVERIFY(s.Start(Plain()));
        const auto lines = CreditLines(QDate::currentDate().year());
        QCOMPARE(s.w().statusParts()->partText(3), QString::fromStdString(lines[0]));
        for (int tick = 0; tick < 11; ++tick) {
            s.w().CreditsTick();
            QCOMPARE(s.w().statusParts()->partText(3),
                     QString::fromStdString(lines[static_cast<std::size_t>(tick % 5 + 1)]));
        }
    }

    void logoOpensTheMakersPageOrSaysNoBrowser() {
        Session s;
        QVERIFY(s.Start(Plain()));
        auto* logo = s.w().findChild<QLabel*>("logo");
        QCOMPARE(logo->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(logo->property("controlId").toInt(), kIdLogo);
        s.urls.result = false;
        QTest::mouseClick(logo, Qt::LeftButton);
        QCOMPARE(s.messages.shown.size(), std::size_t{1});
        QCOMPARE(s.messages.shown[0].first, std::string());
        QCOMPARE(s.messages.shown[0].second, std::string("Default Browser Not Found!"));
        s.urls.result = true;
        QTest::mouseClick(logo, Qt::LeftButton);
        QCOMPARE(s.messages.shown.size(), std::size_t{1});
        QCOMPARE(s.urls.opened, (std::vector<std::string>{kMakerWebAddress, kMakerWebAddress}));
        QCOMPARE(s.w().statusParts()->partText(1), QStringLiteral("Not Connected"));  // nothing else changed
    }

    void menusAndEditButtonsOpenTheirDialogsForTheirChannel() {
        Session s;
        QVERIFY(s.Start(Plain()));
        s.w().findChild<QAction*>("aboutAction")->trigger();
        s.w().OnConnect();
        for (int n = 1; n <= 6; ++n) {
            QTest::mouseClick(s.w().findChild<QPushButton*>(QStringLiteral("editButton%1").arg(n)),
                              Qt::LeftButton);
            auto* log = s.w().findChild<QAction*>(QStringLiteral("loggingAction%1").arg(n));
            auto* graph = s.w().findChild<QAction*>(QStringLiteral("graphsAction%1").arg(n));
            QCOMPARE(log->data().toInt(), kMenuLoggingFirst + n - 1);
            QCOMPARE(graph->data().toInt(), kMenuGraphsFirst + n - 1);
            log->trigger();
            graph->trigger();
        }
        QStringList expected{"about"};
        for (int n = 1; n <= 6; ++n)
            expected << QStringLiteral("options %1").arg(n) << QStringLiteral("logging %1").arg(n)
                     << QStringLiteral("graph %1").arg(n);
        QCOMPARE(s.dialogs.opened, expected);
    }

    void escapeAndEnterDoNothingExitCloses() {
        Session s;
        QVERIFY(s.Start(Plain()));
        QWidget* focus = s.w().connectButton();
        focus->setFocus();
        QTest::keyClick(&s.w(), Qt::Key_Escape);
        QTest::keyClick(&s.w(), Qt::Key_Return);
        QVERIFY(s.w().isVisible());
        QCOMPARE(s.w().statusParts()->partText(1),
                 QStringLiteral("Not Connected"));  // Enter pressed no button
        s.w().OnConnect();
        QVERIFY(s.session->databaseOpen());
        s.w().findChild<QAction*>("exitAction")->trigger();
        QVERIFY(!s.w().isVisible());
        QVERIFY(!s.w().timerActive(kTimerPolling));
        QVERIFY(!s.session->databaseOpen());
    }

    void alarmsAndLogRecordsRunFromTheirTimers() {
        const QString logs = QString::fromStdString(TestRoot()) + "/logs-alarm/";
        BoardSettings settings = Plain();
        ChannelSettings& ch6 = WithChannel6Band(settings);
        ch6.highFile = "/opt/alarm/high-program";
        ch6.highSound = "/opt/alarm/high.wav";
        ChannelSettings& ch1 = settings.channels[0];
        ch1.logEnabled = "YES";
        ch1.logInterval = "1 Secs";
        ch1.logPath = logs.toStdString();
        ch1.logFileName = "battery.log";
        Session s;
        QVERIFY(s.Start(settings));
        s.w().OnConnect();
        QVERIFY(s.w().timerActive(kTimerLogFirst));
        QVERIFY(!s.w().timerActive(kTimerLogFirst + 1));
        QTRY_COMPARE_WITH_TIMEOUT(
            s.actions.done, (QStringList{"program /opt/alarm/high-program", "sound /opt/alarm/high.wav"}),
            kWaitMs);
        QFile log(logs + "battery.log");
        QTRY_VERIFY_WITH_TIMEOUT(log.exists() && log.size() > 0, kWaitMs);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray first = log.readLine();
        QVERIFY2(first.endsWith(";+ 12.500\r\n"), first.constData());
        QCOMPARE(first.indexOf(';'), 11);
        s.w().OnDisconnect();
        QVERIFY(!s.w().timerActive(kTimerLogFirst));
        QCOMPARE(s.actions.done.size(), 2);  // One Shot: fired once
    }

    // Through the desktop's own actions: a band crossed by the simulated
    // signal starts real scripts on entry, on repeat and on return, in that
    // order, and the sound path takes a real WAV (skipped without a device).
    void realScriptsRunOnEntryRepeatAndReturn() {
        const QString folder = QString::fromStdString(TestRoot()) + "/alarm's scripts/";
        QVERIFY(QDir().mkpath(folder));
        const QString events = folder + "events.txt";
        QFile::remove(events);
        const auto script = [&](const QString& name, const char* word) {
            QFile f(folder + name);
            if (!f.open(QIODevice::WriteOnly)) return QString();
            f.write(QByteArray("#!/bin/sh\ncd \"$(dirname \"$0\")\" && echo ") + word + " >> events.txt\n");
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            return f.fileName();
        };
        const QString high = script("on high.sh", "high"), normal = script("back to normal.sh", "normal");
        QVERIFY(!high.isEmpty() && !normal.isEmpty());
        const QString wav = folder + "chime.wav";
        {
            kestrane::music::player::WavWriter writer;
            const std::vector<int16_t> silence(9600, 0);
            QVERIFY(writer.Open(wav.toStdString()) && writer.Write(silence) && writer.Close());
        }

        BoardSettings settings = Plain();
        ChannelSettings& ch6 = WithChannel6Band(settings);
        ch6.highTestEvery = "1 Secs";
        ch6.highFile = high.toStdString();
        ch6.highSound = wav.toStdString();
        ch6.highNormFile = normal.toStdString();
        ch6.highNormSound = wav.toStdString();
        WriteSimulation("[device]\nproduct-id = 000A\nchannel6 = 11.5\n");
        Session s(true);
        QVERIFY(s.Start(settings));
        s.w().OnConnect();
        QTest::qWait(300);
        QVERIFY(!QFile::exists(events));  // below the band: nothing fires

        const auto lines = [&] {
            QFile f(events);
            return f.open(QIODevice::ReadOnly)
                       ? QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        WriteSimulation("[device]\nproduct-id = 000A\nchannel6 = 12.5\n");
        QTRY_COMPARE_WITH_TIMEOUT(lines(), QStringList{"high"}, kWaitMs);
        // Repeats come once more than a whole second has passed.
        QTRY_COMPARE_WITH_TIMEOUT(lines(), (QStringList{"high", "high"}), kWaitMs);
        WriteSimulation("[device]\nproduct-id = 000A\nchannel6 = 11.5\n");
        QTRY_COMPARE_WITH_TIMEOUT(lines().mid(lines().size() - 1), QStringList{"normal"}, kWaitMs);
        const QStringList seen = lines();
        QVERIFY2(seen.size() >= 3 && seen.count("normal") == 1, qPrintable(seen.join(',')));
        QTest::qWait(1500);
        QCOMPARE(lines(), seen);  // back to normal: quiet from now on
        s.w().OnDisconnect();
    }

    // Each channel's cells carry their own ids and line up: one row per
    // channel, top to bottom in channel order, the columns left to right
    // under their headers.
    void channelCellsLineUpUnderTheirHeaders() {
        BoardSettings settings = Plain();
        for (int n = 1; n <= 6; ++n)
            settings.channels[static_cast<std::size_t>(n - 1)].vmName = "Ch" + std::to_string(n);
        Session s;
        QVERIFY(s.Start(settings));
        // Row label, Mode, Value, Gauge, Name, Adjust, Precision, Edit; the ids
        // of channels 4 to 6 are not in row order.
        const int ids[6][8] = {
            {1003, 1025, 1002, 1027, 1033, 1039, 1045, 1051},
            {1005, 1028, 1004, 1020, 1034, 1040, 1046, 1052},
            {1007, 1029, 1006, 1021, 1035, 1041, 1047, 1053},
            {1013, 1030, 1012, 1022, 1036, 1042, 1048, 1054},
            {1011, 1031, 1010, 1023, 1037, 1043, 1049, 1055},
            {1009, 1032, 1008, 1024, 1038, 1044, 1050, 1056},
        };
        const char* headers[8] = {"VoltMeter #", "Mode",   "Value",     "Gauge",
                                  "Name",        "Adjust", "Precision", "Options"};
        QMap<int, QWidget*> byId;
        for (QWidget* w : s.w().findChildren<QWidget*>()) {
            const QVariant id = w->property("controlId");
            if (!id.isValid()) continue;
            QVERIFY2(!byId.contains(id.toInt()), qPrintable(QString::number(id.toInt())));
            byId.insert(id.toInt(), w);
        }
        const auto centre = [&](QWidget* w) { return w->mapTo(&s.w(), w->rect().center()); };
        for (int c = 0; c < 8; ++c) {
            auto* header = qobject_cast<QLabel*>(byId.value(1057 + c));
            QVERIFY(header);
            QCOMPARE(header->text().trimmed(), QString::fromLatin1(headers[c]));
            int previousY = centre(header).y();
            for (int n = 0; n < 6; ++n) {
                QWidget* cell = byId.value(ids[n][c]);
                QVERIFY2(cell && cell->isVisible(), qPrintable(QString::number(ids[n][c])));
                QVERIFY(centre(cell).y() > previousY);
                previousY = centre(cell).y();
                // Under its header, and in the same row as the channel's row label.
                QVERIFY(cell->mapTo(&s.w(), QPoint(0, 0)).x() <
                        header->mapTo(&s.w(), QPoint(header->width(), 0)).x());
                QVERIFY(qAbs(centre(cell).y() - centre(byId.value(ids[n][0])).y()) <= 2);
                if (c > 0) QVERIFY(centre(cell).x() > centre(byId.value(ids[n][c - 1])).x());
            }
        }
        s.w().OnConnect();
        for (int n = 0; n < 6; ++n)
            QCOMPARE(qobject_cast<QLabel*>(byId.value(ids[n][4]))->text(), QStringLiteral("Ch%1").arg(n + 1));
        QTest::mouseClick(qobject_cast<QPushButton*>(byId.value(1054)), Qt::LeftButton);
        QCOMPARE(s.dialogs.opened, QStringList{"options 4"});
        s.w().OnDisconnect();
    }

    // A name the Options dialog is for (its caption says 20 characters) is
    // shown whole in the window's font, whatever its characters; a longer
    // stored one is cut with "…" and kept whole in the tooltip.
    void namesOfTwentyCharactersShowWhole() {
        const QString twenty[] = {QString(20, 'W'), QStringLiteral("Shunt 50A/75mV main"), QString(20, '@'),
                                  QString(20, 'M'), QString(20, '%')};
        BoardSettings settings = Plain();
        for (std::size_t i = 0; i < 5; ++i) settings.channels[i].vmName = twenty[i].toStdString();
        const QString longName = QString(31, 'W');  // the longest stored name, in the widest letter
        settings.channels[5].vmName = longName.toStdString();
        settings.channels[5].notes = "checked weekly";
        Session s;
        QVERIFY(s.Start(settings));
        s.w().OnConnect();
        for (int n = 1; n <= 5; ++n) {
            auto* name = s.w().findChild<FittedLabel*>(QStringLiteral("nameLabel%1").arg(n));
            QVERIFY(name);
            QCOMPARE(name->text(), twenty[n - 1]);
            QCOMPARE(name->shownText(), twenty[n - 1]);
        }
        auto* cut = s.w().findChild<FittedLabel*>("nameLabel6");
        QCOMPARE(cut->text(), longName);
        QVERIFY(cut->isElided());
        QVERIFY(cut->shownText().endsWith(QChar(0x2026)));
        QVERIFY(cut->toolTip().contains(longName.toHtmlEscaped()));
        QVERIFY(cut->toolTip().contains("checked weekly"));
        s.w().OnDisconnect();
    }

    // The window has no sizing border: the longest adjustment, precision,
    // mode and firmware texts it can be given on Connect leave its size and
    // place alone, are shown cut, and are whole in their tooltips.
    void connectWithTheLongestTextsKeepsTheWindowSize() {
        // The longest the board's answer carries.
        const QString firmware = QStringLiteral("KESTRANE FW ") + QString(50, 'W');
        WriteSimulation("[device]\nproduct-id = 000A\nfirmware = " + firmware.toStdString() +
                        "\nchannel1 = 12.5\n");
        BoardSettings settings = Plain();
        ChannelSettings& ch1 = settings.channels[0];
        ch1.adj = "-123456789012345678901234.567890";
        ch1.adj.resize(31);
        ch1.precision = std::string(31, '6');
        ch1.mode = std::string(31, 'W');
        ch1.vmName = std::string(31, 'W');
        Session s;
        QVERIFY(s.Start(settings));
        const QRect before = s.w().geometry();
        s.w().OnConnect();
        QCoreApplication::processEvents();
        QCOMPARE(s.w().findChild<QLabel*>("firmware")->text(), firmware);
        QCOMPARE(s.w().geometry(), before);
        QCOMPARE(s.w().sizeHint().width(), before.width());
        // The firmware text has the rest of its row: the longest one fits.
        QCOMPARE(s.w().findChild<FittedLabel*>("firmware")->shownText(), firmware);
        for (const char* label : {"adjustLabel1", "precisionLabel1", "modeLabel1", "nameLabel1"}) {
            auto* fitted = s.w().findChild<FittedLabel*>(label);
            QVERIFY2(fitted && fitted->isElided(), label);
            QVERIFY2(fitted->toolTip().contains(fitted->text()), label);
        }
        // The texts of a plain channel fit and carry no tooltip of their own.
        for (const char* label : {"adjustLabel2", "precisionLabel2", "modeLabel2"}) {
            auto* fitted = s.w().findChild<FittedLabel*>(label);
            QVERIFY2(!fitted->isElided() && fitted->toolTip().isEmpty(), label);
        }
        // Small screens: 1366 x 768, and 1920 x 1080 at 150 % (1280 x 720),
        // with room for a title bar and frame.
        const QSize frame = s.w().size() + QSize(16, 40);
        QVERIFY2(frame.width() <= 1280 && frame.height() <= 720,
                 qPrintable(QStringLiteral("%1 x %2").arg(frame.width()).arg(frame.height())));
        s.w().OnDisconnect();
    }

    // Every window has an icon of its own, so a dialog is told from the
    // program in the task bar.
    void windowIconsAreDrawnAndDistinct() {
        using kestrane::ui::WindowIcon;
        const WindowIcon all[] = {WindowIcon::Program,       WindowIcon::AddDevice, WindowIcon::Options,
                                  WindowIcon::AutoCalculate, WindowIcon::Filter,    WindowIcon::Logging,
                                  WindowIcon::Graph};
        QList<QImage> images;
        for (WindowIcon which : all) {
            const QImage image = kestrane::ui::MakeWindowIcon(which).pixmap(32, 32).toImage();
            QVERIFY(!image.isNull());
            for (const QImage& earlier : images) QVERIFY(image != earlier);
            images << image;
        }
        // Every listed size is drawn at that size, not scaled from another;
        // a size between them is scaled down from the next larger one.
        const QIcon program = kestrane::ui::MakeWindowIcon();
        QCOMPARE(program.availableSizes().size(),
                 static_cast<qsizetype>(std::size(kestrane::ui::kIconSides)));
        for (const int side : kestrane::ui::kIconSides) {
            QCOMPARE(program.availableSizes().count(QSize(side, side)), 1);
            const QImage drawn =
                program.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY2(drawn == kestrane::ui::MakeProgramIconImage(side), qPrintable(QString::number(side)));
        }
        QCOMPARE(program.pixmap(20, 20).size(), QSize(20, 20));
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
