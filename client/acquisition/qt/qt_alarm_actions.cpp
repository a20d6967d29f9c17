#include "acquisition/qt/qt_alarm_actions.h"

#include "acquisition/qt/alarm_program.h"
#include "acquisition/wav_check.h"

#include <algorithm>

#include <QAudioDevice>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>

namespace kestrane {

QtAlarmActions::QtAlarmActions(QObject* parent)
    : QtAlarmActions([](const QUrl& url) { return QDesktopServices::openUrl(url); }, parent) {}

QtAlarmActions::QtAlarmActions(DocumentOpener opener, QObject* parent)
    : QObject(parent), opener_(std::move(opener)) {}

QtAlarmActions::~QtAlarmActions() = default;  // effects are children and go with us

void QtAlarmActions::StartProgram(const std::string& path) {
    if (path.empty()) return;
    const auto allowed = [this](const QString& file) {
        return !guard_ || guard_->Allows(file.toStdString());
    };
    if (const auto program = ResolveAlarmProgram(path)) {
        if (allowed(*program)) StartAlarmProgram(*program, context_);
        return;
    }
    // A document's default application can run it too (a .desktop file).
    const QFileInfo info(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
    if (info.exists() && opener_ && allowed(info.absoluteFilePath()))
        opener_(QUrl::fromLocalFile(info.absoluteFilePath()));
}

void QtAlarmActions::PlaySound(const std::string& path) {
    if (path.empty()) return;
    const QFileInfo info(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
    if (!info.isFile() || !info.isReadable()) return;
    if (info.size() > static_cast<qint64>(kMaxSoundFileBytes)) return;
    {
        // A damaged file can leave the player's loader waiting for ever, and
        // releasing any sound then waits on it too: check it first.
        QFile file(info.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly)) return;
        const QByteArray bytes = file.read(static_cast<qint64>(kMaxSoundFileBytes) + 1);
        if (!IsPlayableWav(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     static_cast<std::size_t>(bytes.size())))) {
            return;
        }
    }
    // Without an output device the player never finishes and stopping it
    // can block; there is nothing to hear anyway.
    if (QMediaDevices::defaultAudioOutput().isNull()) return;

    if (static_cast<int>(sounds_.size()) >= kMaxSounds) {
        // Bounded: a device that never reports the end of a sound cannot
        // make the alarms pile up.
        QSoundEffect* oldest = sounds_.front();
        sounds_.erase(sounds_.begin());
        oldest->stop();
        oldest->deleteLater();
    }
    auto* effect = new QSoundEffect(this);  // owned by this object
    sounds_.push_back(effect);
    connect(effect, &QSoundEffect::statusChanged, this, [this, effect] {
        if (effect->status() == QSoundEffect::Error) Finished(effect);
    });
    connect(effect, &QSoundEffect::playingChanged, this, [this, effect] {
        if (!effect->isPlaying() && effect->status() != QSoundEffect::Loading) Finished(effect);
    });
    // The effect is the timer's context: once it is gone the timer is too.
    QTimer::singleShot(loadTimeoutMs_, effect, [this, effect] {
        const auto status = effect->status();
        if (status == QSoundEffect::Loading || status == QSoundEffect::Null) Finished(effect);
    });
    QTimer::singleShot(playLimitMs_, effect, [this, effect] {
        effect->stop();
        Finished(effect);
    });
    effect->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    effect->play();  // starts once loaded; returns at once
}

void QtAlarmActions::Finished(QSoundEffect* effect) {
    const auto it = std::find(sounds_.begin(), sounds_.end(), effect);
    if (it == sounds_.end()) return;  // already evicted
    sounds_.erase(it);
    // Deleted from the event loop, not inside its own signal.
    effect->deleteLater();
}

}  // namespace kestrane
