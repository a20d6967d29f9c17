// The key filters typed through real key events: each filter's accepted
// and refused characters, control keys, editing keys, characters beyond
// ASCII, pasted text going through the same filter and program-set text
// going through untested.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <memory>

#include "dialog_test_support.h"
#include "ui/key_filter.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

Q_DECLARE_METATYPE(kestrane::ui::KeyFilterKind)

namespace {
int g_beeps = 0;
}

class KeyFilterTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        KeyFilter::SetBeepForTesting([] { ++g_beeps; });
    }
    void init() { g_beeps = 0; }

    void typedCharactersKeepOnlyTheAcceptedSet_data() {
        QTest::addColumn<KeyFilterKind>("kind");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("beeps");
        using K = KeyFilterKind;
        QTest::newRow("digits") << K::Digits << "0a1-2.3'4 56789"
                                << "0123456789" << 5;
        QTest::newRow("precision 0-6") << K::Precision << "0718293-6"
                                       << "01236" << 4;
        QTest::newRow("precision 6 then 6") << K::Precision << "66"
                                            << "66" << 0;
        QTest::newRow("adjustment") << K::Adjustment << "-1+2.e5,'"
                                    << "-12.5" << 4;
        QTest::newRow("limit") << K::Limit << "-3 .2E5/"
                               << "-3.25" << 3;
        QTest::newRow("text") << K::Text << "Ab 9-.()!?&'\";:/_,@z"
                              << "Ab 9-.()!?&z" << 8;
        QTest::newRow("filter weight") << K::FilterWeight << "0-.5e,"
                                       << "0.5" << 3;
        QTest::newRow("file name") << K::FileName << "log 1-_/.txt"
                                   << "log1.txt" << 4;
    }
    void typedCharactersKeepOnlyTheAcceptedSet() {
        QFETCH(KeyFilterKind, kind);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(int, beeps);
        QLineEdit edit;
        KeyFilter* filter = KeyFilter::Attach(&edit, kind);
        QTest::keyClicks(&edit, typed);
        QCOMPARE(edit.text(), expected);
        QCOMPARE(g_beeps, beeps);
        QCOMPARE(filter->refusedCount(), beeps);
    }

    // Ctrl+letters that are no editing command type a control character,
    // which every filter refuses; Ctrl+V pastes only what the filter takes.
    void controlKeysAreFilteredButBackspaceAndNavigationPass_data() {
        QTest::addColumn<KeyFilterKind>("kind");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("expected");  // after "12" then the key
        QTest::addColumn<int>("beeps");
        using K = KeyFilterKind;
        QTest::newRow("backspace") << K::Digits << int(Qt::Key_Backspace) << 0 << "1" << 0;
        QTest::newRow("ctrl+v pastes the accepted part")
            << K::Digits << int(Qt::Key_V) << int(Qt::ControlModifier) << "1299" << 1;
        QTest::newRow("shift+insert pastes too")
            << K::Precision << int(Qt::Key_Insert) << int(Qt::ShiftModifier) << "12" << 1;
        QTest::newRow("ctrl+b types a refused character")
            << K::Limit << int(Qt::Key_B) << int(Qt::ControlModifier) << "12" << 1;
        QTest::newRow("ctrl+e types a refused character")
            << K::Text << int(Qt::Key_E) << int(Qt::ControlModifier) << "12" << 1;
        QTest::newRow("delete is no character") << K::Digits << int(Qt::Key_Delete) << 0 << "12" << 0;
        QTest::newRow("left is no character") << K::Precision << int(Qt::Key_Left) << 0 << "12" << 0;
    }
    void controlKeysAreFilteredButBackspaceAndNavigationPass() {
        QFETCH(KeyFilterKind, kind);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, expected);
        QFETCH(int, beeps);
        QApplication::clipboard()->setText(QStringLiteral("9-9"));
        QLineEdit edit;
        KeyFilter::Attach(&edit, kind);
        QTest::keyClicks(&edit, QStringLiteral("12"));
        QTest::keyClick(&edit, static_cast<Qt::Key>(key), static_cast<Qt::KeyboardModifiers>(modifiers));
        QCOMPARE(edit.text(), expected);
        QCOMPARE(g_beeps, beeps);
    }

    // Enter in a single-line field does nothing, silently, whatever its
    // filter; it reaches neither the field nor the dialog around it.
    void enterInASingleLineFieldIsSilent_data() {
        QTest::addColumn<KeyFilterKind>("kind");
        using K = KeyFilterKind;
        for (auto [name, kind] : {std::pair{"digits", K::Digits},
                                  {"precision", K::Precision},
                                  {"adjustment", K::Adjustment},
                                  {"limit", K::Limit},
                                  {"text", K::Text},
                                  {"filter weight", K::FilterWeight},
                                  {"file name", K::FileName}})
            QTest::newRow(name) << kind;
    }
    void enterInASingleLineFieldIsSilent() {
        QFETCH(KeyFilterKind, kind);
        QWidget dialog;
        int dialogKeys = 0;
        struct KeyCounter : QObject {
            int* count;
            explicit KeyCounter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::KeyPress) ++*count;
                return false;
            }
        } counter(&dialogKeys);
        dialog.installEventFilter(&counter);
        auto* edit = new QLineEdit(&dialog);
        KeyFilter* filter = KeyFilter::Attach(edit, kind);
        int returns = 0;
        connect(edit, &QLineEdit::returnPressed, [&] { ++returns; });
        QTest::keyClicks(edit, QStringLiteral("12"));
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(edit->text(), QStringLiteral("12"));
        QCOMPARE(g_beeps, 0);
        QCOMPARE(filter->refusedCount(), 0);
        QCOMPARE(returns, 0);
        QCOMPARE(dialogKeys, 0);
    }

    void charactersBeyondAsciiAreRefused() {
        QLineEdit edit;
        KeyFilter::Attach(&edit, KeyFilterKind::Text);
        for (const QString& text :
             {QStringLiteral("\u00e9"), QStringLiteral("\u20ac"), QStringLiteral("ab")}) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
            QApplication::sendEvent(&edit, &press);
        }
        QCOMPARE(edit.text(), QString());
        QCOMPARE(g_beeps, 3);
    }

    void returnMakesANewLineInTheNotes() {
        QPlainTextEdit notes;
        KeyFilter::Attach(&notes, KeyFilterKind::Text);
        QTest::keyClicks(&notes, QStringLiteral("one"));
        QTest::keyClick(&notes, Qt::Key_Return);
        QTest::keyClicks(&notes, QStringLiteral("two;"));
        QCOMPARE(notes.toPlainText(), QStringLiteral("one\ntwo"));
        QCOMPARE(g_beeps, 1);
    }

    void programTextIsNotFilteredButTheContextMenusPasteIs() {
        QLineEdit edit;
        KeyFilter* filter = KeyFilter::Attach(&edit, KeyFilterKind::Digits);
        edit.setText(QStringLiteral("set by program"));
        QCOMPARE(edit.text(), QStringLiteral("set by program"));
        edit.clear();
        QApplication::clipboard()->setText(QStringLiteral("it's -1.5"));
        const std::unique_ptr<QMenu> menu = filter->ContextMenu(&edit);
        QVERIFY(menu != nullptr);
        QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
        QVERIFY(paste != nullptr);
        paste->trigger();
        QCOMPARE(edit.text(), QStringLiteral("15"));
        QCOMPARE(g_beeps, 1);  // one beep for the whole paste
        QCOMPARE(filter->refusedCount(), 7);
        QVERIFY(!edit.acceptDrops());
    }

    // The editing keys work in a filtered field: select all, copy, cut,
    // undo, and paste into the selection, in the line and in the notes.
    void editingKeysWorkInFilteredFields() {
        QLineEdit edit;
        KeyFilter::Attach(&edit, KeyFilterKind::Limit);
        QTest::keyClicks(&edit, QStringLiteral("-12.5"));
        QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(edit.selectedText(), QStringLiteral("-12.5"));
        QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("-12.5"));
        QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(edit.text(), QString());
        QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(edit.text(), QStringLiteral("-12.5"));
        QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
        QApplication::clipboard()->setText(QStringLiteral("3 V"));
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit.text(), QStringLiteral("3"));
        QCOMPARE(g_beeps, 1);

        QPlainTextEdit notes;
        KeyFilter::Attach(&notes, KeyFilterKind::Text);
        QApplication::clipboard()->setText(QStringLiteral("one;\r\ntwo\tthree\u00e9\n"));
        QTest::keyClick(&notes, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(notes.toPlainText(), QStringLiteral("one\ntwothree\n"));
        QTest::keyClick(&notes, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&notes, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(notes.toPlainText(), QString());
        QTest::keyClick(&notes, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(notes.toPlainText(), QStringLiteral("one\ntwothree\n"));
        QCOMPARE(g_beeps, 2);
    }

    // Pasted text against each filter: what gets in is exactly what typing
    // the same characters one by one would let in.
    void pastedTextKeepsWhatTypingWould_data() {
        QTest::addColumn<KeyFilterKind>("kind");
        QTest::addColumn<QString>("pasted");
        using K = KeyFilterKind;
        QTest::newRow("digits") << K::Digits << "0a1-2.3'4 56789";
        QTest::newRow("precision") << K::Precision << "0718293-6";
        QTest::newRow("adjustment") << K::Adjustment << "-1+2.e5,'";
        QTest::newRow("limit") << K::Limit << "-3 .2E5/";
        QTest::newRow("text") << K::Text << "Ab 9-.()!?&'\";:/_,@z";
        QTest::newRow("filter weight") << K::FilterWeight << "0-.5e,";
        QTest::newRow("file name") << K::FileName << "log 1-_/.txt";
    }
    void pastedTextKeepsWhatTypingWould() {
        QFETCH(KeyFilterKind, kind);
        QFETCH(QString, pasted);
        QLineEdit typed;
        KeyFilter::Attach(&typed, kind);
        QTest::keyClicks(&typed, pasted);
        const PastedText filtered = FilterPastedText(kind, pasted, false);
        QCOMPARE(filtered.accepted, typed.text());
        QCOMPARE(filtered.refused, int(pasted.size() - typed.text().size()));
    }

    void typedCharacterOfKeyPresses_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");  // -1: no character
        QTest::newRow("letter") << int(Qt::Key_A) << 0 << "a" << int('a');
        QTest::newRow("shifted") << int(Qt::Key_ParenLeft) << int(Qt::ShiftModifier) << "(" << int('(');
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << 0 << "\b" << 8;
        QTest::newRow("enter") << int(Qt::Key_Enter) << 0 << "\r" << 13;
        QTest::newRow("ctrl+a") << int(Qt::Key_A) << int(Qt::ControlModifier) << "" << 1;
        QTest::newRow("ctrl+z") << int(Qt::Key_Z) << int(Qt::ControlModifier) << "\x1a" << 26;
        QTest::newRow("delete with text") << int(Qt::Key_Delete) << 0 << "\x7f" << -1;
        QTest::newRow("tab") << int(Qt::Key_Tab) << 0 << "\t" << -1;
        QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << "\x1b" << -1;
        QTest::newRow("shift alone") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << "" << -1;
        QTest::newRow("latin-1") << 0 << 0 << "\u00e9" << 0xE9;
        QTest::newRow("beyond latin-1") << 0 << 0 << "\u20ac" << 256;
        QTest::newRow("composed") << 0 << 0 << "ab" << 256;
    }
    void typedCharacterOfKeyPresses() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(int, code);
        const std::optional<int> got =
            TypedCharacter(key, static_cast<Qt::KeyboardModifiers>(modifiers), text);
        QCOMPARE(got.value_or(-1), code);
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    KeyFilterTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "key_filter_test.moc"
