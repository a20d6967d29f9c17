// The real services behind the main window's interfaces: the device list
// controller, the dialogs and the desktop's web browser.
#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/device_list.h"
#include "ui/graph_dialog.h"
#include "ui/options_dialog_host.h"
#include "ui/window_services.h"

namespace kestrane::ui {

class ControllerDeviceList final : public DeviceListActions {
public:
    explicit ControllerDeviceList(DeviceListController& controller) : c_(controller) {}
    void Fill() override { c_.Fill(); }
    void Add() override { c_.AddDevice(); }
    void Delete() override { c_.DeleteDevice(); }
    void SetDefault() override { c_.SetDefault(); }

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
    void SetOwner(QWidget* owner) { owner_ = owner; }
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
