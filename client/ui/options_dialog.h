// The Voltmeter Options dialog: edits one channel's polling, mode, shunt
// ratings, name, notes, precision, adjustment and the four alarm reactions,
// mirrors the channel's live reading, and saves with one statement.
#pragma once

#include <string>
#include <string_view>
#include "ui/quiet_keys_dialog.h"

#include "ui/options_dialog_host.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace kestrane::ui {

inline constexpr const char* kBandLimitsText =
    "Trigger Max Value MUST be greater than the Trigger Min Value!";
inline constexpr const char* kFindSoundTitle = "Find sound file";
inline constexpr const char* kFindProgramTitle = "Find file to execute.";
inline constexpr const char* kSoundFilter = "Sound Files *.wav (*.wav);;All Files (*)";
inline constexpr const char* kProgramFilter =
    "Executeable Files *.exe (*.exe);;Command Files *.com (*.com);;Batch Files *.bat (*.bat);;All Files (*)";
inline constexpr int kLiveDisplayPeriodMs = 50;
inline constexpr int kLiveTextMax = 127;

// "Voltmeter n Options".
std::string OptionsCaption(int channel);

// A field's text as stored: UTF-8, cut to `maxBytes` on a character boundary.
std::string FieldText(const QString& text, std::size_t maxBytes);

class OptionsDialog final : public QuietKeysDialog {
    Q_OBJECT
public:
    OptionsDialog(const DialogContext& context, int channel, QWidget* parent);

    int channel() const { return channel_; }
    // One live display step: Value text, bar colour and position copied
    // from the main window's row of this channel.
    void LiveTick();

protected:
private:
    void BuildControls();
    void LoadFields();
    void SetShuntFieldsEnabled(bool enabled);
    void Browse(QLineEdit* target, bool sound);
    void OnOk();
    void OnCancel() { reject(); }
    void OnAutoCalc();
    void OnFilter();

    DialogContext context_;
    int channel_;
    DialogMessages messages_;
    QTimer* liveTimer_ = nullptr;

    QCheckBox* polling_ = nullptr;
    QRadioButton* voltmeter_ = nullptr;
    QRadioButton* shunt_ = nullptr;
    QLineEdit* name_ = nullptr;
    QGroupBox* shuntGroup_ = nullptr;
    QLabel* ampLabel_ = nullptr;
    QLineEdit* amp_ = nullptr;
    QLabel* millivoltLabel_ = nullptr;
    QLineEdit* millivolt_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QLineEdit* precision_ = nullptr;
    QLineEdit* adjustment_ = nullptr;
    QLineEdit* liveValue_ = nullptr;
    QProgressBar* liveGauge_ = nullptr;
    QCheckBox* highEnable_ = nullptr;
    QLineEdit* highMax_ = nullptr;
    QLineEdit* highMin_ = nullptr;
    QComboBox* highTestEvery_ = nullptr;
    QLineEdit* highSound_ = nullptr;
    QLineEdit* highFile_ = nullptr;
    QCheckBox* lowEnable_ = nullptr;
    QLineEdit* lowMin_ = nullptr;
    QLineEdit* lowMax_ = nullptr;
    QComboBox* lowTestEvery_ = nullptr;
    QLineEdit* lowSound_ = nullptr;
    QLineEdit* lowFile_ = nullptr;
    QLineEdit* highNormSound_ = nullptr;
    QLineEdit* highNormFile_ = nullptr;
    QLineEdit* lowNormSound_ = nullptr;
    QLineEdit* lowNormFile_ = nullptr;
    std::string shownNotes_;
};

}  // namespace kestrane::ui
