// Character filters of the dialogs' edit fields: each typed character is
// tested against the field's accepted set; a refused one is dropped with
// the default beep. Text set by the program or pasted is not tested.
#pragma once

#include <QObject>
#include <functional>
#include <optional>

class QKeyEvent;
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

// One event filter object per field. Install with Attach(); the field
// also loses input-method composition, which would bypass the test. Enter
// in a single-line field does nothing and does not beep, whatever the kind.
class KeyFilter final : public QObject {
    Q_OBJECT
public:
    KeyFilter(KeyFilterKind kind, QObject* parent);
    // Attaches a new filter of `kind` to `field`, owned by the field.
    static KeyFilter* Attach(QWidget* field, KeyFilterKind kind);

    KeyFilterKind kind() const { return kind_; }
    // How many typed characters this filter dropped.
    int refusedCount() const { return refused_; }
    // Replaces the beep (tests count it; the default is QApplication::beep).
    static void SetBeepForTesting(std::function<void()> beep);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyFilterKind kind_;
    int refused_ = 0;
};

}  // namespace kestrane::ui
