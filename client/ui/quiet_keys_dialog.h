// A modal dialog that Enter does not end: only its own buttons and the
// close box do, so a stray key never saves a user's edits. Escape is
// swallowed too, unless the dialog lets it cancel (reject) the edits.
#pragma once

#include <QDialog>
#include <QKeyEvent>

namespace kestrane::ui {

class QuietKeysDialog : public QDialog {
public:
    using QDialog::QDialog;

protected:
    // Escape then does what the dialog's Cancel button does.
    void SetEscapeCancels(bool cancels) { escapeCancels_ = cancels; }

    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Escape:
                event->accept();
                if (escapeCancels_ && event->modifiers() == Qt::NoModifier) reject();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                event->accept();
                return;
            default:
                QDialog::keyPressEvent(event);
        }
    }

private:
    bool escapeCancels_ = false;
};

}  // namespace kestrane::ui
