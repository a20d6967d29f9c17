// What the channel dialogs use of the running client (main window, client
// core, settings database), their message boxes and file choosers behind
// small interfaces, and the opener the main window's buttons and menus call.
#pragma once

#include <QPointer>
#include <optional>
#include <string>

#include "client/core/channel_saves.h"
#include "settings/message_sink.h"
#include "ui/session_names.h"

class QDialog;
class QWidget;

namespace kestrane {
class SettingsDatabase;
}

namespace kestrane::ui {

class MainWindow;

// File and folder choosers; tests replace them.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // An existing file's full path, or std::nullopt when cancelled. `filter`
    // is in Qt's "Name (*.ext);;Other (*)" form.
    virtual std::optional<std::string> OpenFile(QWidget* owner, const std::string& title,
                                                const std::string& filter, const std::string& startName) = 0;
    // An existing folder's path, or std::nullopt when cancelled.
    virtual std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title) = 0;
};

// The desktop's own file and folder dialogs.
class DesktopFileChooser final : public FileChooser {
public:
    std::optional<std::string> OpenFile(QWidget* owner, const std::string& title, const std::string& filter,
                                        const std::string& startName) override;
    std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title) override;
};

// The dialogs' messages: boxes over the dialog with no caption of their
// own, with or without the error icon; or, when a sink is given (tests),
// the sink's ShowError with an empty caption.
class DialogMessages {
public:
    explicit DialogMessages(MessageSink* sink) : sink_(sink) {}
    void Error(QWidget* over, const std::string& text) const;
    void Notice(QWidget* over, const std::string& text) const;

private:
    MessageSink* sink_;
};

// Shown when a dialog's save statement did not run; the dialog stays open
// with what the user typed.
inline constexpr const char* kSaveFailedText = "The settings could not be saved to the database.";

// After a channel dialog's OK: closes `dialog` when the change was saved,
// otherwise tells the user why and keeps the dialog open with what they
// typed.
void FinishSave(QDialog* dialog, const DialogMessages& messages, ChannelSaveResult result);

// Everything a channel dialog reaches outside itself.
struct DialogContext {
    MainWindow* window = nullptr;  // owner; core, Value fields, gauges, timers
    SettingsDatabase* database = nullptr;
    MessageSink* messages = nullptr;        // null: real message boxes
    FileChooser* files = nullptr;           // never null once set up
    std::string programDirectory;           // ends with a separator
    std::string* lastChosenFile = nullptr;  // offered again by the next browse
};

// Opens the Voltmeter Options and Logging dialogs of a channel modally
// over the main window; the window's timers keep running meanwhile.
class ChannelDialogs {
public:
    ChannelDialogs() = default;
    ChannelDialogs(const ChannelDialogs&) = delete;
    ChannelDialogs& operator=(const ChannelDialogs&) = delete;

    // `messages` and `files` null: real boxes and the desktop's choosers.
    void SetUp(MainWindow* window, SettingsDatabase* database, std::string programDirectory,
               MessageSink* messages = nullptr, FileChooser* files = nullptr);
    void OpenOptions(int channel);
    void OpenLogging(int channel);
    const std::string& lastChosenFile() const { return lastChosenFile_; }

private:
    bool Ready(int channel) const;
    DialogContext Context();

    QPointer<MainWindow> window_;
    SettingsDatabase* database_ = nullptr;
    MessageSink* messages_ = nullptr;
    FileChooser* files_ = nullptr;
    DesktopFileChooser desktopFiles_;
    std::string programDirectory_;
    std::string lastChosenFile_;
};

}  // namespace kestrane::ui
