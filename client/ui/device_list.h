// The main window's device selector and its three device buttons (ADD
// Device, Delete Device, Set Default) over the Qt-free DeviceRegistry, and
// the message box sink used for the settings store's messages.
#pragma once

#include <functional>
#include <string>

#include <QObject>

#include "settings/device_registry.h"
#include "settings/message_sink.h"
#include "settings/settings_database.h"

class QComboBox;
class QPushButton;
class QWidget;

namespace kestrane {

// Error message boxes over a widget; an empty caption becomes "Error",
// the caption a message box gets when its owner names none.
class WidgetMessageSink final : public MessageSink {
public:
    explicit WidgetMessageSink(QWidget* owner) : owner_(owner) {}
    void ShowError(const std::string& caption, const std::string& text) override;
    void SetOwner(QWidget* owner) { owner_ = owner; }

private:
    QWidget* owner_;
};

class DeviceListController : public QObject {
    Q_OBJECT
public:
    // Opens the Add Device dialog in a mode over the owner; true when a
    // board was registered. Replaceable so tests avoid modal dialogs.
    using DialogRunner = std::function<bool(AddMode)>;

    // Whether the client is connected to a board right now.
    using ConnectionState = std::function<bool()>;

    // `selector` is the editable device drop-down, `connectButton` the
    // Connect button; all are owned by the main window. `connected` tells
    // whether Connect may be enabled: never while a connection is open.
    DeviceListController(QWidget* owner, QComboBox* selector, QPushButton* connectButton,
                         SettingsDatabase& database, BoardDirectory& boards, MessageSink& sink,
                         ConnectionState connected, QObject* parent = nullptr);

    // Fill device list: rebuilds the selector from table Main and selects
    // the default board's entry. With no board registered it disables
    // Connect and opens the Add Device dialog in first-run mode.
    void Fill();
    // ADD Device: the dialog in normal mode; refills and enables Connect
    // when a board was added (unless connected).
    void AddDevice();
    // Delete Device and Set Default for the board named by the selector.
    void DeleteDevice();
    void SetDefault();

    // The current PID: first four characters of the selector's text.
    std::string CurrentPid() const;

    void SetDialogRunner(DialogRunner runner) { runner_ = std::move(runner); }

private:
    void FillList(bool allowFirstRun);
    bool RunDialog(AddMode mode);
    // A board is registered: Connect is usable unless a connection is open.
    void EnableConnectUnlessConnected();

    QWidget* owner_;  // owns the Add Device dialog
    QComboBox* selector_;
    QPushButton* connect_;
    BoardDirectory& boards_;
    MessageSink& sink_;
    ConnectionState connected_;
    DeviceRegistry registry_;
    DialogRunner runner_;
};

}  // namespace kestrane
