#include "settings/user_options.h"

#include <QSettings>
#include <QString>

#include "settings/install_record.h"

namespace kestrane {

bool SystemUserOptions::reconnectAutomatically() const {
    const QSettings settings(QString::fromUtf8(kRecordOrganisation), QString::fromUtf8(kRecordApplication));
    // Only a stored "true" turns it on: a hand-edited or damaged value
    // leaves the program as it behaves by default.
    return settings.value(QString::fromUtf8(kReconnectKey)).toString() == QStringLiteral("true");
}

bool SystemUserOptions::SetReconnectAutomatically(bool on) {
    QSettings settings(QString::fromUtf8(kRecordOrganisation), QString::fromUtf8(kRecordApplication));
    settings.setValue(QString::fromUtf8(kReconnectKey), on);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace kestrane
