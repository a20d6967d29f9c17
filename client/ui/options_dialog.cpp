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
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <string>
#include <vector>

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
    SetEscapeCancels(true);
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
    using D = OptionsDialog;
    struct ControlSpec {
        Kind kind;
        int id;
        std::string name;
        const char* caption;
        Group group;
        int row, col, colSpan;
        QString spoken;                 // the screen readers' name, if the caption is not enough
        QLineEdit* D::*edit = nullptr;  // an edit, or the field a browse button fills
        QCheckBox* D::*check = nullptr;
        QRadioButton* D::*radio = nullptr;
        QComboBox* D::*combo = nullptr;
        QLabel* D::*label = nullptr;
        void (D::*action)() = nullptr;
        bool sound = false;  // a browse button for a sound file
    };
    std::vector<ControlSpec> controls;
    const auto Add = [&controls](Kind kind, int id, std::string name, const char* caption, Group g, int row,
                                 int col, int colSpan = 1, QString spoken = QString()) -> ControlSpec& {
        return controls.emplace_back(
            ControlSpec{kind, id, std::move(name), caption, g, row, col, colSpan, std::move(spoken)});
    };
    const auto Label = [&Add](int id, std::string name, const char* caption, Group g, int row, int col,
                              QLabel* D::*member = nullptr) {
        Add(Kind::Label, id, std::move(name), caption, g, row, col).label = member;
    };
    const auto Edit = [&Add](int id, std::string name, Group g, int row, int col, QLineEdit* D::*member,
                             const QString& spoken, int colSpan = 1) {
        Add(Kind::Edit, id, std::move(name), "", g, row, col, colSpan, spoken).edit = member;
    };
    const auto Button = [&Add](int id, const char* name, const char* caption, Group g, int row, int col,
                               void (D::*action)()) {
        Add(Kind::Button, id, name, caption, g, row, col).action = action;
    };

    Add(Kind::Check, 1189, "pollingCheck", "Polling enabled", kPolling, 0, 0).check = &D::polling_;
    Add(Kind::Radio, 1102, "voltmeterRadio", "Voltmeter", kMode, 0, 0).radio = &D::voltmeter_;
    Add(Kind::Radio, 1103, "shuntRadio", "Shunt", kMode, 0, 1).radio = &D::shunt_;
    Button(1148, "okButton", "OK", kTopRow, 0, 3, &D::OnOk);
    Button(1149, "cancelButton", "CANCEL", kTopRow, 0, 4, &D::OnCancel);
    Edit(1110, "nameEdit", kName, 0, 0, &D::name_, QStringLiteral("Voltmeter name"));
    Label(1105, "ampLabel", "Amp Rating", kShunt, 0, 0, &D::ampLabel_);
    Edit(1106, "ampEdit", kShunt, 0, 1, &D::amp_, QStringLiteral("Amp rating"));
    Label(1108, "millivoltLabel", "Millivolt Rating", kShunt, 1, 0, &D::millivoltLabel_);
    Edit(1107, "millivoltEdit", kShunt, 1, 1, &D::millivolt_, QStringLiteral("Millivolt rating"));
    Add(Kind::Notes, 1113, "notesEdit", "", kNotes, 0, 0, 1, QStringLiteral("Voltmeter notes"));
    Label(1117, "precisionLabel", "Precision", kTune, 0, 0);
    Edit(1116, "precisionEdit", kTune, 0, 1, &D::precision_, QStringLiteral("Precision"));
    Label(1121, "placesLabel", "(Decimal Places 0-6)", kTune, 0, 2);
    Label(1119, "adjustmentLabel", "Adjustment", kTune, 1, 0);
    Edit(1118, "adjustmentEdit", kTune, 1, 1, &D::adjustment_, QStringLiteral("Adjustment"));
    Button(1188, "autoCalcButton", "Auto Calc", kTune, 1, 2, &D::OnAutoCalc);
    Edit(1167, "liveValueEdit", kLive, 0, 0, &D::liveValue_, QStringLiteral("Current reading"));
    Button(1190, "filterButton", "Filter", kLive, 0, 1, &D::OnFilter);
    Add(Kind::Gauge, 1166, "liveGauge", "", kLive, 1, 0, 2, QStringLiteral("Current reading gauge"));

    // The four alarm reactions, each described once: the two trigger bands
    // open with ENABLE, their two limits and Test Every; every band then has
    // a Play Sound and an Execute File row with a browse button.
    struct LimitRow {
        int labelId, editId;
        const char* which;  // "Max" or "Min": object names and the readers' name
        const char* caption;
        QLineEdit* D::*edit;
    };
    struct BandSpec {
        const char* prefix;  // of the object names
        const char* spoken;  // how screen readers call the band
        Group group;
        bool trigger;
        int enableId;
        QCheckBox* D::*enable;
        LimitRow limits[2];
        int testEveryLabelId, testEveryId;
        QComboBox* D::*testEvery;
        int soundLabelId, soundId, soundBrowseId;
        QLineEdit* D::*sound;
        int fileLabelId, fileId, fileBrowseId;
        QLineEdit* D::*file;
    };
    static constexpr BandSpec kBands[] = {
        {"high",
         "High band",
         kHigh,
         true,
         1131,
         &D::highEnable_,
         {{1130, 1129, "Max", "High Trigger Value (MAX)", &D::highMax_},
          {1127, 1128, "Min", "High Trigger Value (MIN)", &D::highMin_}},
         1126,
         1125,
         &D::highTestEvery_,
         1111,
         1123,
         1124,
         &D::highSound_,
         1114,
         1120,
         1122,
         &D::highFile_},
        {"low",
         "Low band",
         kLow,
         true,
         1133,
         &D::lowEnable_,
         {{1136, 1137, "Min", "Low Trigger Value (MIN)", &D::lowMin_},
          {1134, 1135, "Max", "Low Trigger Value (MAX)", &D::lowMax_}},
         1138,
         1139,
         &D::lowTestEvery_,
         1142,
         1140,
         1141,
         &D::lowSound_,
         1145,
         1143,
         1144,
         &D::lowFile_},
        {"highNorm",
         "High normal band",
         kHighNorm,
         false,
         0,
         nullptr,
         {},
         0,
         0,
         nullptr,
         1159,
         1156,
         1155,
         &D::highNormSound_,
         1158,
         1157,
         1154,
         &D::highNormFile_},
        {"lowNorm",
         "Low normal band",
         kLowNorm,
         false,
         0,
         nullptr,
         {},
         0,
         0,
         nullptr,
         1162,
         1164,
         1151,
         &D::lowNormSound_,
         1161,
         1153,
         1150,
         &D::lowNormFile_},
    };
    for (const BandSpec& band : kBands) {
        const std::string prefix = band.prefix;
        const QString spoken = QString::fromLatin1(band.spoken);
        const QString inText = spoken.toLower();
        const Group g = band.group;
        int row = 0;
        if (band.trigger) {
            Add(Kind::Check, band.enableId, prefix + "EnableCheck", "ENABLE", g, row++, 0, 1,
                QStringLiteral("Enable ") + inText)
                .check = band.enable;
            for (const LimitRow& limit : band.limits) {
                Label(limit.labelId, prefix + limit.which + "Label", limit.caption, g, row, 0);
                Edit(limit.editId, prefix + limit.which + "Edit", g, row++, 1, limit.edit,
                     spoken + QLatin1Char(' ') + QString::fromLatin1(limit.which).toUpper(), 2);
            }
            Label(band.testEveryLabelId, prefix + "TestEveryLabel", "Test Every", g, row, 0);
            Add(Kind::TestEvery, band.testEveryId, prefix + "TestEveryBox", "", g, row++, 1, 2,
                spoken + QStringLiteral(" test every"))
                .combo = band.testEvery;
        }
        struct ActionRow {
            const char* part;  // "Sound" or "File" in the object names
            const char* caption;
            const char* what;  // what the readers hear the field holds
            int labelId, editId, browseId;
            QLineEdit* D::*edit;
            bool sound;
        };
        const ActionRow actions[] = {
            {"Sound", "Play Sound", "sound", band.soundLabelId, band.soundId, band.soundBrowseId, band.sound,
             true},
            {"File", "Execute File", "program", band.fileLabelId, band.fileId, band.fileBrowseId, band.file,
             false},
        };
        for (const ActionRow& action : actions) {
            const QString what = QString::fromLatin1(action.what);
            Label(action.labelId, prefix + action.part + "Group", action.caption, g, row, 0);
            Edit(action.editId, prefix + action.part + "Edit", g, row, 1, action.edit,
                 spoken + QLatin1Char(' ') + what);
            ControlSpec& browse =
                Add(Kind::Browse, action.browseId, prefix + action.part + "Browse", "....", g, row++, 2, 1,
                    QStringLiteral("Browse for the ") + inText + QLatin1Char(' ') + what);
            browse.edit = action.edit;
            browse.sound = action.sound;
        }
    }

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

    for (const ControlSpec& spec : controls) {
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
                    // Narrow, but never narrower than its "...." needs in
                    // the desktop's font.
                    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin) +
                                       button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
                    button->setMaximumWidth(
                        std::max(48, button->fontMetrics().horizontalAdvance(caption) + 2 * margin));
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
        grid->addWidget(Tag(w, spec.id, spec.name.c_str()), spec.row, spec.col, 1, spec.colSpan);
        if (!spec.spoken.isEmpty()) SetSpokenName(w, spec.spoken);
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
