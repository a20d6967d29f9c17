// kestrane-desktop-tour: the client as a desktop session sees it, for the
// AT-SPI walk and the Wayland run. It starts the real window over the
// simulated board, connects, and opens Options, Logging, Averaging Filter,
// Auto Calculate, Add Device, About and a chart side by side; then it
// prints READY and waits until standard input closes (or TIMEOUT seconds
// pass). Exit status 1 when Qt logged any warning meanwhile.
//   kestrane-desktop-tour [TIMEOUT]
#include <unistd.h>
#include <QApplication>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dialog_test_support.h"
#include "plotwick.h"
#include "settings/device_registry.h"
#include "settings/dll_board_directory.h"
#include "ui/about_dialog.h"
#include "ui/add_device_dialog.h"
#include "ui/app.h"
#include "ui/auto_calculate_dialog.h"
#include "ui/filter_dialog.h"
#include "ui/graph_dialog.h"
#include "ui/logging_dialog.h"
#include "ui/options_dialog.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

int g_warnings = 0;

void CountWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // The About box's music finds no sound server on a test machine; that
    // is the sound's business, not the desktop's, and is only shown.
    if (message.startsWith(QLatin1String("PulseAudioService:"))) {
        std::fprintf(stderr, "(sound) %s\n", qPrintable(message));
        return;
    }
    if (type != QtDebugMsg && type != QtInfoMsg) {
        ++g_warnings;
        std::fprintf(stderr, "Qt warning: %s\n", qPrintable(message));
    }
}

}  // namespace

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    PrepareApplication();
    qInstallMessageHandler(CountWarnings);
    const int timeoutSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    pwInitialize();
    {
        WriteSimulation(Simulation({"12.5", "-3.3", "7", "0.5", "1", "48"}));
        DialogSession s;
        if (!s.Start(StandardRow())) return 2;
        s.Connect();
        if (!WaitUntil([&] { return !s.w().connectButton()->isEnabled(); })) return 2;

        std::vector<std::unique_ptr<QWidget>> windows;
        windows.push_back(std::make_unique<OptionsDialog>(s.Context(), 1, &s.w()));
        windows.push_back(std::make_unique<LoggingDialog>(s.Context(), 2, &s.w()));
        windows.push_back(std::make_unique<FilterDialog>(s.Context(), 3, &s.w()));
        windows.push_back(
            std::make_unique<AutoCalculateDialog>(QStringLiteral("+ 12.500"), &s.messages, &s.w()));
        DeviceRegistry registry(s.db);
        DllBoardDirectory boards;
        windows.push_back(
            std::make_unique<AddDeviceDialog>(AddMode::Normal, registry, boards, s.messages, &s.w()));
        windows.push_back(std::make_unique<AboutDialog>(&s.w()));
        windows.push_back(std::make_unique<GraphDialog>(
            &s.w(), 1, [&s] { return &s.core().settings(); }, s.programDirectory));
        for (auto& w : windows) w->show();

        QEventLoop wait;
        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, &wait, [&] {
            char buffer[64];
            if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) wait.quit();
        });
        QTimer::singleShot(timeoutSeconds * 1000, &wait, &QEventLoop::quit);
        QTimer::singleShot(1500, [] {
            std::printf("READY\n");
            std::fflush(stdout);
        });
        wait.exec();
        for (auto& w : windows) w->close();
        windows.clear();
    }
    pwDeinitialize();
    std::printf("warnings: %d\n", g_warnings);
    return g_warnings == 0 ? 0 : 1;
}
