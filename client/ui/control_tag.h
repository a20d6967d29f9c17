// Names a control by its role and gives it its numeric id as the
// "controlId" property, so dispatch tables and tests find it either way;
// and gives a control the name screen readers announce for it.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QVariant>

namespace kestrane::ui {

template <class W>
W* Tag(W* widget, int id, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty("controlId", id);
    return widget;
}

// The accessible name, for a control whose visible caption alone does not
// say which one it is (or that has none). The visible text is untouched.
// A combo box's text field and list are announced under the same name.
inline void SetSpokenName(QWidget* widget, const QString& name) {
    widget->setAccessibleName(name);
    if (auto* box = qobject_cast<QComboBox*>(widget); box != nullptr) {
        if (box->lineEdit() != nullptr) box->lineEdit()->setAccessibleName(name);
        box->view()->setAccessibleName(name);
    }
}

}  // namespace kestrane::ui
