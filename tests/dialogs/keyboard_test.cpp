// The client driven from the keyboard alone: Tab walks the main window in
// reading order, Space presses Connect, Edit and Disconnect, Escape closes
// the Options dialog without saving, Enter presses nothing and Ctrl+Q
// closes the window; and every control of the main window and the dialogs
// has an accessible name that tells it from its neighbours.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include "dialog_test_support.h"
#include "ui/auto_calculate_dialog.h"
#include "ui/filter_dialog.h"
#include "ui/logging_dialog.h"
#include "ui/options_dialog.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

QWidget* Focus() { return QApplication::focusWidget(); }

// The focused control's object name; an editable combo box's text field
// answers for its box.
QString FocusName() {
    QWidget* w = Focus();
    if (w == nullptr) return QStringLiteral("(none)");
    if (qobject_cast<QComboBox*>(w->parentWidget()) != nullptr) w = w->parentWidget();
    return w->objectName();
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Focus(), key, modifiers);
}

// Every widget a user works with (not labels, frames or layouts' boxes).
bool IsControl(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QProgressBar*>(w) || w->inherits("QPlainTextEdit") || w->inherits("QListWidget");
}

// The controls of `window` whose accessible name is empty or repeats
// another control's, as "objectName 'name'".
QStringList UnnamedOrAmbiguous(QWidget* window) {
    QStringList bad;
    QMap<QString, QString> seen;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!IsControl(w) || w->isHidden()) continue;
        // An editable combo box's field shares its box's name on purpose.
        if (qobject_cast<QComboBox*>(w->parentWidget()) != nullptr) continue;
        // On Linux Qt names a combo box by its current text; the name is
        // announced for its text field.
        if (auto* box = qobject_cast<QComboBox*>(w); box != nullptr && box->lineEdit() != nullptr)
            w = box->lineEdit();
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        const QString name = a ? a->text(QAccessible::Name) : QString();
        if (name.trimmed().isEmpty() || seen.contains(name))
            bad << QStringLiteral("%1 '%2' (also %3)").arg(w->objectName(), name, seen.value(name));
        seen.insert(name, w->objectName());
    }
    return bad;
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation(Simulation({"12.5", "3.3"})); }

    void connectEditEscapeAndDisconnectFromTheKeyboard() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&s.w()));
        s.w().deviceSelector()->setFocus();
        QCOMPARE(FocusName(), QStringLiteral("deviceSelector"));

        // Reading order along the device row; Enter presses nothing.
        QStringList walked;
        for (int i = 0; i < 4; ++i) {
            Press(Qt::Key_Tab);
            walked << FocusName();
        }
        QCOMPARE(walked,
                 (QStringList{"addDeviceButton", "setDefaultButton", "deleteDeviceButton", "connectButton"}));
        Press(Qt::Key_Return);
        Press(Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(s.w().connectButton()->isEnabled());
        Press(Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().connectButton()->isEnabled(), kWaitMs);

        // Connected: Connect is off, so Tab goes on from Disconnect to
        // each row's Value and Edit in turn.
        s.w().findChild<QPushButton*>(QStringLiteral("disconnectButton"))->setFocus();
        walked.clear();
        for (int i = 0; i < 4; ++i) {
            Press(Qt::Key_Tab);
            walked << FocusName();
        }
        QCOMPARE(walked, (QStringList{"valueEdit1", "editButton1", "valueEdit2", "editButton2"}));
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(FocusName(), QStringLiteral("valueEdit2"));
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(FocusName(), QStringLiteral("editButton1"));

        // Edit opens the channel's Options; Escape closes it unsaved.
        bool escaped = false;
        WhenModalOpens(QStringLiteral("optionsDialog"), [&](QDialog* d) {
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("nameEdit"));
            name->setFocus();
            QTest::keyClicks(name, QStringLiteral("Changed"));
            QTest::keyClick(name, Qt::Key_Return);
            QVERIFY(d->isVisible());
            QTest::keyClick(name, Qt::Key_Escape);
            escaped = !d->isVisible() && d->result() == QDialog::Rejected;
        });
        Press(Qt::Key_Space);
        QVERIFY(escaped);
        QCOMPARE(s.StoredChannel(1).vmName, StandardRow().settings.channels[0].vmName);

        // Focus comes back to Edit once the window is active again.
        s.w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&s.w()));
        QCOMPARE(FocusName(), QStringLiteral("editButton1"));

        // Back to Disconnect and press it.
        for (int i = 0; i < 2; ++i) Press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(FocusName(), QStringLiteral("disconnectButton"));
        Press(Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(s.w().connectButton()->isEnabled(), kWaitMs);

        Press(Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!s.w().isVisible());
    }

    // While connected, the arrow keys over the device selector change no
    // board: they disconnect first, as opening its list does.
    void arrowKeysOverTheSelectorDisconnectFirst() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().connectButton()->isEnabled(), kWaitMs);
        const QString board = s.w().deviceSelector()->currentText();
        QTest::keyClick(s.w().deviceSelector(), Qt::Key_Down);
        QVERIFY(s.w().connectButton()->isEnabled());
        QCOMPARE(s.w().deviceSelector()->currentText(), board);
    }

    void everyControlHasItsOwnAccessibleName() {
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().connectButton()->isEnabled(), kWaitMs);
        QCOMPARE(UnnamedOrAmbiguous(&s.w()), QStringList());
        auto* value = s.w().findChild<QLineEdit*>(QStringLiteral("valueEdit3"));
        QCOMPARE(QAccessible::queryAccessibleInterface(value)->text(QAccessible::Name),
                 QStringLiteral("VoltMeter 3 value"));
        auto* edit = s.w().findChild<QPushButton*>(QStringLiteral("editButton6"));
        QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name),
                 QStringLiteral("Edit VoltMeter 6"));
        QCOMPARE(edit->text(), QStringLiteral("Edit"));  // the visible text is the system's own
        // A gauge tells its value.
        auto* gauge = s.w().findChild<QProgressBar*>(QStringLiteral("gauge1"));
        QAccessibleInterface* g = QAccessible::queryAccessibleInterface(gauge);
        QCOMPARE(g->text(QAccessible::Name), QStringLiteral("VoltMeter 1 gauge"));
        QVERIFY(g->valueInterface() != nullptr);
        QCOMPARE(g->valueInterface()->currentValue().toInt(), gauge->value());

        OptionsDialog options(s.Context(), 1, &s.w());
        QCOMPARE(UnnamedOrAmbiguous(&options), QStringList());
        const QMap<QString, QString> expected{
            {"highMaxEdit", "High band MAX"},
            {"lowMinEdit", "Low band MIN"},
            {"highFileBrowse", "Browse for the high band program"},
            {"lowNormSoundBrowse", "Browse for the low normal band sound"},
            {"highEnableCheck", "Enable high band"},
            {"liveGauge", "Current reading gauge"},
        };
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            QWidget* w = options.findChild<QWidget*>(it.key());
            QVERIFY2(w != nullptr, qPrintable(it.key()));
            QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), it.value());
        }
        QCOMPARE(options.findChild<QPushButton*>(QStringLiteral("highFileBrowse"))->text(),
                 QStringLiteral("...."));

        LoggingDialog logging(s.Context(), 1, &s.w());
        QCOMPARE(UnnamedOrAmbiguous(&logging), QStringList());
        FilterDialog filter(s.Context(), 1, &s.w());
        QCOMPARE(UnnamedOrAmbiguous(&filter), QStringList());
        AutoCalculateDialog calc(QStringLiteral("+ 12.500"), &s.messages, &s.w());
        QCOMPARE(UnnamedOrAmbiguous(&calc), QStringList());
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    KeyboardTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "keyboard_test.moc"
