#include "ui/logging_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "acquisition/intervals.h"
#include "acquisition/logging.h"
#include "common/numtext.h"
#include "settings/settings_database.h"
#include "settings/text_cut.h"
#include "ui/control_tag.h"
#include "ui/key_filter.h"
#include "ui/logo_image.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/ui_ids.h"
#include "validators/validators.h"

namespace kestrane::ui {
namespace {

// Shows the first entry beginning with `stored`; with none the text field
// stays empty.
void Preselect(QComboBox* box, const std::vector<std::string>& entries, const std::string& stored) {
    const int index = FindEntryStartingWith(entries, stored);
    box->setCurrentIndex(index);
    if (index < 0) box->setEditText(QString());
}

}  // namespace

std::string LoggingCaption(int channel) { return " Logging Options for Voltmeter " + IntToText(channel); }

LoggingDialog::LoggingDialog(const DialogContext& context, int channel, QWidget* parent)
    : QuietKeysDialog(
          parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context),
      channel_(channel),
      messages_(context.messages) {
    setObjectName(QStringLiteral("loggingDialog"));
    setWindowIcon(MakeWindowIcon(WindowIcon::Logging));
    setProperty("controlId", 3000);
    SetEscapeCancels(true);
    AcquisitionSession& core = context_.window->core();
    pid_ = core.currentPid();

    auto* grid = new QGridLayout(this);
    enabled_ = Tag(new QCheckBox(QStringLiteral("Logging Enabled"), this), 3002, "loggingEnabledCheck");
    grid->addWidget(enabled_, 0, 0);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Device:"), this), 3009, "deviceLabel"), 0, 1);
    device_ = Tag(new QLabel(this), 3010, "deviceValue");
    device_->setTextFormat(Qt::PlainText);
    device_->setText(QString::fromStdString(pid_));
    grid->addWidget(device_, 0, 2);

    grid->addWidget(Tag(new QLabel(QStringLiteral("Log File Rotation Size:"), this), 3006, "sizeLabel"), 1,
                    0);
    size_ = Tag(new QComboBox(this), 3007, "sizeBox");
    grid->addWidget(size_, 1, 1);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Logging Interval:"), this), 3003, "intervalLabel"), 1, 2);
    interval_ = Tag(new QComboBox(this), 3004, "intervalBox");
    grid->addWidget(interval_, 1, 3);
    for (QComboBox* box : {size_, interval_}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    SetSpokenName(size_, QStringLiteral("Log file rotation size"));
    SetSpokenName(interval_, QStringLiteral("Logging interval"));

    grid->addWidget(Tag(new QLabel(QStringLiteral("File Name:"), this), 3012, "fileNameLabel"), 2, 0);
    fileName_ = Tag(new QLineEdit(this), 3013, "fileNameEdit");
    KeyFilter::Attach(fileName_, KeyFilterKind::FileName);
    SetSpokenName(fileName_, QStringLiteral("Log file name"));
    grid->addWidget(fileName_, 2, 1, 1, 3);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Path:"), this), 3011, "pathLabel"), 3, 0);
    path_ = Tag(new QLineEdit(this), 3014, "pathEdit");
    path_->setReadOnly(true);
    SetSpokenName(path_, QStringLiteral("Log folder"));
    grid->addWidget(path_, 3, 1, 1, 2);
    auto* choose = Tag(new QPushButton(QStringLiteral("...."), this), 3015, "pathBrowse");
    SetSpokenName(choose, QStringLiteral("Browse for the log folder"));
    auto* ok = Tag(new QPushButton(QStringLiteral("OK"), this), 3005, "okButton");
    auto* cancel = Tag(new QPushButton(QStringLiteral("Cancel"), this), 3008, "cancelButton");
    for (QPushButton* b : {choose, ok, cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(choose, &QPushButton::clicked, this, &LoggingDialog::OnChooseFolder);
    connect(ok, &QPushButton::clicked, this, &LoggingDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    grid->addWidget(choose, 3, 3);
    grid->addWidget(ok, 4, 2);
    grid->addWidget(cancel, 4, 3);

    for (const std::string& text : LogSizeTexts()) size_->addItem(QString::fromStdString(text));
    for (const std::string& text : LogIntervalTexts()) interval_->addItem(QString::fromStdString(text));
    setWindowTitle(QString::fromStdString(LoggingCaption(channel_)));

    ChannelSettings& c = core.mutableSettings().channels[static_cast<std::size_t>(channel_ - 1)];
    enabled_->setChecked(c.LoggingEnabled());
    Preselect(size_, LogSizeTexts(), c.logSize);
    Preselect(interval_, LogIntervalTexts(), c.logInterval);
    fileName_->setText(QString::fromStdString(c.logFileName));
    // The proposed folder is kept in memory even when the dialog is
    // cancelled, so the next opening proposes the same one.
    if (c.logPath.empty())
        c.logPath = CutUtf8(DefaultLogFolder(context_.programDirectory, pid_), kPathFieldMax);
    path_->setText(QString::fromStdString(c.logPath));
}

void LoggingDialog::OnChooseFolder() {
    const std::optional<std::string> folder = context_.files->ChooseFolder(this, kSelectLogPathTitle);
    if (!folder || folder->empty()) return;
    path_->setText(QString::fromStdString(LogFolderFromChosen(*folder, pid_)));
}

void LoggingDialog::OnOk() {
    AcquisitionSession& core = context_.window->core();
    ChannelSettings c = core.settings().channels[static_cast<std::size_t>(channel_ - 1)];
    c.logFileName = FieldText(fileName_->text(), kFileNameFieldMax);
    c.SetLoggingEnabled(enabled_->isChecked());
    c.logSize = FieldText(size_->currentText(), kShortFieldMax);
    c.logInterval = FieldText(interval_->currentText(), kShortFieldMax);
    c.logPath = FieldText(path_->text(), kPathFieldMax);
    DatabaseSettingsStore store(context_.database);
    FinishSave(this, messages_, SaveChannelLogging(core, store, channel_, c));
}

void LoggingDialog::done(int result) {
    QDialog::done(result);
    context_.window->core().ClearBusy();
}

}  // namespace kestrane::ui
