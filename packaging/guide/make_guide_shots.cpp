// kestrane-guide-shots: drives the real client over the simulated demo
// boards and saves the user's guide pictures: the first-run Add Device
// dialog, the connected main window, a channel's Options and Logging
// dialogs, a channel's chart, the live view and the main window while it
// reconnects to a board that stopped answering. The install record
// (XDG_CONFIG_HOME) and the simulation (KESTRANE_SIMULATION, a scratch copy
// this program changes and restores) come from scripts/make-guide-shots.sh.
//   kestrane-guide-shots OUTDIR EMPTY_PROGRAM DEMO_PROGRAM LOGFILE
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "acquisition/logging.h"
#include "live/qt/live_window.h"
#include "plotwick.h"
#include "settings/install_record.h"
#include "settings/user_options.h"
#include "ui/client_session.h"
#include "ui/dark_palette.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"

namespace {

using kestrane::ui::ClientSession;
using kestrane::ui::MainWindow;

QString outDir;
int failures = 0;

void Save(QWidget* widget, const char* name) {
    const QString path = outDir + QLatin1Char('/') + QLatin1String(name);
    if (widget != nullptr && widget->grab().save(path, "PNG")) {
        std::printf("%s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "kestrane-guide-shots: cannot save %s\n", qPrintable(path));
        ++failures;
    }
}

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs `open`, which shows a modal dialog and returns when it closes; the
// dialog is saved and closed `settleMs` after it appears.
void ShootModal(const std::function<void()>& open, const char* name, int settleMs = 700) {
    QTimer::singleShot(settleMs, [name] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && w->isWindow() && w->objectName() != QLatin1String("mainWindow"))
                    dialog = w;
            }
        }
        Save(dialog, name);
        if (dialog != nullptr) dialog->close();
    });
    open();
}

QWidget* ControlById(QWidget& window, int id) {
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->property("controlId").toInt() == id) return w;
    }
    return nullptr;
}

// An hour of records ending now, so the chart has a history to show.
void WriteLogHistory(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::time_t now = std::time(nullptr);
    for (int age = 3600; age > 0; age -= 10) {
        const std::time_t when = now - age;
        std::tm local{};
        localtime_r(&when, &local);
        const double volts = 12.6 + 0.35 * std::sin(age / 600.0) - 0.0001 * age;
        char shown[32];
        std::snprintf(shown, sizeof shown, "%c %.3f", volts < 0 ? '-' : '+', std::fabs(volts));
        out << kestrane::BuildLogRecord(local, shown);
    }
}

// Rewrites the simulated bus file atomically, so the bus sees the change.
bool WriteSimulation(const QString& path, const QByteArray& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

// Every board of the simulated bus stops answering, with Reconnect
// Automatically on: the window shows since when it looks for the board.
// The boards answer again afterwards.
void ShootReconnecting(MainWindow& window, kestrane::UserOptions& options) {
    const QString path = qEnvironmentVariable("KESTRANE_SIMULATION");
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kestrane-guide-shots: cannot read the simulation file\n");
        ++failures;
        return;
    }
    const QByteArray boards = file.readAll();
    QByteArray gone = boards;
    gone.replace("[device]\n", "[device]\nfault = absent\n");
    window.SetUpReconnectOption(options, true);
    if (!WriteSimulation(path, gone)) ++failures;
    Wait(1500);  // the next polling pass finds the board gone
    Save(&window, "main-window-reconnecting.png");
    if (!WriteSimulation(path, boards)) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: kestrane-guide-shots OUTDIR EMPTY_PROGRAM DEMO_PROGRAM LOGFILE\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrane"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    // KESTRANE_GUIDE_THEME=dark: the windows under a dark desktop palette.
    if (qgetenv("KESTRANE_GUIDE_THEME") == "dark") QApplication::setPalette(kestrane::ui::DarkPalette());
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    kestrane::SystemInstallRecord record;
    kestrane::SystemUserOptions options;
    pwInitialize();

    // A fresh installation: start-up opens the first-run Add Device dialog.
    record.SetProgramPath(argv[2]);
    {
        std::unique_ptr<ClientSession> session;
        ShootModal([&session] { session = ClientSession::Start(kestrane::ui::SessionServices{}); },
                   "add-device.png", 1500);
        if (session) session->window().close();
    }

    record.SetProgramPath(argv[3]);
    WriteLogHistory(argv[4]);
    std::unique_ptr<ClientSession> session = ClientSession::Start(kestrane::ui::SessionServices{});
    if (!session) {
        std::fprintf(stderr, "kestrane-guide-shots: the demo installation did not start\n");
        return 1;
    }
    MainWindow& window = session->window();
    window.show();
    window.OnConnect();
    Wait(4000);  // a few polling rounds, so every channel shows a reading
    Save(&window, "main-window.png");

    const auto click = [&window](int id) {
        if (auto* button = qobject_cast<QPushButton*>(ControlById(window, id))) button->click();
    };
    const auto trigger = [&window](const char* name) {
        if (auto* action = window.findChild<QAction*>(QLatin1String(name))) action->trigger();
    };
    ShootModal([&] { click(kestrane::ui::kChannelIds[5].edit); }, "options.png");
    ShootModal([&] { trigger("loggingAction1"); }, "logging.png");
    ShootModal([&] { trigger("graphsAction1"); }, "chart.png", 1500);

    // The live view after half a minute of readings at its shortest span:
    // the ramp, the sines and the steady channels side by side.
    trigger("graphsLiveView");
    Wait(25000);
    if (kestrane::live::LiveWindow* live = window.liveWindow()) {
        live->Refresh();
        Save(live, "live-view.png");
    } else {
        std::fprintf(stderr, "kestrane-guide-shots: Graphs > Live View opened no window\n");
        ++failures;
    }
    ShootReconnecting(window, options);

    window.close();
    session.reset();
    pwDeinitialize();
    return failures == 0 ? 0 : 1;
}
