#include "ui/filter_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/numtext.h"
#include "settings/settings_database.h"
#include "ui/control_tag.h"
#include "ui/key_filter.h"
#include "ui/logo_image.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"

namespace kestrane::ui {

bool FilterWeightAcceptable(std::string_view text) {
    if (text.empty()) return false;
    const auto value = TextToReal(text);
    return value && *value != 1.0L;
}

FilterDialog::FilterDialog(const DialogContext& context, int channel, QWidget* parent)
    : QuietKeysDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint),
      context_(context),
      channel_(channel),
      messages_(context.messages) {
    setObjectName(QStringLiteral("filterDialog"));
    setWindowIcon(MakeWindowIcon(WindowIcon::Filter));
    setProperty("controlId", 5000);
    setWindowTitle(QString::fromLatin1(kFilterCaption));

    auto* grid = new QGridLayout(this);
    enable_ = Tag(new QCheckBox(QStringLiteral("Filter Enable"), this), 5003, "filterEnableCheck");
    weight_ = Tag(new QLineEdit(this), 5001, "weightEdit");
    KeyFilter::Attach(weight_, KeyFilterKind::FilterWeight);
    grid->addWidget(enable_, 0, 0, 1, 2);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Weight Factor"), this), 5002, "weightLabel"), 1, 0);
    grid->addWidget(weight_, 1, 1);
    auto* ok = Tag(new QPushButton(QStringLiteral("OK"), this), 5004, "okButton");
    auto* cancel = Tag(new QPushButton(QStringLiteral("Cancel"), this), 5005, "cancelButton");
    for (QPushButton* b : {ok, cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(ok, &QPushButton::clicked, this, &FilterDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    grid->addWidget(ok, 2, 0);
    grid->addWidget(cancel, 2, 1);

    const ChannelSettings& c =
        context_.window->core().settings().channels[static_cast<std::size_t>(channel_ - 1)];
    enable_->setChecked(c.filterEnable == "YES");
    weight_->setText(QString::fromStdString(c.filterWeight));
}

void FilterDialog::OnOk() {
    ClientCore& core = context_.window->core();
    const std::string pid = core.currentPid();
    const std::string weight = FieldText(weight_->text(), kShortFieldMax);
    if (!FilterWeightAcceptable(weight)) {
        messages_.Error(this, kInvalidFilterText);
        return;
    }
    BoardSettings updated = core.settings();
    ChannelSettings& c = updated.channels[static_cast<std::size_t>(channel_ - 1)];
    c.filterEnable = enable_->isChecked() ? "YES" : "NO";
    c.filterWeight = weight;
    if (!context_.database || !context_.database->saveFilter(channel_, pid, updated)) {
        messages_.Error(this, kSaveFailedText);
        return;
    }
    core.mutableSettings().channels[static_cast<std::size_t>(channel_ - 1)] = c;
    core.LoadAndShowSettings();
    accept();
}


}  // namespace kestrane::ui
