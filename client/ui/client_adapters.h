// The real services behind the client core's interfaces: the board
// library's exchange, the settings database's load, the device list
// controller, the dialogs and the desktop's web browser.
#pragma once

#include <QPointer>
#include <QWidget>

#include "acquisition/polling_cycle.h"
#include "core/client_core.h"
#include "settings/settings_database.h"
#include "ui/device_list.h"
#include "ui/graph_dialog.h"
#include "ui/options_dialog_host.h"
#include "ui/window_services.h"

namespace kestrane::ui {

// ReadKestrane in mode 0 with a buffer larger than the library ever
// fills, read back only up to its terminator.
class DllBoardExchange final : public BoardExchange {
public:
    bool Read(uint32_t productId, int command, std::string& answer) override;
};

class DatabaseSettingsSource final : public BoardSettingsSource {
public:
    explicit DatabaseSettingsSource(SettingsDatabase& db) : db_(db) {}
    bool Load(const std::string& vid, const std::string& pid, BoardSettings& out) override;

private:
    SettingsDatabase& db_;
};

class ControllerDeviceList final : public DeviceListActions {
public:
    explicit ControllerDeviceList(DeviceListController& controller) : c_(controller) {}
    void Fill() override { c_.fill(); }
    void Add() override { c_.addDevice(); }
    void Delete() override { c_.deleteDevice(); }
    void SetDefault() override { c_.setDefault(); }

private:
    DeviceListController& c_;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    bool Open(const std::string& url) override;
};

// The dialogs the main window opens, modal over the window that owns them.
class QtWindowDialogs final : public WindowDialogs {
public:
    void setOwner(QWidget* owner) { owner_ = owner; }
    // The Voltmeter Options and Logging dialogs, set up by the session.
    ChannelDialogs& channels() { return channels_; }
    void OpenOptions(int channel) override { channels_.OpenOptions(channel); }
    void OpenLogging(int channel) override { channels_.OpenLogging(channel); }
    // The Graph dialog, set up by the session.
    GraphDialogs& graphs() { return graphs_; }
    void OpenGraph(int channel) override { graphs_.Open(channel); }
    void OpenAbout() override;

private:
    QPointer<QWidget> owner_;
    ChannelDialogs channels_;
    GraphDialogs graphs_;
};

}  // namespace kestrane::ui
