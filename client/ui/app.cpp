#include "ui/app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "kestrane_version.h"
#include "plotwick.h"
#include "settings/device_registry.h"
#include "settings/installer.h"
#include "settings/user_options.h"
#include "ui/client_session.h"
#include "ui/main_window.h"

namespace kestrane::ui {

namespace {

constexpr const char* kDescription =
    "The Kestrane six-channel USB voltmeter client.\n"
    "\n"
    "Exit status: 0 when the window was closed (or after --install, --help or\n"
    "--version), 1 when the installation or the board selection failed, 2 for\n"
    "a usage error.";

}  // namespace

void PrepareApplication() {
    QApplication::setApplicationName(QStringLiteral("Kestrane"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    // The desktop entry's name: Wayland compositors take it as the window's
    // app ID, so docks and task bars find the entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version("version", "Show the version and exit.");
    const QCommandLineOption install("install",
                                     "Install the program, its libraries and an empty settings database into "
                                     "FOLDER (the argument after it; default ~/.local/lib/kestrane).");
    const QCommandLineOption board("board",
                                   "Select the board with this product ID (e.g. 000A) instead of the "
                                   "default board.",
                                   "PID");
    const QCommandLineOption connect("connect", "Connect to the selected board once the window shows.");
    const QCommandLineOption reconnect("reconnect",
                                       "Reconnect automatically for this run: a lost board, or one not yet "
                                       "plugged in, is waited for instead of ending the program.");
    const QCommandLineOption screenshot("screenshot", "Save a PNG of the main window before quitting.",
                                        "PATH");
    const QCommandLineOption quitAfter("quit-after", "Close the main window after SECONDS.", "SECONDS");
    for (const auto* o : {&help, &version, &install, &board, &connect, &reconnect, &screenshot, &quitAfter})
        parser.addOption(*o);

    // "--install=FOLDER" is the same as "--install FOLDER": the folder is
    // the one argument that is not an option.
    QStringList list{QStringLiteral("Kestrane")};
    for (const auto& a : args) {
        const QString arg = QString::fromStdString(a);
        if (arg.startsWith(QStringLiteral("--install="))) {
            list << QStringLiteral("--install") << arg.mid(10);
        } else {
            list << arg;
        }
    }
    if (!parser.parse(list)) {
        QString message = parser.errorText();
        if (message.startsWith(QStringLiteral("Missing value after '"))) {
            QString name = message.mid(21);
            name.chop(2);
            message = name + QStringLiteral(" needs a value");
        }
        cl.error = message.toStdString();
        return cl;
    }
    cl.help = parser.isSet(help);
    cl.version = parser.isSet(version);
    if (cl.help) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: Kestrane [options] [FOLDER]"));
        cl.helpText = text.toStdString();
        return cl;
    }
    cl.install = parser.isSet(install);
    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) {
        if (!cl.install || positional.size() > 1) {
            cl.error = "unexpected argument \"" + positional.constLast().toStdString() + "\"";
            return cl;
        }
        cl.installFolder = positional.first().toStdString();
    }
    for (const auto* o : {&board, &screenshot, &quitAfter}) {
        if (parser.values(*o).size() > 1) {
            cl.error = "--" + o->names().first().toStdString() + " given twice";
            return cl;
        }
    }
    cl.connect = parser.isSet(connect);
    cl.reconnect = parser.isSet(reconnect);
    if (parser.isSet(board)) {
        const std::string text = parser.value(board).toStdString();
        const bool hex = !text.empty() && text.size() <= 4 &&
                         text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (!hex) {
            cl.error = "--board needs a product ID of 1 to 4 hexadecimal digits, not \"" + text + "\"";
            return cl;
        }
        cl.board = std::string(4 - text.size(), '0');
        for (char c : text) cl.board += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (parser.isSet(screenshot)) {
        cl.screenshotPath = parser.value(screenshot).toStdString();
        if (cl.screenshotPath.empty()) {
            cl.error = "--screenshot needs a file path";
            return cl;
        }
    }
    if (parser.isSet(quitAfter)) {
        const std::string text = parser.value(quitAfter).toStdString();
        char* end = nullptr;
        const double seconds = std::strtod(text.c_str(), &end);
        if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
            seconds > 86400.0 * 365) {
            cl.error = "--quit-after needs a positive number of seconds, not \"" + text + "\"";
            return cl;
        }
        cl.quitAfterSeconds = seconds;
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
        std::fprintf(stderr, "Kestrane: %s\nTry 'Kestrane --help' for more information.\n", cl.error.c_str());
        return kUsageErrorStatus;
    }
    if (cl.help) {
        std::fputs(cl.helpText.c_str(), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("Kestrane %s\n", KESTRANE_VERSION_TEXT);
        return 0;
    }
    if (cl.install) return RunInstall(cl, argc, argv);

    QApplication app(argc, argv);
    PrepareApplication();
    // The chart library is set up before the main window and torn down after
    // the message loop, as its last call.
    pwInitialize();
    std::unique_ptr<ClientSession> session = ClientSession::Start(SessionServices{});
    if (!session) {
        pwDeinitialize();
        return 0;  // the user was told why; no window was shown
    }

    MainWindow& window = session->window();
    SystemUserOptions options;
    window.SetUpReconnectOption(options, ReconnectThisRun(options, cl.reconnect));
    if (!cl.board.empty()) {
        // One client per board: pick the board's entry before the window shows.
        const int index =
            window.deviceSelector()->findText(QString::fromStdString(DeviceEntryText(cl.board)));
        if (index < 0) {
            std::fprintf(stderr, "Kestrane: board %s is not registered in the settings\n", cl.board.c_str());
            session.reset();
            pwDeinitialize();
            return 1;
        }
        window.deviceSelector()->setCurrentIndex(index);
    }
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
