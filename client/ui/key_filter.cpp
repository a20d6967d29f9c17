#include "ui/key_filter.h"

#include <QApplication>
#include <QKeyEvent>
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
    // Ctrl+letter types a control character (Ctrl+C, Ctrl+V, Ctrl+X...),
    // so clipboard keys are filtered like any other typed character.
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

KeyFilter::KeyFilter(KeyFilterKind kind, QObject* parent) : QObject(parent), kind_(kind) {}

KeyFilter* KeyFilter::Attach(QWidget* field, KeyFilterKind kind) {
    auto* filter = new KeyFilter(kind, field);
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->installEventFilter(filter);
    return filter;
}

void KeyFilter::SetBeepForTesting(std::function<void()> beep) { BeepHook() = std::move(beep); }

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const std::optional<int> code = TypedCharacter(key->key(), key->modifiers(), key->text());
    if (!code) return false;
    // Enter has no meaning in a single-line field: it is swallowed without
    // a beep, so it neither rings for a character the field would refuse
    // nor reaches the dialog. Only a multi-line field makes it a new line.
    if (*code == kCarriageReturnCode && !IsMultiLine(watched)) return true;
    if (KeyFilterAccepts(kind_, *code)) return false;
    ++refused_;
    if (BeepHook())
        BeepHook()();
    else
        QApplication::beep();
    return true;  // dropped: the field never sees it
}

}  // namespace kestrane::ui
