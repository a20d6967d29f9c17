#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <array>

#include "acquisition/intervals.h"
#include "common/numtext.h"
#include "settings/settings_database.h"
#include "settings/text_cut.h"
#include "ui/auto_calculate_dialog.h"
#include "ui/control_tag.h"
#include "ui/filter_dialog.h"
#include "ui/key_filter.h"
#include "ui/logo_image.h"
#include "ui/main_window.h"
#include "validators/validators.h"

namespace kestrane::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString BarStyle(bool positive) {
    return positive ? QStringLiteral("QProgressBar::chunk{background-color:rgb(0,255,0);}")
                    : QStringLiteral("QProgressBar::chunk{background-color:rgb(255,0,0);}");
}

}  // namespace

std::string OptionsCaption(int channel) { return "Voltmeter " + IntToText(channel) + " Options"; }

std::string FieldText(const QString& text, std::size_t maxBytes) {
    return CutUtf8(text.toStdString(), maxBytes);
}

OptionsDialog::OptionsDialog(const DialogContext& context, int channel, QWidget* parent)
    : QuietKeysDialog(
          parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context),
      channel_(channel),
      messages_(context.messages) {
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowIcon(MakeWindowIcon(WindowIcon::Options));
    setProperty("controlId", 1100);
    setSizeGripEnabled(true);
    BuildControls();

    KeyFilter::Attach(amp_, KeyFilterKind::Digits);
    KeyFilter::Attach(millivolt_, KeyFilterKind::Digits);
    KeyFilter::Attach(precision_, KeyFilterKind::Precision);
    KeyFilter::Attach(adjustment_, KeyFilterKind::Adjustment);
    for (QLineEdit* limit : {highMax_, highMin_, lowMax_, lowMin_})
        KeyFilter::Attach(limit, KeyFilterKind::Limit);
    KeyFilter::Attach(name_, KeyFilterKind::Text);
    KeyFilter::Attach(notes_, KeyFilterKind::Text);

    for (const std::string& text : TestEveryTexts()) {
        highTestEvery_->addItem(Q(text));
        lowTestEvery_->addItem(Q(text));
    }
    setWindowTitle(Q(OptionsCaption(channel_)));

    liveTimer_ = new QTimer(this);
    liveTimer_->setObjectName(QStringLiteral("liveTimer%1").arg(channel_));
    connect(liveTimer_, &QTimer::timeout, this, &OptionsDialog::LiveTick);
    liveTimer_->start(kLiveDisplayPeriodMs);

    LoadFields();
    LiveTick();
}

