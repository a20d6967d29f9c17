#include "ui/device_list.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QWidget>
#include <utility>

#include "ui/add_device_dialog.h"

namespace kestrane {

void WidgetMessageSink::ShowError(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical,
                    caption.empty() ? QStringLiteral("Error") : QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, owner_);
    box.exec();
}

DeviceListController::DeviceListController(QWidget* owner, QComboBox* selector, QPushButton* connectButton,
                                           SettingsDatabase& database, BoardDirectory& boards,
                                           MessageSink& sink, ConnectionState connected, QObject* parent)
    : QObject(parent),
      owner_(owner),
      selector_(selector),
      connect_(connectButton),
      boards_(boards),
      sink_(sink),
      connected_(std::move(connected)),
      registry_(database) {
    // Typed text is kept as the current board but never becomes an entry.
    selector_->setEditable(true);
    selector_->setInsertPolicy(QComboBox::NoInsert);
}

void DeviceListController::Fill() { FillList(true); }

void DeviceListController::FillList(bool allowFirstRun) {
    // The refill passes through an empty selector; listeners hear of one
    // change from the old text to the new, or of none when the refill
    // ends on the text it started with (a connection then stays open).
    const QString before = selector_->currentText();
    DeviceList list;
    {
        const QSignalBlocker quiet(selector_);
        selector_->clear();
        selector_->setEditText(QString());
        list = registry_.List();
        if (!list.status.ok()) sink_.ShowError(kClientCaption, list.status.message());
        if (list.status.ok()) {
            for (const std::string& entry : list.entries) selector_->addItem(QString::fromStdString(entry));
            selector_->setCurrentIndex(list.defaultIndex);
            if (list.defaultIndex < 0) selector_->setEditText(QString());
        }
    }
    const QString after = selector_->currentText();
    if (after != before) emit selector_->currentTextChanged(after);
    if (!list.status.ok() || !list.entries.empty()) return;

    connect_->setEnabled(false);
    // The first-run dialog refills once; it does not reopen itself.
    if (allowFirstRun && RunDialog(AddMode::FirstRun)) {
        FillList(false);
        EnableConnectUnlessConnected();
    }
}

void DeviceListController::AddDevice() {
    if (RunDialog(AddMode::Normal)) {
        FillList(false);
        EnableConnectUnlessConnected();
    }
}

void DeviceListController::EnableConnectUnlessConnected() {
    // Connecting twice would restart polling over a running connection;
    // Disconnect enables Connect again.
    if (!(connected_ && connected_())) connect_->setEnabled(true);
}

void DeviceListController::DeleteDevice() {
    registry_.Remove(CurrentPid());
    FillList(true);
}

void DeviceListController::SetDefault() {
    registry_.SetDefault(CurrentPid());
    FillList(true);
}

std::string DeviceListController::CurrentPid() const {
    return PidFromSelectorText(selector_->currentText().toStdString());
}

bool DeviceListController::RunDialog(AddMode mode) {
    if (runner_) return runner_(mode);
    // The dialog's messages are shown over the dialog itself.
    WidgetMessageSink overDialog(owner_);
    AddDeviceDialog dialog(mode, registry_, boards_, overDialog, owner_);
    overDialog.SetOwner(&dialog);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace kestrane
