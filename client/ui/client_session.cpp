#include "ui/client_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "acquisition/program_trust.h"
#include "acquisition/qt/qt_alarm_actions.h"
#include "client/core/acquisition_tasks.h"
#include "client/core/core_metrics.h"
#include "client/core/database_settings_source.h"
#include "client/core/library_board.h"
#include "client/core/startup_logic.h"
#include "kestrane_install_paths.h"
#include "notify/dbus_notifier.h"
#include "settings/dll_board_directory.h"
#include "settings/installer.h"
#include "settings/message_sink.h"
#include "settings/settings_database.h"
#include "ui/board_loss.h"
#include "ui/client_adapters.h"
#include "ui/device_list.h"
#include "ui/main_window.h"

namespace kestrane::ui {

struct ClientSession::Impl {
    // Judges alarm programs when the settings database is not the user's own.
    std::unique_ptr<AlarmProgramGuard> programGuard;
    // Real services, used where the caller supplied none.
    SystemInstallRecord realRecord;
    QtMessageSink realMessages;
    LibraryBoardExchange realBoard;
    DllBoardDirectory realBoards;
    QtAlarmActions realAlarms;
    QtWindowDialogs realDialogs;
    DesktopUrlOpener realUrls;
    // The trigger engine and log writer, when the caller supplied no tasks.
    std::unique_ptr<AcquisitionTasks> realTasks;
    // The board and tasks the window uses, its exchanges and alarm events
    // counted for the metrics file.
    std::unique_ptr<CountingBoardExchange> countedBoard;
    std::unique_ptr<ObservedChannelTasks> observedTasks;
    std::unique_ptr<notify::DbusNotifier> realNotifier;

    std::string databasePath;
    std::string programDirectory;
    SettingsDatabase database;
    std::unique_ptr<DatabaseSettingsSource> settingsSource;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<BoardLossReport> lossReport;
    // The first program to connect to a board owns its logging and alarms.
    BoardOwnerLock ownerLock;
    std::unique_ptr<DeviceListController> deviceController;
    std::unique_ptr<ControllerDeviceList> deviceList;
    // KESTRANE_METRICS_DIR: the board's metrics file, rewritten on a timer.
    std::unique_ptr<CoreMetricsFile> metrics;
    std::unique_ptr<MetricsListener> metricsListener;
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
            impl_->window->core().RemoveListener(*impl_->metricsListener);
            impl_->metrics->Remove(impl_->window->core());
        }
        impl_->lossReport.reset();
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
    Impl* counting = &s;
    s.countedBoard = std::make_unique<CountingBoardExchange>(
        services.board ? *services.board : s.realBoard, [counting](bool ok) {
            if (counting->metrics && counting->window)
                counting->metrics->NoteExchange(counting->window->core().currentPid(), ok);
        });
    AlarmActions& alarms = services.alarms ? *services.alarms : s.realAlarms;
    // A log record that cannot be written is shown in the window's status
    // bar as well as on stderr.
    if (!services.tasks)
        s.realTasks = std::make_unique<AcquisitionTasks>(
            alarms, nullptr, nullptr, [counting](const LogFailureNote& note) {
                if (counting->window)
                    counting->window->ReportLogFailure(note.source, note.recovered, note.line);
            });
    s.observedTasks = std::make_unique<ObservedChannelTasks>(
        services.tasks ? *services.tasks : *s.realTasks,
        [counting](const std::string& board, int channel, const TriggerState& before,
                   const TriggerState& after) {
            if (counting->metrics) counting->metrics->NoteTrigger(board, channel, before, after);
        });
    MainWindowDeps deps{
        messages,
        *s.countedBoard,
        *s.settingsSource,
        alarms,
        s.observedTasks.get(),
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
    const std::string connection = ConnectionStringFor(s.databasePath);
    // A database others can write may name programs someone else chose:
    // those must pass the ownership check before they start. A refusal is
    // said on stderr and in the status bar's message part.
    MainWindow* statusOwner = s.window.get();
    s.programGuard = std::make_unique<AlarmProgramGuard>(
        connection != DefaultConnectionString(s.databasePath), [statusOwner](const std::string& message) {
            std::fprintf(stderr, "Kestrane: %s\n", message.c_str());
            std::fflush(stderr);
            const QString text = QString::fromStdString(message);
            statusOwner->statusParts()->setPartText(2, text);
            statusOwner->statusParts()->part(2)->setToolTip(text);
        });
    s.realAlarms.setProgramGuard(s.programGuard.get());
    if (const Status opened = s.database.Open(connection); !opened.ok()) {
        messages.ShowError(kClientCaption, opened.message());
    }

    MainWindow* window = s.window.get();
    s.deviceController = std::make_unique<DeviceListController>(
        window, window->deviceSelector(), window->connectButton(), s.database,
        services.boards ? *services.boards : s.realBoards, messages, [window] {
            // A lost board is still the connection's.
            return window->core().connected() || window->core().boardLost();
        });
    if (services.addDeviceRunner) s.deviceController->SetDialogRunner(services.addDeviceRunner);
    s.deviceList = std::make_unique<ControllerDeviceList>(*s.deviceController);

    Impl* impl = &s;
    s.window->SetCloseHook([impl] { impl->database.Close(); });
    s.window->InitializeAfterDatabase(s.deviceList.get());

    notify::Notifier* notifier = services.notifier;
    if (!notifier) {
        s.realNotifier = std::make_unique<notify::DbusNotifier>();
        notifier = s.realNotifier.get();
    }
    s.window->core().SetOwnerLock(&s.ownerLock, "Kestrane");
    s.lossReport = std::make_unique<BoardLossReport>(s.window->core(),
                                                     services.journal ? services.journal : stderr, notifier);

    if (const char* dir = std::getenv(kMetricsDirEnvVar); dir != nullptr && dir[0] != '\0') {
        s.metrics = std::make_unique<CoreMetricsFile>(dir);
        CoreMetricsFile* metrics = s.metrics.get();
        AcquisitionSession& core = s.window->core();
        s.metricsListener = std::make_unique<MetricsListener>(*metrics, ReadBoardIdentity);
        core.AddListener(*s.metricsListener);
        s.metricsTimer = std::make_unique<QTimer>();
        QObject::connect(s.metricsTimer.get(), &QTimer::timeout, [metrics, &core] {
            // A viewer leaves the board's metrics to its owner.
            if (!core.viewer()) metrics->Write(core);
        });
        s.metricsTimer->start(kMetricsPeriodMs);
    }

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        s.window->move(area.center() - s.window->rect().center());
    }
    return session;
}

}  // namespace kestrane::ui
