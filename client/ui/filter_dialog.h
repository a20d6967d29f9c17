// The Averaging Filter dialog: switches a channel's averaging filter on or
// off and stores its weight text; saves at once and reloads the settings.
#pragma once

#include "ui/quiet_keys_dialog.h"

#include "ui/options_dialog_host.h"

class QCheckBox;
class QLineEdit;

namespace kestrane::ui {

inline constexpr const char* kFilterCaption = "Averaging Filter";
inline constexpr const char* kInvalidFilterText = "Enter a valid Filter Value!";

class FilterDialog final : public QuietKeysDialog {
    Q_OBJECT
public:
    FilterDialog(const DialogContext& context, int channel, QWidget* parent);

protected:
private:
    void OnOk();

    DialogContext context_;
    int channel_;
    DialogMessages messages_;
    QCheckBox* enable_ = nullptr;
    QLineEdit* weight_ = nullptr;
};

}  // namespace kestrane::ui
