// A modal dialog that Enter and Escape do not end: only its own buttons and
// the close box do, so a stray key never saves or discards a user's edits.
#pragma once

#include <QDialog>
#include <QKeyEvent>

namespace kestrane::ui {

class QuietKeysDialog : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Escape:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                event->accept();
                return;
            default:
                QDialog::keyPressEvent(event);
        }
    }
};

}  // namespace kestrane::ui
