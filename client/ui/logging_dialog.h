// The Logging dialog: switches a channel's data logging on or off and
// chooses the log file's rotation size, interval, name and folder; saves
// at once and starts, restarts or stops the channel's logging timer.
#pragma once

#include <string>
#include <string_view>
#include <vector>
#include "ui/quiet_keys_dialog.h"

#include "ui/options_dialog_host.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace kestrane::ui {

inline constexpr const char* kChooseLogNameText = "Choose a Log File Name";
inline constexpr const char* kSelectLogPathTitle = "Select Path to Log Files";

// " Logging Options for Voltmeter n" (with its leading blank).
std::string LoggingCaption(int channel);

class LoggingDialog final : public QuietKeysDialog {
    Q_OBJECT
public:
    LoggingDialog(const DialogContext& context, int channel, QWidget* parent);

    // Every close, by OK, Cancel or the close box, clears the polling
    // cycle's busy flag.
    void done(int result) override;

protected:
private:
    void OnChooseFolder();
    void OnOk();

    DialogContext context_;
    int channel_;
    std::string pid_;
    DialogMessages messages_;
    QCheckBox* enabled_ = nullptr;
    QComboBox* size_ = nullptr;
    QComboBox* interval_ = nullptr;
    QLabel* device_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    QLineEdit* path_ = nullptr;
};

}  // namespace kestrane::ui
