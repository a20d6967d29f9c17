#include "ui/filter_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/control_tag.h"
#include "ui/key_filter.h"
#include "ui/logo_image.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"

namespace kestrane::ui {

FilterDialog::FilterDialog(const DialogContext& context, int channel, QWidget* parent)
    : QuietKeysDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                  Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
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
    SetSpokenName(weight_, QStringLiteral("Weight factor"));
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
    enable_->setChecked(c.FilterEnabled());
    weight_->setText(QString::fromStdString(c.filterWeight));
}

void FilterDialog::OnOk() {
    AcquisitionSession& core = context_.window->core();
    ChannelSettings c = core.settings().channels[static_cast<std::size_t>(channel_ - 1)];
    c.SetFilterEnabled(enable_->isChecked());
    c.filterWeight = FieldText(weight_->text(), kShortFieldMax);
    DatabaseSettingsStore store(context_.database);
    FinishSave(this, messages_, SaveChannelFilter(core, store, channel_, c));
}

}  // namespace kestrane::ui
