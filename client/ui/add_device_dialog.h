// The Add Device dialog: lists the boards attached over USB whose product
// string is "KESTRANEUNIT" and registers the chosen one, in normal mode (ADD
// Device button) or first-run mode (no board registered yet).
#pragma once

#include "ui/quiet_keys_dialog.h"

#include "settings/device_registry.h"
#include "settings/message_sink.h"

class QListWidget;
class QPushButton;

namespace kestrane {

class AddDeviceDialog : public ui::QuietKeysDialog {
    Q_OBJECT
public:
    // `sink` receives the dialog's messages (shown with no caption of
    // their own). exec() returns Accepted once a board was registered.
    AddDeviceDialog(AddMode mode, DeviceRegistry& registry, BoardDirectory& boards, MessageSink& sink,
                    QWidget* parent = nullptr);

    QListWidget* boardList() const { return list_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* refreshButton() const { return refresh_; }

public slots:
    void refresh();  // searches the USB again
    void addSelected();

protected:
    // Enter and Escape do nothing; only the close box closes the dialog.

private:
    AddMode mode_;
    DeviceRegistry& registry_;
    BoardDirectory& boards_;
    MessageSink& sink_;
    QListWidget* list_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* refresh_ = nullptr;
};

}  // namespace kestrane
