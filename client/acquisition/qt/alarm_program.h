// Starting an alarm's program: an executable file, or a bare name found on
// PATH, started detached with no arguments, no shell and the alarm's
// context in its environment. Qt Core only, so the headless logger starts
// programs exactly as the desktop client does.
#pragma once

#include <optional>
#include <string>

#include <QProcessEnvironment>
#include <QString>

#include "acquisition/trigger_engine.h"

namespace kestrane {

// The executable a stored program path names: the file itself when it is
// an executable file, a bare name (no "/") looked up on PATH, else nothing.
std::optional<QString> ResolveAlarmProgram(const std::string& path);

// This process's environment plus the alarm's context variables.
QProcessEnvironment AlarmProcessEnvironment(const AlarmContext& context);

// Starts `program` detached with an empty argument list, so no part of
// the path is ever interpreted; false when it cannot be started.
bool StartAlarmProgram(const QString& program, const AlarmContext& context);

}  // namespace kestrane
