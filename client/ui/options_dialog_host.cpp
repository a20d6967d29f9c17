#include "ui/options_dialog_host.h"

#include <QFileDialog>
#include <QMessageBox>

#include "ui/filter_dialog.h"
#include "ui/logging_dialog.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"

namespace kestrane::ui {
namespace {

void ShowBox(QWidget* over, QMessageBox::Icon icon, const std::string& text) {
    // No caption of their own: the generic one the main window's boxes use.
    QMessageBox box(icon, QStringLiteral("Error"), QString::fromStdString(text), QMessageBox::Ok, over);
    box.exec();
}

}  // namespace

std::optional<std::string> DesktopFileChooser::OpenFile(QWidget* owner, const std::string& title,
                                                        const std::string& filter,
                                                        const std::string& startName) {
    // getOpenFileName only returns files that exist.
    const QString chosen =
        QFileDialog::getOpenFileName(owner, QString::fromStdString(title), QString::fromStdString(startName),
                                     QString::fromStdString(filter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::string> DesktopFileChooser::ChooseFolder(QWidget* owner, const std::string& title) {
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString::fromStdString(title), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

void DialogMessages::Error(QWidget* over, const std::string& text) const {
    if (sink_)
        sink_->ShowError(std::string(), text);
    else
        ShowBox(over, QMessageBox::Critical, text);
}

void DialogMessages::Notice(QWidget* over, const std::string& text) const {
    if (sink_)
        sink_->ShowError(std::string(), text);
    else
        ShowBox(over, QMessageBox::NoIcon, text);
}

void FinishSave(QDialog* dialog, const DialogMessages& messages, ChannelSaveResult result) {
    switch (result) {
        case ChannelSaveResult::Saved:
            dialog->accept();
            return;
        case ChannelSaveResult::BandLimitsInvalid:
            messages.Error(dialog, kBandLimitsText);
            return;
        case ChannelSaveResult::WeightInvalid:
            messages.Error(dialog, kInvalidFilterText);
            return;
        case ChannelSaveResult::LogNameMissing:
            messages.Notice(dialog, kChooseLogNameText);
            return;
        case ChannelSaveResult::StoreFailed:
            messages.Error(dialog, kSaveFailedText);
            return;
    }
}

void ChannelDialogs::SetUp(MainWindow* window, SettingsDatabase* database, std::string programDirectory,
                           MessageSink* messages, FileChooser* files) {
    window_ = window;
    database_ = database;
    programDirectory_ = std::move(programDirectory);
    messages_ = messages;
    files_ = files;
}

bool ChannelDialogs::Ready(int channel) const { return window_ && channel >= 1 && channel <= kChannelCount; }

DialogContext ChannelDialogs::Context() {
    DialogContext c;
    c.window = window_.data();
    c.database = database_;
    c.messages = messages_;
    c.files = files_ ? files_ : &desktopFiles_;
    c.programDirectory = programDirectory_;
    c.lastChosenFile = &lastChosenFile_;
    return c;
}

void ChannelDialogs::OpenOptions(int channel) {
    if (!Ready(channel)) return;
    OptionsDialog dialog(Context(), channel, window_.data());
    dialog.exec();
}

void ChannelDialogs::OpenLogging(int channel) {
    if (!Ready(channel)) return;
    LoggingDialog dialog(Context(), channel, window_.data());
    dialog.exec();
}

}  // namespace kestrane::ui
