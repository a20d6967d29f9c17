#include "ui/auto_calculate_dialog.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

#include "common/numtext.h"
#include "ui/control_tag.h"
#include "ui/key_filter.h"
#include "ui/logo_image.h"
#include "ui/options_dialog.h"

namespace kestrane::ui {

AutoCalcResult AutoCalculate(std::string_view measuredShown, std::string_view actualText) {
    AutoCalcResult r;
    const auto actual = TextToReal(actualText);
    if (!actual) {
        r.outcome = AutoCalcOutcome::ActualUnreadable;
        return r;
    }
    if (measuredShown.empty() || (measuredShown.front() != '+' && measuredShown.front() != '-')) {
        r.outcome = AutoCalcOutcome::MeasuredUnreadable;
        return r;
    }
    const bool negative = measuredShown.front() == '-';
    // The magnitude follows the sign; reading past leading blanks also
    // copes with a text whose blank after the sign is missing.
    auto measured = TextToReal(measuredShown.substr(1));
    if (!measured || !std::isfinite(*measured)) {
        r.outcome = AutoCalcOutcome::MeasuredUnreadable;
        return r;
    }
    long double m = *measured;
    if (m == 0.0L) m += kZeroMeasuredNudge;
    long double factor = *actual / m;
    if (negative) factor = -factor;
    const long double adjusted = factor * m;
    if (!std::isfinite(factor) || !std::isfinite(adjusted)) {
        r.outcome = AutoCalcOutcome::ActualUnreadable;
        return r;
    }
    r.factorText = RealToText(factor, 6);
    r.adjustedText = RealToText(adjusted, 6);
    return r;
}

AutoCalculateDialog::AutoCalculateDialog(const QString& measured, MessageSink* messages, QWidget* parent)
    : QuietKeysDialog(
          parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      messages_(messages) {
    setObjectName(QStringLiteral("autoCalculateDialog"));
    setWindowIcon(MakeWindowIcon(WindowIcon::AutoCalculate));
    setProperty("controlId", 4000);
    setWindowTitle(QString::fromLatin1(kAutoCalculateCaption));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Measured Voltage"), this), 4005, "measuredLabel"), 0, 0);
    measured_ = Tag(new QLabel(this), 4004, "measuredValue");
    measured_->setTextFormat(Qt::PlainText);
    measured_->setText(measured.left(kLiveTextMax));
    grid->addWidget(measured_, 0, 1);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Enter Actual Voltage"), this), 4002, "actualLabel"), 1, 0);
    actual_ = Tag(new QLineEdit(this), 4001, "actualEdit");
    KeyFilter::Attach(actual_, KeyFilterKind::Adjustment);
    SetSpokenName(actual_, QStringLiteral("Actual voltage"));
    grid->addWidget(actual_, 1, 1);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Adjusted Voltage"), this), 4008, "adjustedLabel"), 2, 0);
    adjusted_ = Tag(new QLabel(this), 4009, "adjustedValue");
    adjusted_->setTextFormat(Qt::PlainText);
    grid->addWidget(adjusted_, 2, 1);
    grid->addWidget(Tag(new QLabel(QStringLiteral("Adjustment Value"), this), 4011, "factorLabel"), 3, 0);
    factor_ = Tag(new QLabel(this), 4010, "factorValue");
    factor_->setTextFormat(Qt::PlainText);
    grid->addWidget(factor_, 3, 1);

    auto button = [this](const char* caption, int id, const char* name) {
        auto* b = Tag(new QPushButton(QString::fromLatin1(caption), this), id, name);
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    auto* calculate = button("Calculate", 4003, "calculateButton");
    auto* ok = button("OK", 4006, "okButton");
    auto* cancel = button("Cancel", 4007, "cancelButton");
    connect(calculate, &QPushButton::clicked, this, &AutoCalculateDialog::OnCalculate);
    connect(ok, &QPushButton::clicked, this, &AutoCalculateDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    grid->addWidget(calculate, 0, 2);
    grid->addWidget(ok, 2, 2);
    grid->addWidget(cancel, 3, 2);
}

QString AutoCalculateDialog::factorText() const { return factor_->text(); }

void AutoCalculateDialog::OnCalculate() {
    const std::string actual = actual_->text().toStdString();
    if (actual.empty()) {
        messages_.Notice(this, kEnterActualText);
        return;
    }
    const AutoCalcResult r = AutoCalculate(measured_->text().toStdString(), actual);
    switch (r.outcome) {
        case AutoCalcOutcome::Done:
            factor_->setText(QString::fromStdString(r.factorText));
            adjusted_->setText(QString::fromStdString(r.adjustedText));
            return;
        case AutoCalcOutcome::ActualUnreadable:
            messages_.Notice(this, kEnterActualText);
            return;
        case AutoCalcOutcome::MeasuredUnreadable:
            // No reading to scale (a switched-off channel): nothing to compute,
            // and OK then says that no value was calculated.
            return;
    }
}

void AutoCalculateDialog::OnOk() {
    if (factor_->text().isEmpty()) {
        messages_.Notice(this, kNotCalculatedText);
        return;
    }
    accept();
}

}  // namespace kestrane::ui
