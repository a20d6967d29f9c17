#include "ui/app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "settings/installer.h"
#include "core/client_session.h"
#include "ui/main_window.h"
#include "plotwick.h"

namespace kestrane::ui {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasNext = i + 1 < args.size();
        if (a == "--install") {
            cl.install = true;
            if (hasNext && args[i + 1].rfind("--", 0) != 0) cl.installFolder = args[++i];
        } else if (a == "--connect") {
            cl.connect = true;
        } else if (a == "--screenshot") {
            if (!hasNext || args[i + 1].empty()) {
                cl.error = "--screenshot needs a file path";
                return cl;
            }
            cl.screenshotPath = args[++i];
        } else if (a == "--quit-after") {
            if (!hasNext) {
                cl.error = "--quit-after needs a number of seconds";
                return cl;
            }
            const std::string& text = args[++i];
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
                seconds > 86400.0 * 365) {
                cl.error = "--quit-after needs a positive number of seconds, not \"" + text + "\"";
                return cl;
            }
            cl.quitAfterSeconds = seconds;
        } else if (a == "--help" || a == "-h") {
            cl.help = true;
        } else {
            cl.error = "unknown option \"" + a + "\"";
            return cl;
        }
    }
    if (!cl.screenshotPath.empty() && cl.quitAfterSeconds <= 0) cl.quitAfterSeconds = 3;
    return cl;
}

namespace {

int RunInstall(const CommandLine& cl, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InstallRequest request;
    request.folder = cl.installFolder;
    request.programPath = QCoreApplication::applicationFilePath().toStdString();
    SystemInstallRecord record;
    const InstallResult result = InstallKestrane(request, record);
    std::fprintf(result.ok ? stdout : stderr, "%s\n", result.message.c_str());
    return result.ok ? 0 : 1;
}

}  // namespace

int RunKestrane(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const CommandLine cl = ParseCommandLine(args);
    if (!cl.error.empty()) {
        std::fprintf(stderr, "Kestrane: %s\n%s", cl.error.c_str(), kUsageText);
        return 2;
    }
    if (cl.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (cl.install) return RunInstall(cl, argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrane"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    // The chart library is set up before the main window and torn down after
    // the message loop, as its last call.
    pwInitialize();
    std::unique_ptr<ClientSession> session = ClientSession::Start(SessionServices{});
    if (!session) {
        pwDeinitialize();
        return 0;  // the user was told why; no window was shown
    }

    MainWindow& window = session->window();
    window.show();
    if (cl.connect) {
        QTimer::singleShot(0, &window, [&window] {
            if (window.connectButton()->isEnabled()) window.OnConnect();
        });
    }
    if (cl.quitAfterSeconds > 0) {
        const int ms = static_cast<int>(cl.quitAfterSeconds * 1000.0);
        const std::string shot = cl.screenshotPath;
        QTimer::singleShot(ms, &window, [&window, shot] {
            if (!shot.empty()) {
                const QString path = QString::fromStdString(shot);
                QDir().mkpath(QFileInfo(path).absolutePath());
                if (window.grab().save(path, "PNG"))
                    std::fprintf(stdout, "Screenshot saved to %s\n", shot.c_str());
                else
                    std::fprintf(stderr, "Kestrane: cannot save the screenshot to %s\n", shot.c_str());
            }
            window.close();
        });
    }
    const int code = app.exec();
    session.reset();
    pwDeinitialize();
    return code;
}

}  // namespace kestrane::ui
