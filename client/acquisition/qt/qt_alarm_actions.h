// Alarm actions on the desktop: starting the program or opening the file an
// alarm names, and playing its sound without holding up the GUI thread.
// Nothing goes through a shell, so blanks and quotes in paths are harmless.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QUrl>

#include "acquisition/program_trust.h"
#include "acquisition/trigger_engine.h"

class QSoundEffect;

namespace kestrane {

class QtAlarmActions final : public QObject, public AlarmActions {
    Q_OBJECT
public:
    // Opens a document with the desktop's default application; tests pass a
    // recorder so no real application starts.
    using DocumentOpener = std::function<bool(const QUrl&)>;

    // At most this many sounds play at once; a further one stops the oldest.
    static constexpr int kMaxSounds = 8;

    explicit QtAlarmActions(QObject* parent = nullptr);
    QtAlarmActions(DocumentOpener opener, QObject* parent);
    ~QtAlarmActions() override;

    // An executable file is started detached, with no arguments and no shell,
    // and with the alarm's context in its environment (alarm_environment.h);
    // any other existing file or folder is opened with its default
    // application; a bare program name is looked up on PATH. Anything else,
    // or a failed start, is skipped silently.
    void StartProgram(const std::string& path) override;
    void BeginAlarm(const AlarmContext& context) override { context_ = context; }
    // Programs and documents open only when `guard` allows them; null: all do.
    void setProgramGuard(AlarmProgramGuard* guard) { guard_ = guard; }

    // Plays a WAV file asynchronously; a missing or unplayable file is
    // skipped silently.
    void PlaySound(const std::string& path) override;

    int activeSounds() const { return static_cast<int>(sounds_.size()); }

    // A sound still loading after the load timeout is given up (a damaged
    // file can leave the player loading for ever), and any sound is stopped
    // after the play limit (without a sound device a sound never ends).
    // Tests shorten both.
    void setTimeoutsMs(int loadMs, int playMs) {
        loadTimeoutMs_ = loadMs;
        playLimitMs_ = playMs;
    }

private:
    void Finished(QSoundEffect* effect);

    AlarmContext context_;  // of the alarm whose actions run now
    AlarmProgramGuard* guard_ = nullptr;
    DocumentOpener opener_;
    std::vector<QSoundEffect*> sounds_;  // children of this object, oldest first
    int loadTimeoutMs_ = 10000;
    int playLimitMs_ = 120000;
};

}  // namespace kestrane