void OptionsDialog::BuildControls() {
    // The frames, each with a grid of its own, placed in one of the three
    // bands of the dialog: the top row, the channel's own settings, and the
    // four alarm reactions in two columns.
    enum Band { kTopBand, kMiddleBand, kTriggerBand };
    struct GroupSpec {
        int id;
        const char* name;
        const char* caption;
        Band band;
        int row, col, rowSpan;
    };
    enum Group {
        kPolling,
        kMode,
        kName,
        kShunt,
        kNotes,
        kTune,
        kLive,
        kHigh,
        kLow,
        kHighNorm,
        kLowNorm,
        kTopRow,  // the top row itself, outside any frame
    };
    static constexpr GroupSpec kGroups[] = {
        {1001, "pollingGroup", "Voltmeter Polling", kTopBand, 0, 0, 1},
        {1101, "modeGroup", "Voltmeter Mode", kTopBand, 0, 1, 1},
        {1109, "nameGroup", "Voltmeter Name (20 Chars Max)", kMiddleBand, 0, 0, 1},
        {1104, "shuntGroup", "Shunt Properties", kMiddleBand, 1, 0, 1},
        {1112, "notesGroup", "Voltmeter Notes", kMiddleBand, 0, 1, 2},
        {1115, "fineTuneGroup", "Fine Tune", kMiddleBand, 0, 2, 1},
        {1165, "liveGroup", "Current Voltmeter Reading", kMiddleBand, 1, 2, 1},
        {1132, "highTriggerGroup", "High Trigger", kTriggerBand, 0, 0, 1},
        {1146, "lowTriggerGroup", "Low Trigger", kTriggerBand, 0, 1, 1},
        {1160, "highNormalGroup", "High Normal Trigger", kTriggerBand, 1, 0, 1},
        {1163, "lowNormalGroup", "Low Normal Trigger", kTriggerBand, 1, 1, 1},
    };

    // Every control in tab order, with the frame and grid cell it sits in.
    // The Play Sound and Execute File captions are labels on their row.
    enum class Kind { Check, Radio, Label, Edit, Notes, TestEvery, Button, Browse, Gauge };
    struct ControlSpec {
        Kind kind;
        int id;
        const char* name;
        const char* caption;
        Group group;
        int row, col, colSpan;
        QLineEdit* OptionsDialog::*edit;  // an edit, or the field a browse button fills
        QCheckBox* OptionsDialog::*check;
        QRadioButton* OptionsDialog::*radio;
        QComboBox* OptionsDialog::*combo;
        QLabel* OptionsDialog::*label;
        void (OptionsDialog::*action)();
        bool sound;  // a browse button for a sound file
    };
    using D = OptionsDialog;
    struct Make {
        static constexpr ControlSpec At(Kind kind, int id, const char* name, const char* caption, Group group,
                                        int row, int col, int colSpan = 1) {
            ControlSpec c{};
            c.kind = kind;
            c.id = id;
            c.name = name;
            c.caption = caption;
            c.group = group;
            c.row = row;
            c.col = col;
            c.colSpan = colSpan;
            return c;
        }
    };
    constexpr auto Check = [](int id, const char* name, const char* caption, Group g, int row, int col,
                              QCheckBox* D::*member) {
        ControlSpec c = Make::At(Kind::Check, id, name, caption, g, row, col);
        c.check = member;
        return c;
    };
    constexpr auto Radio = [](int id, const char* name, const char* caption, Group g, int row, int col,
                              QRadioButton* D::*member) {
        ControlSpec c = Make::At(Kind::Radio, id, name, caption, g, row, col);
        c.radio = member;
        return c;
    };
    constexpr auto Label = [](int id, const char* name, const char* caption, Group g, int row, int col,
                              QLabel* D::*member = nullptr) {
        ControlSpec c = Make::At(Kind::Label, id, name, caption, g, row, col);
        c.label = member;
        return c;
    };
    constexpr auto Edit = [](int id, const char* name, Group g, int row, int col, QLineEdit* D::*member,
                             int colSpan = 1) {
        ControlSpec c = Make::At(Kind::Edit, id, name, "", g, row, col, colSpan);
        c.edit = member;
        return c;
    };
    constexpr auto Notes = [](int id, const char* name, Group g, int row, int col) {
        return Make::At(Kind::Notes, id, name, "", g, row, col);
    };
    constexpr auto TestEvery = [](int id, const char* name, Group g, int row, int col,
                                  QComboBox* D::*member) {
        ControlSpec c = Make::At(Kind::TestEvery, id, name, "", g, row, col, 2);
        c.combo = member;
        return c;
    };
    constexpr auto Button = [](int id, const char* name, const char* caption, Group g, int row, int col,
                               void (D::*action)()) {
        ControlSpec c = Make::At(Kind::Button, id, name, caption, g, row, col);
        c.action = action;
        return c;
    };
    constexpr auto BrowseButton = [](int id, const char* name, Group g, int row, int col,
                                     QLineEdit* D::*target, bool sound) {
        ControlSpec c = Make::At(Kind::Browse, id, name, "....", g, row, col);
        c.edit = target;
        c.sound = sound;
        return c;
    };
    constexpr auto Gauge = [](int id, const char* name, Group g, int row, int col, int colSpan) {
        return Make::At(Kind::Gauge, id, name, "", g, row, col, colSpan);
    };
    static constexpr ControlSpec kControls[] = {
        Check(1189, "pollingCheck", "Polling enabled", kPolling, 0, 0, &D::polling_),
        Radio(1102, "voltmeterRadio", "Voltmeter", kMode, 0, 0, &D::voltmeter_),
        Radio(1103, "shuntRadio", "Shunt", kMode, 0, 1, &D::shunt_),
        Button(1148, "okButton", "OK", kTopRow, 0, 3, &D::OnOk),
        Button(1149, "cancelButton", "CANCEL", kTopRow, 0, 4, &D::OnCancel),
        Edit(1110, "nameEdit", kName, 0, 0, &D::name_),
        Label(1105, "ampLabel", "Amp Rating", kShunt, 0, 0, &D::ampLabel_),
        Edit(1106, "ampEdit", kShunt, 0, 1, &D::amp_),
        Label(1108, "millivoltLabel", "Millivolt Rating", kShunt, 1, 0, &D::millivoltLabel_),
        Edit(1107, "millivoltEdit", kShunt, 1, 1, &D::millivolt_),
        Notes(1113, "notesEdit", kNotes, 0, 0),
        Label(1117, "precisionLabel", "Precision", kTune, 0, 0),
        Edit(1116, "precisionEdit", kTune, 0, 1, &D::precision_),
        Label(1121, "placesLabel", "(Decimal Places 0-6)", kTune, 0, 2),
        Label(1119, "adjustmentLabel", "Adjustment", kTune, 1, 0),
        Edit(1118, "adjustmentEdit", kTune, 1, 1, &D::adjustment_),
        Button(1188, "autoCalcButton", "Auto Calc", kTune, 1, 2, &D::OnAutoCalc),
        Edit(1167, "liveValueEdit", kLive, 0, 0, &D::liveValue_),
        Button(1190, "filterButton", "Filter", kLive, 0, 1, &D::OnFilter),
        Gauge(1166, "liveGauge", kLive, 1, 0, 2),
        Check(1131, "highEnableCheck", "ENABLE", kHigh, 0, 0, &D::highEnable_),
        Label(1130, "highMaxLabel", "High Trigger Value (MAX)", kHigh, 1, 0),
        Edit(1129, "highMaxEdit", kHigh, 1, 1, &D::highMax_, 2),
        Label(1127, "highMinLabel", "High Trigger Value (MIN)", kHigh, 2, 0),
        Edit(1128, "highMinEdit", kHigh, 2, 1, &D::highMin_, 2),
        Label(1126, "highTestEveryLabel", "Test Every", kHigh, 3, 0),
        TestEvery(1125, "highTestEveryBox", kHigh, 3, 1, &D::highTestEvery_),
        Label(1111, "highSoundGroup", "Play Sound", kHigh, 4, 0),
        Edit(1123, "highSoundEdit", kHigh, 4, 1, &D::highSound_),
        BrowseButton(1124, "highSoundBrowse", kHigh, 4, 2, &D::highSound_, true),
        Label(1114, "highFileGroup", "Execute File", kHigh, 5, 0),
        Edit(1120, "highFileEdit", kHigh, 5, 1, &D::highFile_),
        BrowseButton(1122, "highFileBrowse", kHigh, 5, 2, &D::highFile_, false),
        Check(1133, "lowEnableCheck", "ENABLE", kLow, 0, 0, &D::lowEnable_),
        Label(1136, "lowMinLabel", "Low Trigger Value (MIN)", kLow, 1, 0),
        Edit(1137, "lowMinEdit", kLow, 1, 1, &D::lowMin_, 2),
        Label(1134, "lowMaxLabel", "Low Trigger Value (MAX)", kLow, 2, 0),
        Edit(1135, "lowMaxEdit", kLow, 2, 1, &D::lowMax_, 2),
        Label(1138, "lowTestEveryLabel", "Test Every", kLow, 3, 0),
        TestEvery(1139, "lowTestEveryBox", kLow, 3, 1, &D::lowTestEvery_),
        Label(1142, "lowSoundGroup", "Play Sound", kLow, 4, 0),
        Edit(1140, "lowSoundEdit", kLow, 4, 1, &D::lowSound_),
        BrowseButton(1141, "lowSoundBrowse", kLow, 4, 2, &D::lowSound_, true),
        Label(1145, "lowFileGroup", "Execute File", kLow, 5, 0),
        Edit(1143, "lowFileEdit", kLow, 5, 1, &D::lowFile_),
        BrowseButton(1144, "lowFileBrowse", kLow, 5, 2, &D::lowFile_, false),
        Label(1159, "highNormSoundGroup", "Play Sound", kHighNorm, 0, 0),
        Edit(1156, "highNormSoundEdit", kHighNorm, 0, 1, &D::highNormSound_),
        BrowseButton(1155, "highNormSoundBrowse", kHighNorm, 0, 2, &D::highNormSound_, true),
        Label(1158, "highNormFileGroup", "Execute File", kHighNorm, 1, 0),
        Edit(1157, "highNormFileEdit", kHighNorm, 1, 1, &D::highNormFile_),
        BrowseButton(1154, "highNormFileBrowse", kHighNorm, 1, 2, &D::highNormFile_, false),
        Label(1162, "lowNormSoundGroup", "Play Sound", kLowNorm, 0, 0),
        Edit(1164, "lowNormSoundEdit", kLowNorm, 0, 1, &D::lowNormSound_),
        BrowseButton(1151, "lowNormSoundBrowse", kLowNorm, 0, 2, &D::lowNormSound_, true),
        Label(1161, "lowNormFileGroup", "Execute File", kLowNorm, 1, 0),
        Edit(1153, "lowNormFileEdit", kLowNorm, 1, 1, &D::lowNormFile_),
        BrowseButton(1150, "lowNormFileBrowse", kLowNorm, 1, 2, &D::lowNormFile_, false),
    };

    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(6);
    QGridLayout* bands[3] = {new QGridLayout(), new QGridLayout(), new QGridLayout()};
    for (QGridLayout* band : bands) outer->addLayout(band);
    // The top row: the two frames at the left, OK and CANCEL at the right.
    bands[kTopBand]->setColumnStretch(2, 1);
    bands[kMiddleBand]->setColumnStretch(1, 1);
    bands[kTriggerBand]->setColumnStretch(0, 1);
    bands[kTriggerBand]->setColumnStretch(1, 1);

    std::array<QGridLayout*, std::size(kGroups) + 1> grids{};
    for (std::size_t g = 0; g < std::size(kGroups); ++g) {
        const GroupSpec& spec = kGroups[g];
        auto* box = Tag(new QGroupBox(QString::fromLatin1(spec.caption), this), spec.id, spec.name);
        auto* grid = new QGridLayout(box);
        grid->setContentsMargins(8, 4, 8, 6);
        grid->setVerticalSpacing(4);
        bands[spec.band]->addWidget(box, spec.row, spec.col, spec.rowSpan, 1);
        grids[g] = grid;
        if (g == kShunt) shuntGroup_ = box;
    }
    grids[kTopRow] = bands[kTopBand];

    for (const ControlSpec& spec : kControls) {
        QGridLayout* grid = grids[static_cast<std::size_t>(spec.group)];
        QWidget* parent = grid->parentWidget() ? grid->parentWidget() : this;
        const QString caption = QString::fromLatin1(spec.caption);
        QWidget* w = nullptr;
        switch (spec.kind) {
            case Kind::Check:
                w = this->*spec.check = new QCheckBox(caption, parent);
                break;
            case Kind::Radio:
                w = this->*spec.radio = new QRadioButton(caption, parent);
                break;
            case Kind::Label: {
                auto* label = new QLabel(caption, parent);
                if (spec.label) this->*spec.label = label;
                w = label;
                break;
            }
            case Kind::Edit: {
                auto* edit = new QLineEdit(parent);
                this->*spec.edit = edit;
                w = edit;
                break;
            }
            case Kind::Notes:
                notes_ = new QPlainTextEdit(parent);
                notes_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                notes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                notes_->setMinimumWidth(220);
                notes_->setTabChangesFocus(true);
                w = notes_;
                break;
            case Kind::TestEvery: {
                auto* box = new QComboBox(parent);
                box->setEditable(true);
                box->setInsertPolicy(QComboBox::NoInsert);
                this->*spec.combo = box;
                w = box;
                break;
            }
            case Kind::Button:
            case Kind::Browse: {
                auto* button = new QPushButton(caption, parent);
                button->setAutoDefault(false);
                button->setDefault(false);
                if (spec.kind == Kind::Button) {
                    connect(button, &QPushButton::clicked, this, spec.action);
                } else {
                    button->setMaximumWidth(48);
                    QLineEdit* target = this->*spec.edit;
                    // A path field gets the room beside its browse button.
                    target->setMinimumWidth(200);
                    const bool sound = spec.sound;
                    connect(button, &QPushButton::clicked, this,
                            [this, target, sound] { Browse(target, sound); });
                }
                w = button;
                break;
            }
            case Kind::Gauge:
                liveGauge_ = new QProgressBar(parent);
                liveGauge_->setRange(0, 100);
                liveGauge_->setTextVisible(false);
                liveGauge_->setStyleSheet(BarStyle(true));
                liveGauge_->setProperty("barColour", QColor(0, 255, 0));
                w = liveGauge_;
                break;
        }
        grid->addWidget(Tag(w, spec.id, spec.name), spec.row, spec.col, 1, spec.colSpan);
    }

    precision_->setAlignment(Qt::AlignCenter);
    liveValue_->setReadOnly(true);
    connect(voltmeter_, &QRadioButton::clicked, this, [this] { SetShuntFieldsEnabled(false); });
    connect(shunt_, &QRadioButton::clicked, this, [this] { SetShuntFieldsEnabled(true); });
}

