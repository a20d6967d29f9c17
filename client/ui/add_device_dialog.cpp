#include "ui/add_device_dialog.h"
#include "ui/logo_image.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrane {

AddDeviceDialog::AddDeviceDialog(AddMode mode, DeviceRegistry& registry, BoardDirectory& boards,
                                 MessageSink& sink, QWidget* parent)
    : ui::QuietKeysDialog(parent), mode_(mode), registry_(registry), boards_(boards), sink_(sink) {
    setWindowTitle(QStringLiteral("Add Device"));
    setModal(true);
    setWindowIcon(ui::MakeWindowIcon(ui::WindowIcon::AddDevice));

    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSortingEnabled(false);
    // The readers' name only: the list has no visible caption.
    list_->setAccessibleName(QStringLiteral("Boards found"));
    add_ = new QPushButton(QStringLiteral("ADD"), this);
    refresh_ = new QPushButton(QStringLiteral("Refresh"), this);
    // No default button: Enter must not register a board.
    for (QPushButton* b : {add_, refresh_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(refresh_);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(330, 120);

    connect(add_, &QPushButton::clicked, this, &AddDeviceDialog::addSelected);
    connect(refresh_, &QPushButton::clicked, this, &AddDeviceDialog::refresh);
    // The list is filled before the dialog is first shown.
    refresh();
}

void AddDeviceDialog::refresh() {
    list_->clear();
    for (const std::string& entry : AttachedKestraneEntries(boards_)) {
        list_->addItem(QString::fromStdString(entry));
    }
}

void AddDeviceDialog::addSelected() {
    std::string selected;
    const QList<QListWidgetItem*> items = list_->selectedItems();
    if (!items.isEmpty()) selected = items.front()->text().toStdString();
    const AddOutcome outcome = registry_.Add(selected, mode_);
    if (!outcome.message.empty()) sink_.ShowError(std::string(), outcome.message);
    if (outcome.added) accept();
}

}  // namespace kestrane
