#include "ui/client_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstdlib>

#include "acquisition/qt/qt_alarm_actions.h"
#include "client/core/core_metrics.h"
#include "client/core/database_settings_source.h"
#include "client/core/library_board.h"
#include "client/core/startup_logic.h"
#include "kestrane_install_paths.h"
#include "settings/dll_board_directory.h"
#include "settings/installer.h"
#include "settings/message_sink.h"
#include "settings/settings_database.h"
#include "ui/client_adapters.h"
#include "ui/device_list.h"
#include "ui/main_window.h"

namespace kestrane::ui {

struct ClientSession::Impl {
    // Real services, used where the caller supplied none.
    SystemInstallRecord realRecord;
    QtMessageSink realMessages;
    LibraryBoardExchange realBoard;
    DllBoardDirectory realBoards;
    QtAlarmActions realAlarms;
    QtWindowDialogs realDialogs;
    DesktopUrlOpener realUrls;

    std::string databasePath;
    std::string programDirectory;
    SettingsDatabase database;
    std::unique_ptr<DatabaseSettingsSource> settingsSource;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DeviceListController> deviceController;
    std::unique_ptr<ControllerDeviceList> deviceList;
    // KESTRANE_METRICS_DIR: the board's metrics file, rewritten on a timer.
    std::unique_ptr<CoreMetricsFile> metrics;
    std::unique_ptr<ReadingListener> metricsReadings;
    std::unique_ptr<QTimer> metricsTimer;
};

namespace {

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

std::string RunningProgramDirectory() {
    // The running file's own folder, not the working directory nor the
    // copy the install record names: a copy started elsewhere keeps its
    // files beside itself.
    return ProgramDirectory(
        QDir::fromNativeSeparators(QCoreApplication::applicationFilePath()).toStdString());
}

ClientSession::ClientSession() : impl_(std::make_unique<Impl>()) {}

ClientSession::~ClientSession() {
    // The window goes first: its timers must not fire into a closed
    // database or a destroyed controller.
    if (impl_) {
        impl_->metricsTimer.reset();
        if (impl_->metrics && impl_->window) {
            impl_->window->core().RemoveListener(*impl_->metricsReadings);
            impl_->metrics->Write(impl_->window->core(), false);
        }
        impl_->deviceList.reset();
        impl_->deviceController.reset();
        impl_->window.reset();
        impl_->database.Close();
    }
}

MainWindow& ClientSession::window() { return *impl_->window; }
const std::string& ClientSession::databasePath() const { return impl_->databasePath; }
const std::string& ClientSession::programDirectory() const { return impl_->programDirectory; }
bool ClientSession::databaseOpen() const { return impl_->database.isOpen(); }

std::unique_ptr<ClientSession> ClientSession::Start(const SessionServices& services) {
    std::unique_ptr<ClientSession> session(new ClientSession());
    Impl& s = *session->impl_;
    InstallRecord& record = services.installRecord ? *services.installRecord : s.realRecord;
    MessageSink& messages = services.messages ? *services.messages : s.realMessages;

    const std::string running =
        services.runningProgram.empty()
            ? QDir::fromNativeSeparators(QCoreApplication::applicationFilePath()).toStdString()
            : services.runningProgram;
    const std::string systemProgram =
        services.systemProgram.empty() ? std::string(KESTRANE_INSTALLED_PROGRAM) : services.systemProgram;
    const bool fromSystemInstall = IsSameProgram(running, systemProgram);

    std::optional<std::string> program = record.programPath();
    switch (CheckInstallation(program, fromSystemInstall, FileExists)) {
        case InstallCheck::SetUpForUser: {
            // Started from the desktop menu after the package was installed:
            // no terminal step, the user's own installation is made here.
            const std::string folder =
                services.userDataFolder.empty() ? DefaultUserDataFolder() : services.userDataFolder;
            const InstallResult made = SetUpUserInstallation(folder, running, record);
            if (!made.ok) {
                messages.ShowError(std::string(), std::string(kNotInstalledText) + "\n\n" + made.message);
                return nullptr;
            }
            program = made.programPath;
            break;
        }
        case InstallCheck::NotInstalled:
            messages.ShowError(std::string(), kNotInstalledText);
            return nullptr;
        case InstallCheck::DatabaseMissing:
            messages.ShowError(kDatabaseMissingCaption, kDatabaseMissingText);
            return nullptr;
        case InstallCheck::Installed:
            break;
    }
    // The database follows the install record; the files the dialogs place
    // follow the program that is running, except that a system-wide program
    // cannot write beside itself and uses the recorded program's folder.
    s.databasePath = DatabasePathFor(*program);
    if (!services.programDirectory.empty()) {
        s.programDirectory = WithSeparator(services.programDirectory);
    } else if (fromSystemInstall) {
        s.programDirectory = ProgramDirectory(*program);
    } else {
        s.programDirectory = RunningProgramDirectory();
    }

    s.settingsSource = std::make_unique<DatabaseSettingsSource>(s.database);
    MainWindowDeps deps{
        messages,
        services.board ? *services.board : s.realBoard,
        *s.settingsSource,
        services.alarms ? *services.alarms : s.realAlarms,
        services.tasks,
        services.dialogs ? *services.dialogs : s.realDialogs,
        services.urls ? *services.urls : s.realUrls,
    };
    s.window = std::make_unique<MainWindow>(deps);
    s.realMessages.setParent(s.window.get());
    s.realDialogs.SetOwner(s.window.get());
    s.realDialogs.channels().SetUp(s.window.get(), &s.database, s.programDirectory, services.messages);
    MainWindow* graphOwner = s.window.get();
    s.realDialogs.graphs().SetUp(
        graphOwner, [graphOwner]() -> const BoardSettings* { return &graphOwner->core().settings(); },
        s.programDirectory);

    // A failed open is shown and start-up goes on: the device list then
    // reports that it cannot read the table.
    if (const Status opened = s.database.Open(ConnectionStringFor(s.databasePath)); !opened.ok()) {
        messages.ShowError(kClientCaption, opened.message());
    }

    MainWindow* window = s.window.get();
    s.deviceController =
        std::make_unique<DeviceListController>(window, window->deviceSelector(), window->connectButton(),
                                               s.database, services.boards ? *services.boards : s.realBoards,
                                               messages, [window] { return window->core().connected(); });
    if (services.addDeviceRunner) s.deviceController->SetDialogRunner(services.addDeviceRunner);
    s.deviceList = std::make_unique<ControllerDeviceList>(*s.deviceController);

    Impl* impl = &s;
    s.window->SetCloseHook([impl] { impl->database.Close(); });
    s.window->InitializeAfterDatabase(s.deviceList.get());

    if (const char* dir = std::getenv(kMetricsDirEnvVar); dir != nullptr && dir[0] != '\0') {
        s.metrics = std::make_unique<CoreMetricsFile>(dir);
        CoreMetricsFile* metrics = s.metrics.get();
        AcquisitionSession& core = s.window->core();
        s.metricsReadings = std::make_unique<ReadingListener>(
            [metrics](const Reading& r) { metrics->NoteReading(r.unixMs); });
        core.AddListener(*s.metricsReadings);
        s.metricsTimer = std::make_unique<QTimer>();
        QObject::connect(s.metricsTimer.get(), &QTimer::timeout, [metrics, &core] { metrics->Write(core); });
        s.metricsTimer->start(kMetricsPeriodMs);
    }

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        s.window->move(area.center() - s.window->rect().center());
    }
    return session;
}

}  // namespace kestrane::ui