void OptionsDialog::LoadFields() {
    const ChannelSettings& c =
        context_.window->core().settings().channels[static_cast<std::size_t>(channel_ - 1)];
    precision_->setText(Q(c.precision));
    adjustment_->setText(Q(c.adj));
    name_->setText(Q(c.vmName));
    polling_->setChecked(c.IsPolled());
    const bool voltmeter = !c.IsShunt();
    (voltmeter ? voltmeter_ : shunt_)->setChecked(true);
    SetShuntFieldsEnabled(!voltmeter);
    notes_->setPlainText(Q(NotesForEdit(c.notes)));
    // What the box shows of the stored notes, so OK can tell them unchanged.
    shownNotes_ = notes_->toPlainText().toStdString();
    amp_->setText(Q(c.amp));
    millivolt_->setText(Q(c.millivolt));
    highMax_->setText(Q(c.highTriggerMax));
    highMin_->setText(Q(c.highTriggerMin));
    highSound_->setText(Q(c.highSound));
    highFile_->setText(Q(c.highFile));
    highEnable_->setChecked(c.HighBandEnabled());
    lowMax_->setText(Q(c.lowTriggerMax));
    lowMin_->setText(Q(c.lowTriggerMin));
    lowSound_->setText(Q(c.lowSound));
    lowFile_->setText(Q(c.lowFile));
    lowEnable_->setChecked(c.LowBandEnabled());
    highNormSound_->setText(Q(c.highNormSound));
    highNormFile_->setText(Q(c.highNormFile));
    lowNormSound_->setText(Q(c.lowNormSound));
    lowNormFile_->setText(Q(c.lowNormFile));
    // The stored repeat texts are shown as they are, not looked up.
    highTestEvery_->setEditText(Q(c.highTestEvery));
    lowTestEvery_->setEditText(Q(c.lowTestEvery));
}

