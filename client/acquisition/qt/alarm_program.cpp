#include "acquisition/qt/alarm_program.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "acquisition/alarm_environment.h"

namespace kestrane {

std::optional<QString> ResolveAlarmProgram(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const QString name = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    const QFileInfo info(name);
    if (info.isFile() && info.isExecutable()) return info.absoluteFilePath();
    if (info.exists() || name.contains(QLatin1Char('/'))) return std::nullopt;
    const QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty()) return std::nullopt;
    return found;
}

QProcessEnvironment AlarmProcessEnvironment(const AlarmContext& context) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [key, value] : AlarmEnvironment(context))
        env.insert(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())),
                   QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    return env;
}

bool StartAlarmProgram(const QString& program, const AlarmContext& context) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(QStringList());
    process.setProcessEnvironment(AlarmProcessEnvironment(context));
    return process.startDetached();
}

}  // namespace kestrane
