#include "logger/headless_alarm_actions.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#include "acquisition/qt/alarm_program.h"
#include "acquisition/wav_check.h"

namespace kestrane::logger {
namespace {

// A PulseAudio or PipeWire server this user can reach: PULSE_SERVER, or
// the native socket in the runtime folder. A service without a session
// (no lingering, no audio) has neither, and alarms stay silent.
bool SoundServerReachable() {
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/pulse/native"));
}

}  // namespace

HeadlessAlarmActions::HeadlessAlarmActions() {
    if (SoundServerReachable()) player_ = QStandardPaths::findExecutable(QStringLiteral("paplay"));
}

HeadlessAlarmActions::~HeadlessAlarmActions() {
    for (auto& p : sounds_) {
        p->disconnect();
        p->kill();
        p->waitForFinished(1000);
    }
}

void HeadlessAlarmActions::StartProgram(const std::string& path) {
    // Documents have no default application here: only programs start.
    const auto program = ResolveAlarmProgram(path);
    if (!program || (guard_ && !guard_->Allows(program->toStdString()))) return;
    StartAlarmProgram(*program, context_);
}

void HeadlessAlarmActions::PlaySound(const std::string& path) {
    if (path.empty() || player_.isEmpty()) return;
    const QFileInfo info(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
    if (!info.isFile() || !info.isReadable() || info.size() > static_cast<qint64>(kMaxSoundFileBytes)) return;
    {
        QFile file(info.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly)) return;
        const QByteArray bytes = file.read(static_cast<qint64>(kMaxSoundFileBytes) + 1);
        if (!IsPlayableWav(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     static_cast<std::size_t>(bytes.size()))))
            return;
    }
    // Finished players are dropped here rather than in their own signal.
    std::erase_if(sounds_, [](const auto& p) { return p->state() == QProcess::NotRunning; });
    if (static_cast<int>(sounds_.size()) >= kMaxSounds) return;
    auto process = std::make_unique<QProcess>();
    process->setProgram(player_);
    process->setArguments({info.absoluteFilePath()});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    sounds_.push_back(std::move(process));
}

}  // namespace kestrane::logger
