// Per-channel log files: one line per logging tick with the local date and
// time and the channel's shown reading, appended to the channel's file,
// which is deleted and restarted once it has grown beyond its size limit.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "acquisition/channel_model.h"

namespace kestrane {

// Local wall-clock time, broken down; an interface so tests pin the time.
class LocalTimeSource {
public:
    virtual ~LocalTimeSource() = default;
    virtual std::tm LocalNow() = 0;
};

// The system's local time (current time-zone rules).
class SystemLocalTime final : public LocalTimeSource {
public:
    std::tm LocalNow() override;
};

// "07 Dec 2026;01:49:10 PM": English month abbreviation and AM/PM whatever
// the locale, so the separators always stand at bytes 11 and 23 and the
// chart can read the fields at fixed positions. Out-of-range fields are
// clamped so the layout never changes.
std::string FormatLogTimestamp(const std::tm& local);

// One record: timestamp, ";", the shown text (at most 31 characters), CR LF.
std::string BuildLogRecord(const std::tm& local, std::string_view shown);

// Full path of a channel's log file: VMnLOGPATH immediately followed by
// VMnLOGFILENAME, with no separator put in between.
std::string LogFilePath(const ChannelSettings& settings);

// Log folder proposed for a channel that has none: the program's folder
// (ending with "/"), the board's product ID text and "/".
std::string DefaultLogFolder(std::string_view programDir, std::string_view pid);

// Where writing one record stopped, and the errno of that step.
enum class LogWriteStep {
    Written,        // the record is in the file
    Folder,         // the folder did not exist and could not be made
    Open,           // the file could not be opened or created
    Write,          // the write failed (a full disk); nothing of the record stays
    NoSuchChannel,  // a channel number outside 1..6
};

struct LogWriteResult {
    LogWriteStep step = LogWriteStep::Written;
    int error = 0;  // errno of the failed step, 0 when written
    explicit operator bool() const { return step == LogWriteStep::Written; }
};

// Logging tick of one channel (timer 10 + n): creates the folder (one
// level), deletes the file when it is larger than the size limit, then
// appends one record with `shown`, whatever it holds (an empty text, "  DISABLED").
// A failure loses only this record; the result says which step failed and
// why, for LogFailureReporter (log_failure_report.h) to tell the user.
LogWriteResult WriteLogRecord(const ChannelSettings& settings, std::string_view shown, LocalTimeSource& time);

// The same for channel 1..6 of the loaded settings and its shown text.
LogWriteResult WriteLogRecord(int channel, const BoardSettings& settings, const ChannelStates& states,
                              LocalTimeSource& time);

}  // namespace kestrane
