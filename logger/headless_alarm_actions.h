// Alarm actions without a desktop: programs start exactly as in the
// client (no shell, no arguments, the alarm's context in the environment);
// sounds play through the sound server's player where a server is
// reachable and are skipped silently otherwise.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QProcess>

#include "acquisition/program_trust.h"
#include "acquisition/trigger_engine.h"

namespace kestrane::logger {

class HeadlessAlarmActions final : public AlarmActions {
public:
    // At most this many sounds play at once; further ones are skipped.
    static constexpr int kMaxSounds = 4;

    HeadlessAlarmActions();
    ~HeadlessAlarmActions() override;

    void StartProgram(const std::string& path) override;
    void PlaySound(const std::string& path) override;
    void BeginAlarm(const AlarmContext& context) override { context_ = context; }
    // Programs start only when `guard` allows them; null: all do.
    void setProgramGuard(AlarmProgramGuard* guard) { guard_ = guard; }

    // True when a sound server's socket is there and its player was found.
    bool canPlaySounds() const { return !player_.isEmpty(); }

private:
    AlarmContext context_;
    AlarmProgramGuard* guard_ = nullptr;
    QString player_;  // paplay, or empty
    std::vector<std::unique_ptr<QProcess>> sounds_;
};

}  // namespace kestrane::logger