void OptionsDialog::SetShuntFieldsEnabled(bool enabled) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{amp_, millivolt_, ampLabel_, millivoltLabel_, shuntGroup_})
        w->setEnabled(enabled);
}

void OptionsDialog::LiveTick() {
    const QString text = context_.window->channelValueText(channel_).left(kLiveTextMax);
    if (liveValue_->text() != text) liveValue_->setText(text);
    const bool positive = text.startsWith(QLatin1Char('+'));
    const QColor colour = positive ? QColor(0, 255, 0) : QColor(255, 0, 0);
    if (liveGauge_->property("barColour").value<QColor>() != colour) {
        liveGauge_->setStyleSheet(BarStyle(positive));
        liveGauge_->setProperty("barColour", colour);
    }
    // The live gauge keeps its 0..100 range whatever the main gauge's is.
    liveGauge_->setValue(std::clamp(context_.window->channelGaugePosition(channel_), 0, 100));
    update();
}

void OptionsDialog::Browse(QLineEdit* target, bool sound) {
    const std::optional<std::string> chosen = context_.files->OpenFile(
        context_.window, sound ? kFindSoundTitle : kFindProgramTitle, sound ? kSoundFilter : kProgramFilter,
        context_.lastChosenFile ? *context_.lastChosenFile : std::string());
    if (!chosen || chosen->empty()) return;
    if (context_.lastChosenFile) *context_.lastChosenFile = *chosen;
    target->setText(Q(*chosen));
}

