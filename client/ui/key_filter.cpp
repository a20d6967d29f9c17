#include "ui/key_filter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace kestrane::ui {
namespace {

std::function<void()>& BeepHook() {
    static std::function<void()> hook;
    return hook;
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsMultiLine(const QObject* field) {
    return qobject_cast<const QPlainTextEdit*>(field) != nullptr ||
           qobject_cast<const QTextEdit*>(field) != nullptr;
}

// The keys of the editing commands that bring no outside text in.
bool IsPlainEditingShortcut(const QKeyEvent& key) {
    for (QKeySequence::StandardKey command : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut,
                                              QKeySequence::Undo, QKeySequence::Redo}) {
        if (key.matches(command)) return true;
    }
    return false;
}

}  // namespace

bool KeyFilterAccepts(KeyFilterKind kind, int code) {
    if (code == kBackspaceCode) return true;
    switch (kind) {
        case KeyFilterKind::Digits:
            return IsDigit(code);
        case KeyFilterKind::Precision:
            return code >= '0' && code <= '6';
        case KeyFilterKind::Adjustment:
        case KeyFilterKind::Limit:
            return IsDigit(code) || code == '-' || code == '.';
        case KeyFilterKind::Text:
            return IsDigit(code) || IsLetter(code) || code == '-' || code == '.' || code == '(' ||
                   code == ')' || code == '!' || code == '?' || code == '&' || code == ' ' ||
                   code == kCarriageReturnCode;
        case KeyFilterKind::FilterWeight:
            return IsDigit(code) || code == '.';
        case KeyFilterKind::FileName:
            return IsDigit(code) || IsLetter(code) || code == '.';
    }
    return false;
}

std::optional<int> TypedCharacter(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    if (key == Qt::Key_Backspace) return kBackspaceCode;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return kCarriageReturnCode;
    // Ctrl+letter types a control character, which no filter accepts. The
    // editing commands among them (Ctrl+A, C, V, X, Z) are told apart by
    // the filter before it asks for the typed character.
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier) && key >= Qt::Key_A &&
        key <= Qt::Key_Z)
        return key - Qt::Key_A + 1;
    // Navigation and editing keys (arrows, Delete, Home, Tab, Escape...)
    // type nothing, whatever text the platform attaches to them.
    if (key >= Qt::Key_Escape && key != Qt::Key_unknown) return std::nullopt;
    if (text.isEmpty()) return std::nullopt;
    if (text.size() != 1) return 256;  // composed input: several characters at once
    const char16_t unit = text.at(0).unicode();
    return unit > 0xFF ? 256 : static_cast<int>(unit);
}

PastedText FilterPastedText(KeyFilterKind kind, const QString& text, bool multiLine) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    PastedText result;
    for (const QChar ch : lines) {
        const char16_t unit = ch.unicode();
        int code = unit > 0xFF ? 256 : static_cast<int>(unit);
        if (unit == u'\n') code = multiLine ? kCarriageReturnCode : 0;
        const bool control = code < 0x20 && code != kCarriageReturnCode;
        if (!control && KeyFilterAccepts(kind, code))
            result.accepted.append(ch);
        else
            ++result.refused;
    }
    return result;
}

KeyFilter::KeyFilter(KeyFilterKind kind, QObject* parent) : QObject(parent), kind_(kind) {}

KeyFilter* KeyFilter::Attach(QWidget* field, KeyFilterKind kind) {
    auto* filter = new KeyFilter(kind, field);
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->setAcceptDrops(false);
    field->installEventFilter(filter);
    // A text box takes its mouse and menu events on its viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(field)) {
        area->viewport()->setAcceptDrops(false);
        area->viewport()->installEventFilter(filter);
    }
    return filter;
}

std::unique_ptr<QMenu> KeyFilter::ContextMenu(QWidget* field) {
    std::unique_ptr<QMenu> menu;
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        menu.reset(edit->createStandardContextMenu());
    else if (auto* notes = qobject_cast<QPlainTextEdit*>(field))
        menu.reset(notes->createStandardContextMenu());
    if (!menu) return menu;
    // Qt names none of the menu's actions; Paste is the one that shows the
    // Paste shortcut. A menu whose Paste cannot be told is not offered.
    const QString pasteKeys =
        QLatin1Char('\t') + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    bool found = false;
    for (QAction* action : menu->actions()) {
        if (!action->text().endsWith(pasteKeys)) continue;
        disconnect(action, &QAction::triggered, nullptr, nullptr);
        connect(action, &QAction::triggered, this, [this, field] { Paste(field, false); });
        action->setObjectName(QStringLiteral("edit-paste"));
        found = true;
    }
    if (!found) menu.reset();
    return menu;
}

void KeyFilter::Paste(QWidget* field, bool selection) {
    const QString text =
        QApplication::clipboard()->text(selection ? QClipboard::Selection : QClipboard::Clipboard);
    const PastedText pasted = FilterPastedText(kind_, text, IsMultiLine(field));
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        if (!edit->isReadOnly()) edit->insert(pasted.accepted);
    } else if (auto* notes = qobject_cast<QPlainTextEdit*>(field)) {
        if (!notes->isReadOnly()) notes->insertPlainText(pasted.accepted);
    }
    if (pasted.refused > 0) Refuse(pasted.refused);
}

void KeyFilter::Refuse(int count) {
    refused_ += count;
    if (BeepHook())
        BeepHook()();
    else
        QApplication::beep();
}

void KeyFilter::SetBeepForTesting(std::function<void()> beep) { BeepHook() = std::move(beep); }

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    // The field itself, also when the event came to a text box's viewport.
    auto* field = qobject_cast<QWidget*>(parent());
    switch (event->type()) {
        case QEvent::KeyPress:
            break;
        case QEvent::ContextMenu: {
            const std::unique_ptr<QMenu> menu = ContextMenu(field);
            if (!menu) return false;
            menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            // The middle button pastes the X11 selection: filtered as well.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::MiddleButton || !QApplication::clipboard()->supportsSelection())
                return false;
            if (auto* edit = qobject_cast<QLineEdit*>(field))
                edit->setCursorPosition(edit->cursorPositionAt(mouse->position().toPoint()));
            if (auto* notes = qobject_cast<QPlainTextEdit*>(field))
                notes->setTextCursor(notes->cursorForPosition(mouse->position().toPoint()));
            Paste(field, true);
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
        Paste(field, false);
        return true;
    }
    if (IsPlainEditingShortcut(*key)) return false;
    const std::optional<int> code = TypedCharacter(key->key(), key->modifiers(), key->text());
    if (!code) return false;
    // Enter has no meaning in a single-line field: it is swallowed without
    // a beep, so it neither rings for a character the field would refuse
    // nor reaches the dialog. Only a multi-line field makes it a new line.
    if (*code == kCarriageReturnCode && !IsMultiLine(watched)) return true;
    if (KeyFilterAccepts(kind_, *code)) return false;
    Refuse(1);
    return true;  // dropped: the field never sees it
}

}  // namespace kestrane::ui
