// The Auto Calculate Adjustment Value dialog: from the channel's reading
// and the true voltage the user types, the adjustment factor that turns
// one into the other; it hands the factor text back and saves nothing.
#pragma once

#include <string>
#include <string_view>
#include "ui/quiet_keys_dialog.h"

#include "ui/options_dialog_host.h"

class QLabel;
class QLineEdit;

namespace kestrane::ui {

inline constexpr const char* kAutoCalculateCaption = "Auto Calculate Adjustment Value";
inline constexpr const char* kEnterActualText = "Enter the actual voltage!";
inline constexpr const char* kNotCalculatedText = "The adjustment value has not been calculated!";
// Added to a measured reading of exactly zero so the factor stays finite.
inline constexpr long double kZeroMeasuredNudge = 0.000001L;

enum class AutoCalcOutcome {
    Done,
    ActualUnreadable,    // empty, not a number, or giving no finite factor
    MeasuredUnreadable,  // not a signed reading ("  DISABLED", empty)
};

struct AutoCalcResult {
    AutoCalcOutcome outcome = AutoCalcOutcome::Done;
    std::string factorText;    // RealToText(factor, 6)
    std::string adjustedText;  // RealToText(factor x measured, 6)
};

// `measuredShown` is a Value text: "+" or "-", then the magnitude (which
// normally begins with a blank). factor = actual / |measured|, negated for
// a "-" reading.
AutoCalcResult AutoCalculate(std::string_view measuredShown, std::string_view actualText);

class AutoCalculateDialog final : public QuietKeysDialog {
    Q_OBJECT
public:
    // `measured` is the Options dialog's live reading, taken once.
    AutoCalculateDialog(const QString& measured, MessageSink* messages, QWidget* parent);
    // The Adjustment Value text handed over by OK (empty before Calculate).
    QString factorText() const;

protected:
private:
    void OnCalculate();
    void OnOk();

    DialogMessages messages_;
    QLabel* measured_ = nullptr;
    QLineEdit* actual_ = nullptr;
    QLabel* adjusted_ = nullptr;
    QLabel* factor_ = nullptr;
};

}  // namespace kestrane::ui
