// The Voltmeter Options dialog over the real window and settings database:
// opening with each mode and band switch, the band checks on OK, fields
// saved as typed and cut to their column sizes, Cancel and the close box,
// the browse buttons, a failed save, the key filters on their fields, the
// live display while the dialog runs modally, Auto Calc, the tab order, ids
// and captions, and the fit on small screens.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialog_test_support.h"
#include "ui/auto_calculate_dialog.h"
#include "ui/key_filter.h"
#include "ui/options_dialog.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

void Retype(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

}  // namespace

class OptionsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        WriteSimulation(Simulation({"12", "-3.5", "7", "0.05625", "1", "48"}));
        KeyFilter::SetBeepForTesting([] {});
    }

    void opensWithModeAndBandSwitches_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QString>("low");
        QTest::newRow("voltmeter, no band") << "VDC"
                                            << "DISABLED"
                                            << "DISABLED";
        QTest::newRow("shunt, high band") << "ADC"
                                          << "ENABLED"
                                          << "DISABLED";
        QTest::newRow("voltmeter, low band") << "VDC"
                                             << "DISABLED"
                                             << "ENABLED";
        QTest::newRow("shunt, both bands") << "ADC"
                                           << "ENABLED"
                                           << "ENABLED";
        QTest::newRow("lower-case words are off") << "vdc"
                                                  << "enabled"
                                                  << "Enabled";
    }
    void opensWithModeAndBandSwitches() {
        QFETCH(QString, mode);
        QFETCH(QString, high);
        QFETCH(QString, low);
        BoardRow row = StandardRow();
        ChannelSettings& c = row.settings.channels[1];
        c.mode = mode.toStdString();
        c.highEnable = high.toStdString();
        c.lowEnable = low.toStdString();
        c.highTriggerMax = "10";
        c.highTriggerMin = "5";
        c.lowTriggerMax = "2";
        c.lowTriggerMin = "1";
        DialogSession s;
        QVERIFY(s.Start(row));
        s.core().LoadAndShowSettings();

        OptionsDialog d(s.Context(), 2, &s.w());
        d.show();
        QCOMPARE(d.windowTitle(), QStringLiteral("Voltmeter 2 Options"));
        const bool voltmeter = mode == "VDC";
        QCOMPARE(Find<QRadioButton>(&d, "voltmeterRadio")->isChecked(), voltmeter);
        QCOMPARE(Find<QRadioButton>(&d, "shuntRadio")->isChecked(), !voltmeter);
        for (const char* name : {"ampEdit", "millivoltEdit", "ampLabel", "millivoltLabel", "shuntGroup"})
            QCOMPARE(Find<QWidget>(&d, name)->isEnabled(), !voltmeter);
        QCOMPARE(Find<QCheckBox>(&d, "highEnableCheck")->isChecked(), high == "ENABLED");
        QCOMPARE(Find<QCheckBox>(&d, "lowEnableCheck")->isChecked(), low == "ENABLED");
        for (const char* box : {"highTestEveryBox", "lowTestEveryBox"}) {
            QComboBox* b = Find<QComboBox>(&d, box);
            QCOMPARE(b->count(), 143);
            QCOMPARE(b->itemText(0), QStringLiteral("One Shot"));
            QCOMPARE(b->itemText(59), QStringLiteral("59 Secs"));
            QCOMPARE(b->itemText(60), QStringLiteral("1 Mins"));
            QCOMPARE(b->itemText(142), QStringLiteral("24 Hours"));
            QCOMPARE(b->currentText(), QStringLiteral("One Shot"));
        }

        // Clicking the radios switches the shunt fields.
        QTest::mouseClick(Find<QRadioButton>(&d, "shuntRadio"), Qt::LeftButton);
        QVERIFY(Find<QWidget>(&d, "shuntGroup")->isEnabled());
        QTest::mouseClick(Find<QRadioButton>(&d, "voltmeterRadio"), Qt::LeftButton);
        QVERIFY(!Find<QWidget>(&d, "ampEdit")->isEnabled());
        QTest::mouseClick(Find<QRadioButton>(&d, (voltmeter ? "voltmeterRadio" : "shuntRadio")),
                          Qt::LeftButton);

        // OK without changes stores the switches back in their exact words.
        Click(&d, "okButton");
        QCOMPARE(d.result(), int(QDialog::Accepted));
        const ChannelSettings stored = s.StoredChannel(2);
        QCOMPARE(QString::fromStdString(stored.mode),
                 voltmeter ? QStringLiteral("VDC") : QStringLiteral("ADC"));
        QCOMPARE(stored.highEnable, std::string(high == "ENABLED" ? "ENABLED" : "DISABLED"));
        QCOMPARE(stored.lowEnable, std::string(low == "ENABLED" ? "ENABLED" : "DISABLED"));
        QCOMPARE(stored.vmName, std::string("Reverse"));
        QCOMPARE(stored.notes, std::string("Notes for Reverse\nsecond line"));
    }

    void okChecksTheEnabledBands_data() {
        QTest::addColumn<bool>("highOn");
        QTest::addColumn<QString>("highMax");
        QTest::addColumn<QString>("highMin");
        QTest::addColumn<bool>("lowOn");
        QTest::addColumn<QString>("lowMax");
        QTest::addColumn<QString>("lowMin");
        QTest::addColumn<bool>("saved");
        QTest::newRow("high max equal to min") << true << "10"
                                               << "10" << false << ""
                                               << "" << false;
        QTest::newRow("high max below min") << true << "4.9"
                                            << "5" << false << ""
                                            << "" << false;
        QTest::newRow("high max not a number") << true << "1.2.3"
                                               << "5" << false << ""
                                               << "" << false;
        QTest::newRow("high min empty") << true << "10"
                                        << "" << false << ""
                                        << "" << false;
        QTest::newRow("high min a lone minus") << true << "10"
                                               << "-" << false << ""
                                               << "" << false;
        QTest::newRow("low max equal to min") << false << ""
                                              << "" << true << "-1"
                                              << "-1.000" << false;
        QTest::newRow("low fine, high bad") << true << "1"
                                            << "2" << true << "3"
                                            << "2" << false;
        QTest::newRow("high disabled keeps odd limits") << false << "1"
                                                        << "5" << false << "x"
                                                        << "" << true;
        QTest::newRow("both bands valid") << true << "10.5"
                                          << "10.25" << true << "-0.5"
                                          << "-12" << true;
        // 1e32 is above 5e30, but the stored 31 characters read 1e30: checked as stored.
        QTest::newRow("max above min only before its cut")
            << true << (QStringLiteral("1") + QString(32, QLatin1Char('0')))
            << (QStringLiteral("5") + QString(30, QLatin1Char('0'))) << false << ""
            << "" << false;
    }
    void okChecksTheEnabledBands() {
        QFETCH(bool, highOn);
        QFETCH(QString, highMax);
        QFETCH(QString, highMin);
        QFETCH(bool, lowOn);
        QFETCH(QString, lowMax);
        QFETCH(QString, lowMin);
        QFETCH(bool, saved);
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        const ChannelSettings before = s.StoredChannel(1);

        OptionsDialog d(s.Context(), 1, &s.w());
        d.show();
        Find<QCheckBox>(&d, "highEnableCheck")->setChecked(highOn);
        Find<QCheckBox>(&d, "lowEnableCheck")->setChecked(lowOn);
        // Program-set text: limits the filter would not let be typed.
        Find<QLineEdit>(&d, "highMaxEdit")->setText(highMax);
        Find<QLineEdit>(&d, "highMinEdit")->setText(highMin);
        Find<QLineEdit>(&d, "lowMaxEdit")->setText(lowMax);
        Find<QLineEdit>(&d, "lowMinEdit")->setText(lowMin);
        Retype(Find<QLineEdit>(&d, "nameEdit"), QStringLiteral("Changed"));
        Click(&d, "okButton");

        const ChannelSettings after = s.StoredChannel(1);
        if (!saved) {
            QCOMPARE(s.messages.shown.size(), std::size_t{1});
            QCOMPARE(s.messages.shown[0].second, std::string(kBandLimitsText));
            QVERIFY(d.isVisible());
            QCOMPARE(after.vmName, before.vmName);
            QCOMPARE(after.highEnable, before.highEnable);
            QCOMPARE(s.core().settings().channels[0].vmName, std::string("Battery"));
            return;
        }
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(after.highTriggerMax), highMax);
        QCOMPARE(QString::fromStdString(after.highTriggerMin), highMin);
        QCOMPARE(QString::fromStdString(after.lowTriggerMax), lowMax);
        QCOMPARE(QString::fromStdString(after.lowTriggerMin), lowMin);
        QCOMPARE(after.highEnable, std::string(highOn ? "ENABLED" : "DISABLED"));
        QCOMPARE(after.lowEnable, std::string(lowOn ? "ENABLED" : "DISABLED"));
        QCOMPARE(after.vmName, std::string("Changed"));
        // The reload shows the saved name in the main window's column.
        QCOMPARE(s.w().findChild<QLabel*>("nameLabel1")->text(), QStringLiteral("Changed"));
    }

    void fieldsAreSavedAsTypedAndCutToTheirColumns() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 3, &s.w());
        d.show();

        const QString forty = QStringLiteral("Forty characters of name text 0123456789");
        QCOMPARE(forty.size(), 40);
        Retype(Find<QLineEdit>(&d, "nameEdit"), forty);
        Retype(Find<QLineEdit>(&d, "precisionEdit"), QStringLiteral("66"));
        Retype(Find<QLineEdit>(&d, "adjustmentEdit"), QStringLiteral("-0.5"));
        QLineEdit* highEvery = Find<QComboBox>(&d, "highTestEveryBox")->lineEdit();
        Retype(highEvery, QStringLiteral("90 Secs"));
        Find<QComboBox>(&d, "lowTestEveryBox")->setCurrentIndex(64);  // "5 Mins"
        QPlainTextEdit* notes = Find<QPlainTextEdit>(&d, "notesEdit");
        notes->clear();
        QTest::keyClicks(notes, QStringLiteral("line one"));
        QTest::keyClick(notes, Qt::Key_Return);
        QTest::keyClick(notes, Qt::Key_Return);
        QTest::keyClicks(notes, QStringLiteral("line (three)!"));
        Find<QLineEdit>(&d, "highSoundEdit")->setText(QStringLiteral("/tmp/it's a \u00e9t\u00e9 sound.wav"));
        Find<QLineEdit>(&d, "lowNormFileEdit")->setText(QString(200, QLatin1Char('p')));
        Find<QCheckBox>(&d, "pollingCheck")->setChecked(true);
        QTest::mouseClick(Find<QRadioButton>(&d, "shuntRadio"), Qt::LeftButton);
        Retype(Find<QLineEdit>(&d, "ampEdit"), QStringLiteral("300"));
        Click(&d, "okButton");
        QCOMPARE(d.result(), int(QDialog::Accepted));

        const ChannelSettings c = s.StoredChannel(3);
        QCOMPARE(c.vmName, forty.left(31).toStdString());
        QCOMPARE(c.precision, std::string("66"));
        QCOMPARE(c.adj, std::string("-0.5"));
        QCOMPARE(c.highTestEvery, std::string("90 Secs"));
        QCOMPARE(c.lowTestEvery, std::string("5 Mins"));
        QCOMPARE(c.notes, std::string("line one\n\nline (three)!"));
        QCOMPARE(c.highSound, QStringLiteral("/tmp/it's a \u00e9t\u00e9 sound.wav").toStdString());
        QCOMPARE(c.lowNormFile, std::string(kPathFieldMax, 'p'));
        QCOMPARE(c.enable, std::string("YES"));
        QCOMPARE(c.mode, std::string("ADC"));
        QCOMPARE(c.amp, std::string("300"));

        // Reopened, the dialog shows what was stored, line breaks included.
        OptionsDialog again(s.Context(), 3, &s.w());
        QCOMPARE(Find<QPlainTextEdit>(&again, "notesEdit")->toPlainText(),
                 QStringLiteral("line one\n\nline (three)!"));
        QCOMPARE(Find<QComboBox>(&again, "highTestEveryBox")->currentText(), QStringLiteral("90 Secs"));
        QCOMPARE(Find<QLineEdit>(&again, "nameEdit")->text(), forty.left(31));
    }

    void notesAtTheColumnLimitAreCutOnACharacterBoundary() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 1, &s.w());
        // 510 ASCII bytes then two-byte characters: the cut may not split one.
        Find<QPlainTextEdit>(&d, "notesEdit")
            ->setPlainText(QString(510, QLatin1Char('n')) + QStringLiteral("\u00e9\u00e9"));
        Click(&d, "okButton");
        QCOMPARE(s.StoredChannel(1).notes, std::string(510, 'n'));
    }

    void okKeepsTheStoredLineEndsOfTheNotes_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("typed");  // appended in the box; empty: untouched
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("CR LF untouched")
            << QByteArray("one\r\ntwo\r\n") << QString() << QByteArray("one\r\ntwo\r\n");
        QTest::newRow("mixed untouched")
            << QByteArray("a\r\nb\nc\rd") << QString() << QByteArray("a\r\nb\nc\rd");
        QTest::newRow("CR LF edited")
            << QByteArray("one\r\ntwo") << QStringLiteral("\nthree") << QByteArray("one\r\ntwo\r\nthree");
        QTest::newRow("new notes") << QByteArray("") << QStringLiteral("first\nsecond")
                                   << QByteArray("first\r\nsecond");
        QTest::newRow("LF edited") << QByteArray("one\ntwo") << QStringLiteral("\nthree")
                                   << QByteArray("one\ntwo\nthree");
    }

    void okKeepsTheStoredLineEndsOfTheNotes() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, typed);
        QFETCH(QByteArray, expected);
        BoardRow row = StandardRow();
        row.settings.channels[0].notes = stored.toStdString();
        DialogSession s;
        QVERIFY(s.Start(row));
        s.core().LoadAndShowSettings();
        QCOMPARE(s.StoredChannel(1).notes, stored.toStdString());
        OptionsDialog d(s.Context(), 1, &s.w());
        QPlainTextEdit* notes = Find<QPlainTextEdit>(&d, "notesEdit");
        if (!typed.isEmpty()) notes->setPlainText(notes->toPlainText() + typed);
        Click(&d, "okButton");
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(QByteArray::fromStdString(s.StoredChannel(1).notes), expected);
        QCOMPARE(QByteArray::fromStdString(s.core().settings().channels[0].notes), expected);
    }

    void cancelEscapeAndTheCloseBoxSaveNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("escape") << "escape";
        QTest::newRow("enter, then cancel") << "enter";
    }
    void cancelEscapeAndTheCloseBoxSaveNothing() {
        QFETCH(QString, how);
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 1, &s.w());
        d.show();
        Retype(Find<QLineEdit>(&d, "nameEdit"), QStringLiteral("Unsaved"));
        Find<QCheckBox>(&d, "highEnableCheck")->setChecked(true);
        if (how == "cancel") {
            Click(&d, "cancelButton");
        } else if (how == "close") {
            d.close();
        } else if (how == "escape") {
            QTest::keyClick(Find<QLineEdit>(&d, "nameEdit"), Qt::Key_Escape);
        } else {
            QTest::keyClick(Find<QLineEdit>(&d, "nameEdit"), Qt::Key_Return);
            QVERIFY(d.isVisible());
            QVERIFY(s.messages.shown.empty());
            Click(&d, "cancelButton");
        }
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(s.StoredChannel(1).vmName, std::string("Battery"));
        QCOMPARE(s.core().settings().channels[0].vmName, std::string("Battery"));
        QCOMPARE(s.core().settings().channels[0].highEnable, std::string("DISABLED"));
    }

    void browseButtonsFillTheirFieldsAndOfferTheLastChoice_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("sound");
        QTest::newRow("1124") << "highSoundBrowse"
                              << "highSoundEdit" << true;
        QTest::newRow("1122") << "highFileBrowse"
                              << "highFileEdit" << false;
        QTest::newRow("1141") << "lowSoundBrowse"
                              << "lowSoundEdit" << true;
        QTest::newRow("1144") << "lowFileBrowse"
                              << "lowFileEdit" << false;
        QTest::newRow("1155") << "highNormSoundBrowse"
                              << "highNormSoundEdit" << true;
        QTest::newRow("1154") << "highNormFileBrowse"
                              << "highNormFileEdit" << false;
        QTest::newRow("1151") << "lowNormSoundBrowse"
                              << "lowNormSoundEdit" << true;
        QTest::newRow("1150") << "lowNormFileBrowse"
                              << "lowNormFileEdit" << false;
    }
    void browseButtonsFillTheirFieldsAndOfferTheLastChoice() {
        QFETCH(QString, button);
        QFETCH(QString, field);
        QFETCH(bool, sound);
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 1, &s.w());
        d.show();
        QLineEdit* edit = Find<QLineEdit>(&d, field.toLatin1().constData());
        edit->setText(QStringLiteral("/old/choice"));
        s.chooser.files = {"/opt/alarm/first.bin", "", "/opt/alarm/second.bin"};
        QPushButton* browse = Find<QPushButton>(&d, button.toLatin1().constData());
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(edit->text(), QStringLiteral("/opt/alarm/first.bin"));
        QTest::mouseClick(browse, Qt::LeftButton);  // cancelled: unchanged
        QCOMPARE(edit->text(), QStringLiteral("/opt/alarm/first.bin"));
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(edit->text(), QStringLiteral("/opt/alarm/second.bin"));

        QCOMPARE(s.chooser.fileRequests.size(), std::size_t{3});
        const auto& first = s.chooser.fileRequests[0];
        QCOMPARE(first.title, std::string(sound ? "Find sound file" : "Find file to execute."));
        QCOMPARE(first.startName, std::string());
        if (sound) {
            QCOMPARE(first.filter, std::string("Sound Files *.wav (*.wav);;All Files (*)"));
        } else {
            QVERIFY(first.filter.find("Executeable Files *.exe (*.exe)") == 0);
            QVERIFY(first.filter.find("Command Files *.com (*.com)") != std::string::npos);
            QVERIFY(first.filter.find("Batch Files *.bat (*.bat)") != std::string::npos);
        }
        QVERIFY(first.filter.size() > 13 && first.filter.substr(first.filter.size() - 13) == "All Files (*)");
        // The last chosen file is offered again, also after a cancel.
        QCOMPARE(s.chooser.fileRequests[1].startName, std::string("/opt/alarm/first.bin"));
        QCOMPARE(s.chooser.fileRequests[2].startName, std::string("/opt/alarm/first.bin"));
    }

    void aFailedSaveIsReportedAndKeepsTheDialogOpen() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 1, &s.w());
        d.show();
        Retype(Find<QLineEdit>(&d, "nameEdit"), QStringLiteral("Kept"));
        s.db.Close();  // every statement now fails
        Click(&d, "okButton");
        QCOMPARE(s.messages.shown.size(), std::size_t{1});
        QCOMPARE(s.messages.shown[0].second, std::string(kSaveFailedText));
        QVERIFY(d.isVisible());
        QCOMPARE(Find<QLineEdit>(&d, "nameEdit")->text(), QStringLiteral("Kept"));
        QCOMPARE(s.core().settings().channels[0].vmName, std::string("Battery"));
    }

    void keyFiltersSitOnTheirFields() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 1, &s.w());
        const struct {
            const char* field;
            int kind;  // -1: none
        } expected[] = {
            {"ampEdit", int(KeyFilterKind::Digits)},
            {"millivoltEdit", int(KeyFilterKind::Digits)},
            {"precisionEdit", int(KeyFilterKind::Precision)},
            {"adjustmentEdit", int(KeyFilterKind::Adjustment)},
            {"highMaxEdit", int(KeyFilterKind::Limit)},
            {"highMinEdit", int(KeyFilterKind::Limit)},
            {"lowMaxEdit", int(KeyFilterKind::Limit)},
            {"lowMinEdit", int(KeyFilterKind::Limit)},
            {"nameEdit", int(KeyFilterKind::Text)},
            {"notesEdit", int(KeyFilterKind::Text)},
            {"highSoundEdit", -1},
            {"lowFileEdit", -1},
            {"liveValueEdit", -1},
        };
        for (const auto& e : expected) {
            const auto filters =
                Find<QWidget>(&d, e.field)->findChildren<KeyFilter*>(QString(), Qt::FindDirectChildrenOnly);
            if (e.kind < 0) {
                QVERIFY2(filters.isEmpty(), e.field);
            } else {
                QVERIFY2(filters.size() == 1, e.field);
                QCOMPARE(int(filters[0]->kind()), e.kind);
            }
        }
        // An apostrophe cannot be typed into the name, adjustment or limits.
        for (const char* field : {"nameEdit", "adjustmentEdit", "highMaxEdit"}) {
            QLineEdit* edit = Find<QLineEdit>(&d, field);
            edit->clear();
            QTest::keyClicks(edit, QStringLiteral("1'"));
            QCOMPARE(edit->text(), QStringLiteral("1"));
        }
        QLineEdit* precision = Find<QLineEdit>(&d, "precisionEdit");
        precision->setText(QStringLiteral("3"));
        QTest::keyClick(precision, Qt::Key_7);
        QCOMPARE(precision->text(), QStringLiteral("3"));
    }

    // Tab walks the controls in the dialog's order, and every control keeps
    // its id and caption wherever the layout puts it.
    void tabOrderIdsAndCaptions() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 1, &s.w());
        d.show();
        QStringList chain;
        for (QWidget* w = d.nextInFocusChain(); w != &d; w = w->nextInFocusChain()) {
            if (!w->property("controlId").isValid() || !(w->focusPolicy() & Qt::TabFocus)) continue;
            chain << w->objectName();
        }
        const QStringList expected = {
            "pollingCheck",     "voltmeterRadio",     "shuntRadio",        "okButton",
            "cancelButton",     "nameEdit",           "ampEdit",           "millivoltEdit",
            "notesEdit",        "precisionEdit",      "adjustmentEdit",    "autoCalcButton",
            "liveValueEdit",    "filterButton",       "highEnableCheck",   "highMaxEdit",
            "highMinEdit",      "highTestEveryBox",   "highSoundEdit",     "highSoundBrowse",
            "highFileEdit",     "highFileBrowse",     "lowEnableCheck",    "lowMinEdit",
            "lowMaxEdit",       "lowTestEveryBox",    "lowSoundEdit",      "lowSoundBrowse",
            "lowFileEdit",      "lowFileBrowse",      "highNormSoundEdit", "highNormSoundBrowse",
            "highNormFileEdit", "highNormFileBrowse", "lowNormSoundEdit",  "lowNormSoundBrowse",
            "lowNormFileEdit",  "lowNormFileBrowse"};
        QCOMPARE(chain, expected);

        const struct {
            int id;
            const char* caption;
        } captions[] = {
            {1001, "Voltmeter Polling"},
            {1189, "Polling enabled"},
            {1101, "Voltmeter Mode"},
            {1102, "Voltmeter"},
            {1103, "Shunt"},
            {1109, "Voltmeter Name (20 Chars Max)"},
            {1104, "Shunt Properties"},
            {1105, "Amp Rating"},
            {1108, "Millivolt Rating"},
            {1112, "Voltmeter Notes"},
            {1115, "Fine Tune"},
            {1117, "Precision"},
            {1121, "(Decimal Places 0-6)"},
            {1119, "Adjustment"},
            {1188, "Auto Calc"},
            {1165, "Current Voltmeter Reading"},
            {1190, "Filter"},
            {1132, "High Trigger"},
            {1131, "ENABLE"},
            {1130, "High Trigger Value (MAX)"},
            {1127, "High Trigger Value (MIN)"},
            {1126, "Test Every"},
            {1111, "Play Sound"},
            {1124, "...."},
            {1114, "Execute File"},
            {1122, "...."},
            {1146, "Low Trigger"},
            {1133, "ENABLE"},
            {1136, "Low Trigger Value (MIN)"},
            {1134, "Low Trigger Value (MAX)"},
            {1138, "Test Every"},
            {1142, "Play Sound"},
            {1141, "...."},
            {1145, "Execute File"},
            {1144, "...."},
            {1160, "High Normal Trigger"},
            {1159, "Play Sound"},
            {1155, "...."},
            {1158, "Execute File"},
            {1154, "...."},
            {1163, "Low Normal Trigger"},
            {1162, "Play Sound"},
            {1151, "...."},
            {1161, "Execute File"},
            {1150, "...."},
            {1148, "OK"},
            {1149, "CANCEL"},
        };
        QMap<int, QWidget*> byId;
        for (QWidget* w : d.findChildren<QWidget*>()) {
            const QVariant id = w->property("controlId");
            if (!id.isValid()) continue;
            QVERIFY2(!byId.contains(id.toInt()), qPrintable(QString::number(id.toInt())));
            byId.insert(id.toInt(), w);
        }
        for (const auto& c : captions) {
            QWidget* w = byId.value(c.id);
            QVERIFY2(w, qPrintable(QString::number(c.id)));
            QString text;
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                text = b->text();
            else if (auto* g = qobject_cast<QGroupBox*>(w))
                text = g->title();
            else if (auto* l = qobject_cast<QLabel*>(w))
                text = l->text();
            QCOMPARE(text, QString::fromLatin1(c.caption));
            QVERIFY2(w->isVisible(), c.caption);
        }
        // Every edit, box and button of the table is there and shown.
        for (int id : {1110, 1106, 1107, 1113, 1116, 1118, 1167, 1166, 1129, 1128, 1125,
                       1123, 1120, 1135, 1137, 1139, 1140, 1143, 1156, 1157, 1164, 1153}) {
            QVERIFY2(byId.value(id) && byId.value(id)->isVisible(), qPrintable(QString::number(id)));
        }
    }

    // The whole dialog, with a title bar and frame, fits a 1366 x 768 screen
    // and a 1920 x 1080 one at 150 % (1280 x 720 device-independent pixels).
    void fitsSmallScreensWithItsTitleBar() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 1, &s.w());
        d.show();
        // Both the smallest size and the size it opens with.
        const QSize smallest = d.minimumSizeHint().expandedTo(d.minimumSize());
        constexpr int kTitleBar = 40, kFrame = 16;
        for (const QSize size : {smallest, d.sizeHint()}) {
            for (const QSize screen : {QSize(1366, 768), QSize(1280, 720)}) {
                QVERIFY2(
                    size.width() + kFrame <= screen.width() && size.height() + kTitleBar <= screen.height(),
                    qPrintable(QStringLiteral("%1 x %2 on %3 x %4")
                                   .arg(size.width())
                                   .arg(size.height())
                                   .arg(screen.width())
                                   .arg(screen.height())));
            }
        }
        // Shown at its size hint, nothing is squeezed below its own minimum.
        d.resize(d.sizeHint());
        for (QWidget* w : d.findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->property("controlId").isValid()) continue;
            const int least = std::min(w->minimumSizeHint().width(), w->maximumWidth());
            const int leastHeight = std::min(w->minimumSizeHint().height(), w->maximumHeight());
            QVERIFY2(w->width() >= least && w->height() >= leastHeight, qPrintable(w->objectName()));
        }
    }

    void liveDisplayFollowsTheMainWindowWhileModal() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QVERIFY(WaitUntil([&] { return s.w().channelValueText(1) == QStringLiteral("+ 12.000"); }));

        QString firstLive, secondLive;
        QColor secondColour;
        int liveGauge = -1, mainGauge = -2;
        WhenModalOpens(QStringLiteral("optionsDialog"), [&](QDialog* d) {
            QLineEdit* live = Find<QLineEdit>(d, "liveValueEdit");
            WaitUntil([&] { return live->text() == QStringLiteral("+ 12.000"); });
            firstLive = live->text();
            // The polling timer keeps running under the dialog.
            WriteSimulation(Simulation({"-3.5", "-3.5", "7", "0.05625", "1", "48"}));
            WaitUntil([&] { return live->text() == QStringLiteral("- 3.500"); });
            WaitUntil(
                [&] { return Find<QProgressBar>(d, "liveGauge")->value() == s.w().channelGaugePosition(1); });
            secondLive = live->text();
            secondColour = Find<QProgressBar>(d, "liveGauge")->property("barColour").value<QColor>();
            liveGauge = Find<QProgressBar>(d, "liveGauge")->value();
            mainGauge = s.w().channelGaugePosition(1);
            Click(d, "cancelButton");
        });
        QTest::mouseClick(s.w().findChild<QPushButton*>("editButton1"), Qt::LeftButton);
        QCOMPARE(firstLive, QStringLiteral("+ 12.000"));
        QCOMPARE(secondLive, QStringLiteral("- 3.500"));
        QCOMPARE(secondColour, QColor(255, 0, 0));
        QCOMPARE(liveGauge, mainGauge);
        QVERIFY(s.w().timerActive(1));
    }

    void theSessionOpensTheDialogsFromTheEditButtonsAndLoggingMenu() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow(), true));
        s.Connect();
        QString optionsTitle, loggingTitle;
        WhenModalOpens(QStringLiteral("optionsDialog"), [&](QDialog* d) {
            optionsTitle = d->windowTitle();
            Retype(Find<QLineEdit>(d, "nameEdit"), QStringLiteral("Via session"));
            Click(d, "okButton");
        });
        QTest::mouseClick(s.w().findChild<QPushButton*>("editButton6"), Qt::LeftButton);
        QCOMPARE(optionsTitle, QStringLiteral("Voltmeter 6 Options"));
        QCOMPARE(s.StoredChannel(6).vmName, std::string("Via session"));
        QCOMPARE(s.w().findChild<QLabel*>("nameLabel6")->text(), QStringLiteral("Via session"));

        WhenModalOpens(QStringLiteral("loggingDialog"), [&](QDialog* d) {
            loggingTitle = d->windowTitle();
            Click(d, "okButton");  // no file name: refused, stays open
            Click(d, "cancelButton");
        });
        s.w().findChild<QAction*>(QStringLiteral("loggingAction3"))->trigger();
        QCOMPARE(loggingTitle, QStringLiteral(" Logging Options for Voltmeter 3"));
        QCOMPARE(s.messages.shown.size(), std::size_t{1});
        QCOMPARE(s.messages.shown[0].second, std::string("Choose a Log File Name"));
    }

    void liveGaugeKeepsItsRangeForAShunt() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        // 0.05625 V over a 75 mV, 200 A shunt: 150 A, main gauge 150 of 200.
        QVERIFY(WaitUntil([&] { return s.w().channelGaugePosition(4) == 150; }));
        OptionsDialog d(s.Context(), 4, &s.w());
        d.show();
        QVERIFY(WaitUntil([&] { return Find<QProgressBar>(&d, "liveGauge")->value() == 100; }));
        QProgressBar* gauge = Find<QProgressBar>(&d, "liveGauge");
        QCOMPARE(gauge->maximum(), 100);
        QCOMPARE(gauge->property("barColour").value<QColor>(), QColor(0, 255, 0));
        QVERIFY(Find<QLineEdit>(&d, "liveValueEdit")->text().startsWith(QStringLiteral("+ 150.00")));
    }

    void filterButtonSavesTheFilterAtOnceAndKeepsTheEdits() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.core().LoadAndShowSettings();
        OptionsDialog d(s.Context(), 2, &s.w());
        d.show();
        Retype(Find<QLineEdit>(&d, "nameEdit"), QStringLiteral("Pending"));
        WhenModalOpens(QStringLiteral("filterDialog"), [&](QDialog* f) {
            Find<QCheckBox>(f, "filterEnableCheck")->setChecked(true);
            Find<QLineEdit>(f, "weightEdit")->setText(QStringLiteral("3"));
            Click(f, "okButton");
        });
        Click(&d, "filterButton");
        QCOMPARE(s.StoredChannel(2).filterWeight, std::string("3"));
        QCOMPARE(s.StoredChannel(2).filterEnable, std::string("YES"));
        QCOMPARE(s.StoredChannel(2).vmName, std::string("Reverse"));
        QVERIFY(d.isVisible());
        QCOMPARE(Find<QLineEdit>(&d, "nameEdit")->text(), QStringLiteral("Pending"));
        Click(&d, "okButton");
        QCOMPARE(s.StoredChannel(2).vmName, std::string("Pending"));
        QCOMPARE(s.StoredChannel(2).filterWeight, std::string("3"));
    }

    void autoCalcPutsTheFactorIntoTheAdjustmentField() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QVERIFY(WaitUntil([&] { return s.w().channelValueText(1) == QStringLiteral("+ 12.000"); }));
        OptionsDialog d(s.Context(), 1, &s.w());
        d.show();
        QVERIFY(WaitUntil(
            [&] { return Find<QLineEdit>(&d, "liveValueEdit")->text() == QStringLiteral("+ 12.000"); }));
        QString measured;
        WhenModalOpens(QStringLiteral("autoCalculateDialog"), [&](QDialog* a) {
            measured = Find<QLabel>(a, "measuredValue")->text();
            QTest::keyClicks(Find<QLineEdit>(a, "actualEdit"), QStringLiteral("12.6"));
            Click(a, "calculateButton");
            Click(a, "okButton");
        });
        Click(&d, "autoCalcButton");
        QCOMPARE(measured, QStringLiteral("+ 12.000"));
        QCOMPARE(Find<QLineEdit>(&d, "adjustmentEdit")->text(), QStringLiteral(" 1.050000"));

        // Cancel leaves the field alone.
        WhenModalOpens(QStringLiteral("autoCalculateDialog"), [&](QDialog* a) { Click(a, "cancelButton"); });
        Click(&d, "autoCalcButton");
        QCOMPARE(Find<QLineEdit>(&d, "adjustmentEdit")->text(), QStringLiteral(" 1.050000"));

        // Saved only with the Options dialog's OK.
        QCOMPARE(s.StoredChannel(1).adj, std::string("1"));
        Click(&d, "okButton");
        QCOMPARE(s.StoredChannel(1).adj, std::string(" 1.050000"));
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    OptionsDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "options_dialog_test.moc"
