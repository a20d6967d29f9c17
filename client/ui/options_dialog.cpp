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

#include "acquisition/intervals.h"
#include "common/numtext.h"
#include "settings/settings_database.h"
#include "settings/text_cut.h"
#include "validators/validators.h"
#include "ui/auto_calculate_dialog.h"
#include "ui/control_tag.h"
#include "ui/filter_dialog.h"
#include "ui/key_filter.h"
#include "ui/logo_image.h"
#include "ui/main_window.h"

namespace kestrane::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString BarStyle(bool positive) {
    return positive ? QStringLiteral("QProgressBar::chunk{background-color:rgb(0,255,0);}")
                    : QStringLiteral("QProgressBar::chunk{background-color:rgb(255,0,0);}");
}

}  // namespace

std::string OptionsCaption(int channel) { return "Voltmeter " + IntToText(channel) + " Options"; }

std::string FieldText(const QString& text, std::size_t maxBytes) { return CutUtf8(text.toStdString(), maxBytes); }

OptionsDialog::OptionsDialog(const DialogContext& context, int channel, QWidget* parent)
    : QuietKeysDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
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
    for (QLineEdit* limit : {highMax_, highMin_, lowMax_, lowMin_}) KeyFilter::Attach(limit, KeyFilterKind::Limit);
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
    auto* outer = new QVBoxLayout(this);

    // Top row: polling, mode, OK and CANCEL.
    auto* top = new QHBoxLayout();
    auto* pollingGroup = Tag(new QGroupBox(QStringLiteral("Voltmeter Polling"), this), 1001, "pollingGroup");
    auto* pollingBox = new QHBoxLayout(pollingGroup);
    polling_ = Tag(new QCheckBox(QStringLiteral("Polling enabled"), pollingGroup), 1189, "pollingCheck");
    pollingBox->addWidget(polling_);
    top->addWidget(pollingGroup);

    auto* modeGroup = Tag(new QGroupBox(QStringLiteral("Voltmeter Mode"), this), 1101, "modeGroup");
    auto* modeBox = new QHBoxLayout(modeGroup);
    voltmeter_ = Tag(new QRadioButton(QStringLiteral("Voltmeter"), modeGroup), 1102, "voltmeterRadio");
    shunt_ = Tag(new QRadioButton(QStringLiteral("Shunt"), modeGroup), 1103, "shuntRadio");
    modeBox->addWidget(voltmeter_);
    modeBox->addWidget(shunt_);
    connect(voltmeter_, &QRadioButton::clicked, this, [this] { SetShuntFieldsEnabled(false); });
    connect(shunt_, &QRadioButton::clicked, this, [this] { SetShuntFieldsEnabled(true); });
    top->addWidget(modeGroup);
    top->addStretch(1);

    auto button = [this](QWidget* parent, const char* caption, int id, const char* name) {
        auto* b = Tag(new QPushButton(QString::fromLatin1(caption), parent), id, name);
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    auto* ok = button(this, "OK", 1148, "okButton");
    auto* cancel = button(this, "CANCEL", 1149, "cancelButton");
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    top->addWidget(ok);
    top->addWidget(cancel);
    outer->addLayout(top);

    // Name, shunt properties, notes, fine tune, live reading.
    auto* middle = new QGridLayout();
    auto* nameGroup =
        Tag(new QGroupBox(QStringLiteral("Voltmeter Name (20 Chars Max)"), this), 1109, "nameGroup");
    auto* nameBox = new QVBoxLayout(nameGroup);
    name_ = Tag(new QLineEdit(nameGroup), 1110, "nameEdit");
    nameBox->addWidget(name_);
    middle->addWidget(nameGroup, 0, 0);

    shuntGroup_ = Tag(new QGroupBox(QStringLiteral("Shunt Properties"), this), 1104, "shuntGroup");
    auto* shuntBox = new QGridLayout(shuntGroup_);
    ampLabel_ = Tag(new QLabel(QStringLiteral("Amp Rating"), shuntGroup_), 1105, "ampLabel");
    amp_ = Tag(new QLineEdit(shuntGroup_), 1106, "ampEdit");
    millivoltLabel_ = Tag(new QLabel(QStringLiteral("Millivolt Rating"), shuntGroup_), 1108, "millivoltLabel");
    millivolt_ = Tag(new QLineEdit(shuntGroup_), 1107, "millivoltEdit");
    shuntBox->addWidget(ampLabel_, 0, 0);
    shuntBox->addWidget(amp_, 0, 1);
    shuntBox->addWidget(millivoltLabel_, 1, 0);
    shuntBox->addWidget(millivolt_, 1, 1);
    middle->addWidget(shuntGroup_, 1, 0);

    auto* notesGroup = Tag(new QGroupBox(QStringLiteral("Voltmeter Notes"), this), 1112, "notesGroup");
    auto* notesBox = new QVBoxLayout(notesGroup);
    notes_ = Tag(new QPlainTextEdit(notesGroup), 1113, "notesEdit");
    notes_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    notes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    notes_->setMinimumWidth(220);
    notes_->setTabChangesFocus(true);
    notesBox->addWidget(notes_);
    middle->addWidget(notesGroup, 0, 1, 2, 1);
    middle->setColumnStretch(1, 1);

    auto* tuneGroup = Tag(new QGroupBox(QStringLiteral("Fine Tune"), this), 1115, "fineTuneGroup");
    auto* tuneBox = new QGridLayout(tuneGroup);
    precision_ = Tag(new QLineEdit(tuneGroup), 1116, "precisionEdit");
    precision_->setAlignment(Qt::AlignCenter);
    adjustment_ = Tag(new QLineEdit(tuneGroup), 1118, "adjustmentEdit");
    auto* autoCalc = button(tuneGroup, "Auto Calc", 1188, "autoCalcButton");
    connect(autoCalc, &QPushButton::clicked, this, &OptionsDialog::OnAutoCalc);
    tuneBox->addWidget(Tag(new QLabel(QStringLiteral("Precision"), tuneGroup), 1117, "precisionLabel"), 0, 0);
    tuneBox->addWidget(precision_, 0, 1);
    tuneBox->addWidget(Tag(new QLabel(QStringLiteral("(Decimal Places 0-6)"), tuneGroup), 1121, "placesLabel"),
                       0, 2);
    tuneBox->addWidget(Tag(new QLabel(QStringLiteral("Adjustment"), tuneGroup), 1119, "adjustmentLabel"), 1, 0);
    tuneBox->addWidget(adjustment_, 1, 1);
    tuneBox->addWidget(autoCalc, 1, 2);
    middle->addWidget(tuneGroup, 0, 2);

    auto* liveGroup =
        Tag(new QGroupBox(QStringLiteral("Current Voltmeter Reading"), this), 1165, "liveGroup");
    auto* liveBox = new QGridLayout(liveGroup);
    liveValue_ = Tag(new QLineEdit(liveGroup), 1167, "liveValueEdit");
    liveValue_->setReadOnly(true);
    liveGauge_ = Tag(new QProgressBar(liveGroup), 1166, "liveGauge");
    liveGauge_->setRange(0, 100);
    liveGauge_->setTextVisible(false);
    liveGauge_->setStyleSheet(BarStyle(true));
    liveGauge_->setProperty("barColour", QColor(0, 255, 0));
    auto* filter = button(liveGroup, "Filter", 1190, "filterButton");
    connect(filter, &QPushButton::clicked, this, &OptionsDialog::OnFilter);
    liveBox->addWidget(liveValue_, 0, 0);
    liveBox->addWidget(filter, 0, 1);
    liveBox->addWidget(liveGauge_, 1, 0, 1, 2);
    middle->addWidget(liveGroup, 1, 2);
    outer->addLayout(middle);

    // A sound and a program row with browse buttons.
    auto pathRow = [&](QGroupBox* inGroup, QGridLayout* grid, int row, const char* caption, int groupId,
                       const char* groupName, int editId, const char* editName, int browseId,
                       const char* browseName, bool sound) {
        auto* group = Tag(new QGroupBox(QString::fromLatin1(caption), inGroup), groupId, groupName);
        auto* box = new QHBoxLayout(group);
        auto* edit = Tag(new QLineEdit(group), editId, editName);
        edit->setMinimumWidth(240);
        auto* browse = button(group, "....", browseId, browseName);
        browse->setMaximumWidth(48);
        connect(browse, &QPushButton::clicked, this, [this, edit, sound] { Browse(edit, sound); });
        box->addWidget(edit, 1);
        box->addWidget(browse);
        grid->addWidget(group, row, 0, 1, 4);
        return edit;
    };
    auto limitRow = [&](QGroupBox* group, QGridLayout* grid, int row, const char* caption, int labelId,
                        const char* labelName, int editId, const char* editName) {
        grid->addWidget(Tag(new QLabel(QString::fromLatin1(caption), group), labelId, labelName), row, 0);
        auto* edit = Tag(new QLineEdit(group), editId, editName);
        grid->addWidget(edit, row, 1);
        return edit;
    };

    auto* triggers = new QGridLayout();
    auto* high = Tag(new QGroupBox(QStringLiteral("High Trigger"), this), 1132, "highTriggerGroup");
    auto* highGrid = new QGridLayout(high);
    highEnable_ = Tag(new QCheckBox(QStringLiteral("ENABLE"), high), 1131, "highEnableCheck");
    highGrid->addWidget(highEnable_, 0, 0);
    highMax_ = limitRow(high, highGrid, 1, "High Trigger Value (MAX)", 1130, "highMaxLabel", 1129, "highMaxEdit");
    highMin_ = limitRow(high, highGrid, 2, "High Trigger Value (MIN)", 1127, "highMinLabel", 1128, "highMinEdit");
    highGrid->addWidget(Tag(new QLabel(QStringLiteral("Test Every"), high), 1126, "highTestEveryLabel"), 3, 0);
    highTestEvery_ = Tag(new QComboBox(high), 1125, "highTestEveryBox");
    highTestEvery_->setEditable(true);
    highTestEvery_->setInsertPolicy(QComboBox::NoInsert);
    highGrid->addWidget(highTestEvery_, 3, 1);
    highSound_ = pathRow(high, highGrid, 4, "Play Sound", 1111, "highSoundGroup", 1123, "highSoundEdit", 1124,
                         "highSoundBrowse", true);
    highFile_ = pathRow(high, highGrid, 5, "Execute File", 1114, "highFileGroup", 1120, "highFileEdit", 1122,
                        "highFileBrowse", false);
    triggers->addWidget(high, 0, 0);

    auto* low = Tag(new QGroupBox(QStringLiteral("Low Trigger"), this), 1146, "lowTriggerGroup");
    auto* lowGrid = new QGridLayout(low);
    lowEnable_ = Tag(new QCheckBox(QStringLiteral("ENABLE"), low), 1133, "lowEnableCheck");
    lowGrid->addWidget(lowEnable_, 0, 0);
    lowMin_ = limitRow(low, lowGrid, 1, "Low Trigger Value (MIN)", 1136, "lowMinLabel", 1137, "lowMinEdit");
    lowMax_ = limitRow(low, lowGrid, 2, "Low Trigger Value (MAX)", 1134, "lowMaxLabel", 1135, "lowMaxEdit");
    lowGrid->addWidget(Tag(new QLabel(QStringLiteral("Test Every"), low), 1138, "lowTestEveryLabel"), 3, 0);
    lowTestEvery_ = Tag(new QComboBox(low), 1139, "lowTestEveryBox");
    lowTestEvery_->setEditable(true);
    lowTestEvery_->setInsertPolicy(QComboBox::NoInsert);
    lowGrid->addWidget(lowTestEvery_, 3, 1);
    lowSound_ = pathRow(low, lowGrid, 4, "Play Sound", 1142, "lowSoundGroup", 1140, "lowSoundEdit", 1141,
                        "lowSoundBrowse", true);
    lowFile_ = pathRow(low, lowGrid, 5, "Execute File", 1145, "lowFileGroup", 1143, "lowFileEdit", 1144,
                       "lowFileBrowse", false);
    triggers->addWidget(low, 0, 1);

    auto* highNorm = Tag(new QGroupBox(QStringLiteral("High Normal Trigger"), this), 1160, "highNormalGroup");
    auto* highNormGrid = new QGridLayout(highNorm);
    highNormSound_ = pathRow(highNorm, highNormGrid, 0, "Play Sound", 1159, "highNormSoundGroup", 1156,
                             "highNormSoundEdit", 1155, "highNormSoundBrowse", true);
    highNormFile_ = pathRow(highNorm, highNormGrid, 1, "Execute File", 1158, "highNormFileGroup", 1157,
                            "highNormFileEdit", 1154, "highNormFileBrowse", false);
    triggers->addWidget(highNorm, 1, 0);

    auto* lowNorm = Tag(new QGroupBox(QStringLiteral("Low Normal Trigger"), this), 1163, "lowNormalGroup");
    auto* lowNormGrid = new QGridLayout(lowNorm);
    lowNormSound_ = pathRow(lowNorm, lowNormGrid, 0, "Play Sound", 1162, "lowNormSoundGroup", 1164,
                            "lowNormSoundEdit", 1151, "lowNormSoundBrowse", true);
    lowNormFile_ = pathRow(lowNorm, lowNormGrid, 1, "Execute File", 1161, "lowNormFileGroup", 1153,
                           "lowNormFileEdit", 1150, "lowNormFileBrowse", false);
    triggers->addWidget(lowNorm, 1, 1);
    outer->addLayout(triggers);
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
    for (QWidget* w : std::initializer_list<QWidget*>{amp_, millivolt_, ampLabel_, millivoltLabel_, shuntGroup_})
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
    const std::optional<std::string> chosen =
        context_.files->OpenFile(context_.window, sound ? kFindSoundTitle : kFindProgramTitle,
                                 sound ? kSoundFilter : kProgramFilter,
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
    ClientCore& core = context_.window->core();
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