void OptionsDialog::OnAutoCalc() {
    AutoCalculateDialog dialog(liveValue_->text(), context_.messages, this);
    if (dialog.exec() == QDialog::Accepted) adjustment_->setText(dialog.factorText());
}

void OptionsDialog::OnFilter() {
    FilterDialog dialog(context_, channel_, this);
    dialog.exec();
}

void OptionsDialog::OnOk() {
    AcquisitionSession& core = context_.window->core();
    ChannelSettings c = core.settings().channels[static_cast<std::size_t>(channel_ - 1)];
    c.notes = NotesForStore(notes_->toPlainText().toStdString(), shownNotes_, c.notes, kNotesFieldMax);
    c.vmName = FieldText(name_->text(), kShortFieldMax);
    c.adj = FieldText(adjustment_->text(), kShortFieldMax);
    c.precision = FieldText(precision_->text(), kShortFieldMax);
    c.amp = FieldText(amp_->text(), kShortFieldMax);
    c.millivolt = FieldText(millivolt_->text(), kShortFieldMax);
    c.highTriggerMax = FieldText(highMax_->text(), kShortFieldMax);
    c.highTriggerMin = FieldText(highMin_->text(), kShortFieldMax);
    c.lowTriggerMax = FieldText(lowMax_->text(), kShortFieldMax);
    c.lowTriggerMin = FieldText(lowMin_->text(), kShortFieldMax);
    c.highTestEvery = FieldText(highTestEvery_->currentText(), kShortFieldMax);
    c.lowTestEvery = FieldText(lowTestEvery_->currentText(), kShortFieldMax);
    c.highFile = FieldText(highFile_->text(), kPathFieldMax);
    c.lowFile = FieldText(lowFile_->text(), kPathFieldMax);
    c.highSound = FieldText(highSound_->text(), kPathFieldMax);
    c.lowSound = FieldText(lowSound_->text(), kPathFieldMax);
    c.highNormSound = FieldText(highNormSound_->text(), kPathFieldMax);
    c.highNormFile = FieldText(highNormFile_->text(), kPathFieldMax);
    c.lowNormSound = FieldText(lowNormSound_->text(), kPathFieldMax);
    c.lowNormFile = FieldText(lowNormFile_->text(), kPathFieldMax);
    c.SetPolled(polling_->isChecked());
    c.SetShunt(!voltmeter_->isChecked());
    c.SetHighBandEnabled(highEnable_->isChecked());
    c.SetLowBandEnabled(lowEnable_->isChecked());

    DatabaseSettingsStore store(context_.database);
    FinishSave(this, messages_, SaveChannelOptions(core, store, channel_, c));
}

}  // namespace kestrane::ui
