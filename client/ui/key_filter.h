// Character filters of the dialogs' edit fields: each typed or pasted
// character is tested against the field's accepted set; a refused one is
// dropped with the default beep. Text set by the program is not tested.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;
class QMenu;
class QWidget;

namespace kestrane::ui {

enum class KeyFilterKind {
    Digits,        // 0-9
    Precision,     // 0-6
    Adjustment,    // 0-9 - .
    Limit,         // 0-9 . -
    Text,          // 0-9 - . ( ) ! ? & blank a-z A-Z, carriage return
    FilterWeight,  // 0-9 .
    FileName,      // 0-9 a-z A-Z .
};

inline constexpr int kBackspaceCode = 0x08;
inline constexpr int kCarriageReturnCode = 0x0D;

// Whether a filter lets the 8-bit character code through. Backspace passes
// every filter; carriage return only the text filter.
bool KeyFilterAccepts(KeyFilterKind kind, int code);

// The character a key press types, as the field would receive it:
// Backspace, Return and Enter give their control codes, Ctrl with a letter
// gives codes 1-26, otherwise the event's text (codes above 255 give 256,
// which no filter accepts). std::nullopt when the press types no character
// (arrows, Delete, Tab, Escape, modifiers alone): those are never filtered.
std::optional<int> TypedCharacter(int key, Qt::KeyboardModifiers modifiers, const QString& text);

// The part of pasted `text` a filter lets in, in order, and how many of its
// characters it refused. A line break counts as carriage return, so only a
// multi-line field with the text filter takes it; other control characters
// are always refused.
struct PastedText {
    QString accepted;
    int refused = 0;
};
PastedText FilterPastedText(KeyFilterKind kind, const QString& text, bool multiLine);

// One event filter object per field. Install with Attach(); the field
// also loses input-method composition, which would bypass the test. Enter
// in a single-line field does nothing and does not beep, whatever the kind.
// Select All, Copy, Cut, Undo and Redo keep working; Paste (its keys, the
// context menu and the middle button) inserts only what the filter accepts,
// and dropping text onto the field is switched off.
class KeyFilter final : public QObject {
    Q_OBJECT
public:
    KeyFilter(KeyFilterKind kind, QObject* parent);
    // Attaches a new filter of `kind` to `field`, owned by the field.
    static KeyFilter* Attach(QWidget* field, KeyFilterKind kind);

    KeyFilterKind kind() const { return kind_; }
    // How many typed or pasted characters this filter dropped.
    int refusedCount() const { return refused_; }
    // The field's own context menu, its Paste (named "edit-paste") going
    // through the filter; null when its Paste cannot be told apart.
    std::unique_ptr<QMenu> ContextMenu(QWidget* field);
    // Replaces the beep (tests count it; the default is QApplication::beep).
    static void SetBeepForTesting(std::function<void()> beep);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Paste(QWidget* field, bool selection);
    void Refuse(int count);

    KeyFilterKind kind_;
    int refused_ = 0;
};

}  // namespace kestrane::ui
