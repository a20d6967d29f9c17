// Start-up and shutdown of the client: install record, settings database,
// device list and main window (which assembles the acquisition session) in
// that order, with the exits the user is told about. Everything the client
// talks to outside can be replaced, so tests start real sessions without a
// board, a browser or message boxes.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "acquisition/trigger_engine.h"
#include "client/core/session.h"
#include "notify/notifier.h"
#include "settings/device_registry.h"
#include "settings/install_record.h"
#include "settings/message_sink.h"
#include "ui/session_names.h"
#include "ui/window_services.h"

namespace kestrane::ui {

class MainWindow;

inline constexpr const char* kNotInstalledText = "Pogram not installed! Please run installer again.";
inline constexpr const char* kDatabaseMissingText = "Shazbot !  Database not found!";
inline constexpr const char* kDatabaseMissingCaption = "Database Error";

// Left null, each service is the real one.
struct SessionServices {
    InstallRecord* installRecord = nullptr;
    MessageSink* messages = nullptr;
    BoardExchange* board = nullptr;
    BoardDirectory* boards = nullptr;
    // The alarm programs and sounds; null: the desktop's.
    AlarmActions* alarms = nullptr;
    // Null: the session's own alarm checks and log records.
    ChannelTasks* tasks = nullptr;
    WindowDialogs* dialogs = nullptr;
    UrlOpener* urls = nullptr;
    // Told when the board is lost and back; null: the desktop's
    // notification service.
    notify::Notifier* notifier = nullptr;
    // Where the lost and back lines go; null: stderr.
    std::FILE* journal = nullptr;
    // Runs the Add Device dialog in a mode; true when a board was added.
    std::function<bool(AddMode)> addDeviceRunner;
    // The folder of the running program file, where the Logging dialog
    // proposes log folders and the Graph dialog looks for logs with no
    // folder set; empty: the folder of the running program file (the
    // recorded program's folder when it runs from its system-wide install).
    std::string programDirectory;
    // The running program, the path of its system-wide install and the
    // per-user data folder; empty: the real ones.
    std::string runningProgram;
    std::string systemProgram;
    std::string userDataFolder;
};

// The folder of the running program file, ending with a separator; empty
// before a QCoreApplication exists.
std::string RunningProgramDirectory();

class ClientSession {
public:
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Runs the start-up. Returns null when the client must end without a
    // window (not installed, database missing); the user was told why.
    static std::unique_ptr<ClientSession> Start(const SessionServices& services);

    MainWindow& window();
    const std::string& databasePath() const;
    // The program directory the dialogs were given; ends with a separator.
    const std::string& programDirectory() const;
    bool databaseOpen() const;

private:
    ClientSession();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrane::ui
