#include "settings/install_record.h"

#include <QSettings>
#include <QString>

namespace kestrane {

std::string DatabasePathFor(const std::string& programPath) {
    if (programPath.empty()) return {};
    const std::size_t slash = programPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t nameLength = programPath.size() - nameStart;
    if (nameLength >= 4 && programPath[programPath.size() - 4] == '.') {
        return programPath.substr(0, programPath.size() - 3) + "MDB";
    }
    return programPath + ".MDB";
}

std::optional<std::string> SystemInstallRecord::programPath() const {
    const QSettings settings(QString::fromUtf8(kRecordOrganisation), QString::fromUtf8(kRecordApplication));
    const QVariant value = settings.value(QString::fromUtf8(kRecordKey));
    if (!value.isValid()) return std::nullopt;
    const std::string path = value.toString().toStdString();
    if (path.empty()) return std::nullopt;
    return path;
}

bool SystemInstallRecord::SetProgramPath(const std::string& path) {
    QSettings settings(QString::fromUtf8(kRecordOrganisation), QString::fromUtf8(kRecordApplication));
    settings.setValue(QString::fromUtf8(kRecordKey), QString::fromStdString(path));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace kestrane
