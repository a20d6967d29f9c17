// Names a control by its role and gives it its numeric id as the
// "controlId" property, so dispatch tables and tests find it either way.
#pragma once

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

}  // namespace kestrane::ui
