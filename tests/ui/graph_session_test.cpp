// Graphs › Voltmeter n in the real client: the session's own dialogs open
// the Graph dialog over the main window, captioned with the channel's name,
// and its chart shows that channel's log file (the stored folder, or the
// program's folder and the board's PID when the folder is empty), pixel for
// pixel as plotwick-render draws the same file.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>

#include "plotwick.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

constexpr int kWaitMs = 20000;

// `count` readings a minute apart with values of their own per file.
bool WriteLog(const std::string& path, int count, const char* sign, int base) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    for (int m = 0; m < count; ++m) {
        std::fprintf(f, "07 Dec 2026;%02d:%02d:00 AM;%s %d.%03d\r\n", 8 + m / 60, m % 60, sign, base + m % 5,
                     (m * 137) % 1000);
    }
    return std::fclose(f) == 0;
}

// The chart plotwick-render draws for a log at the Graph dialog's size; its
// title is the file's name, so the files are named as their channels.
QImage Rendered(const std::string& log) {
    const QString out = QString::fromStdString(log) + ".png";
    QProcess render;
    render.start(QStringLiteral(PLOTWICK_RENDER_PATH),
                 {QString::fromStdString(log), out, "--size", "600x240"});
    if (!render.waitForFinished(60000) || render.exitCode() != 0) return {};
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

// What the test sees of the Graph dialog while it is open.
struct SeenDialog {
    bool opened = false;
    QString title;
    QRect chartGeometry;
    QImage chart;
};

}  // namespace

class GraphSessionTest : public QObject {
    Q_OBJECT

    std::string logs_;
    std::string program_;
    std::unique_ptr<ClientSession> session_;
    RecordingMessages messages_;
    FakeUrlOpener urls_;

    // Chooses Graphs › Voltmeter n, looks at the dialog once it shows, then
    // closes it with Escape as a user would.
    SeenDialog OpenGraph(int n) {
        SeenDialog seen;
        MainWindow& w = session_->window();
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible() || dialog->parentWidget() != &w) return;
            poll.stop();
            seen.opened = true;
            seen.title = dialog->windowTitle();
            if (auto* chart = dialog->findChild<QWidget*>(QStringLiteral("MerrowPlotwickClass"))) {
                seen.chartGeometry = chart->geometry();
                seen.chart = chart->grab().toImage().convertToFormat(QImage::Format_RGB32);
            }
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        poll.start();
        w.findChild<QAction*>(QStringLiteral("graphsAction%1").arg(n))->trigger();
        poll.stop();
        return seen;
    }

private slots:
    void initTestCase() {
        WriteSimulation("[device]\nproduct-id = 000A\nchannel1 = 12.5\nchannel2 = -3.25\n");
        pwInitialize();  // as the client's start-up does, before the session
        logs_ = TestRoot() + "/logs/";
        QVERIFY(QDir().mkpath(QString::fromStdString(logs_)));

        BoardRow row{"000A", true, {}};
        auto& ch = row.settings.channels;
        for (int n = 0; n < kChannelCount; ++n)
            ch[static_cast<size_t>(n)] = MakeChannel("YES", "Other", "1", "3");
        ch[0] = MakeChannel("YES", "Battery", "1", "3");
        ch[0].logFileName = "Battery";  // empty folder: beside the program, under the PID
        ch[1] = MakeChannel("YES", "Reverse", "1", "2");
        ch[1].logPath = logs_;
        ch[1].logFileName = "Reverse";
        ch[2] = MakeChannel("YES", "Spare", "1", "1");
        ch[2].logPath = logs_;
        ch[2].logFileName = "Spare";
        std::string error;
        program_ = MakeInstallation({row}, error);
        QVERIFY2(!program_.empty(), error.c_str());
        SetInstalledProgram(program_);
        const std::string defaultFolder = program_.substr(0, program_.rfind('/') + 1) + "000A/";
        QVERIFY(QDir().mkpath(QString::fromStdString(defaultFolder)));
        QVERIFY(WriteLog(defaultFolder + "Battery", 90, "+", 12));
        QVERIFY(WriteLog(logs_ + "Reverse", 50, "-", 3));
        QVERIFY(WriteLog(logs_ + "Spare", 70, "+", 40));

        SessionServices services;
        services.messages = &messages_;
        services.urls = &urls_;
        services.addDeviceRunner = [](AddMode) { return false; };
        // As if the installed copy were the running program.
        services.programDirectory = program_.substr(0, program_.rfind('/') + 1);
        session_ = ClientSession::Start(services);  // the real dialogs
        QVERIFY(session_);
        session_->window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&session_->window()));
        session_->window().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(
            session_->window().findChild<QMenu*>("graphsMenu")->menuAction()->isEnabled(), kWaitMs);
    }
    void cleanupTestCase() {
        session_.reset();
        pwDeinitialize();
    }

    void graphShowsTheChannelsLog_data() {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("log");
        QTest::newRow("empty folder: program folder and PID") << 1 << "Battery" << QString();
        QTest::newRow("stored folder") << 2 << "Reverse" << QString::fromStdString(logs_ + "Reverse");
        QTest::newRow("another channel") << 3 << "Spare" << QString::fromStdString(logs_ + "Spare");
    }
    void graphShowsTheChannelsLog() {
        QFETCH(int, channel);
        QFETCH(QString, name);
        QFETCH(QString, log);
        const std::string path =
            log.isEmpty() ? program_.substr(0, program_.rfind('/') + 1) + "000A/Battery" : log.toStdString();
        const QImage expected = Rendered(path);
        QVERIFY(!expected.isNull());

        const SeenDialog seen = OpenGraph(channel);
        QVERIFY2(seen.opened, "Graphs > Voltmeter n opens a modal dialog over the main window");
        QCOMPARE(seen.title, name);
        QCOMPARE(seen.chartGeometry, QRect(10, 10, 600, 240));
        QCOMPARE(seen.chart, expected);
        // Closed and destroyed, chart and all.
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(session_->window().findChild<QWidget*>(QStringLiteral("MerrowPlotwickClass")) == nullptr);
        QVERIFY(messages_.shown.empty());
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    GraphSessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "graph_session_test.moc"
