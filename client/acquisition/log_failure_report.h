// Tells the user when a log file stops taking records and when it takes
// them again: one line per file source and cause while the failure lasts,
// and one line when a record goes through again, on stderr and to a listener.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "acquisition/logging.h"

namespace kestrane {

// One report: the source ("Channel 3 log"), whether writing works again,
// and the whole line as it goes to stderr.
struct LogFailureNote {
    std::string source;
    bool recovered = false;
    std::string line;
};

// "Channel 3 log": the source name of channel n's log file.
std::string ChannelLogSource(int channel);

// The line for a failed record, e.g.
// "Channel 3 log: cannot write a record to /data/ch3.txt: No space left on device; records are being lost".
std::string LogFailureLine(std::string_view source, std::string_view path, const LogWriteResult& result);

// The line when writing works again, e.g.
// "Channel 3 log: writing /data/ch3.txt works again; 12 records were lost".
std::string LogRecoveryLine(std::string_view source, std::string_view path, long lostRecords);

class LogFailureReporter {
public:
    using Listener = std::function<void(const LogFailureNote&)>;

    // Lines go to `stream` (none when null) and to `listener` when set.
    explicit LogFailureReporter(Listener listener = {}, std::FILE* stream = stderr);

    // Takes the outcome of one record of `source`, written to `path`. A
    // failure is reported the first time its cause (step and errno) is seen
    // since the source last wrote a record; the first success after any
    // failure reports that writing works again, with the count of lost records.
    void Note(std::string_view source, std::string_view path, const LogWriteResult& result);

    // Whether `source`'s last record was lost.
    bool failing(std::string_view source) const;

private:
    struct SourceState {
        std::set<std::pair<LogWriteStep, int>> reported;  // causes told since the last good record
        long lost = 0;
    };
    void Emit(const LogFailureNote& note);

    Listener listener_;
    std::FILE* stream_;
    std::map<std::string, SourceState, std::less<>> sources_;
};

}  // namespace kestrane
