#include "acquisition/log_failure_report.h"

#include <cstring>

namespace kestrane {
namespace {

const char* StepText(LogWriteStep step) {
    switch (step) {
        case LogWriteStep::Folder:
            return "cannot create the folder of";
        case LogWriteStep::Open:
            return "cannot open";
        case LogWriteStep::Write:
            return "cannot write a record to";
        case LogWriteStep::NoSuchChannel:
            return "no such channel for";
        case LogWriteStep::Written:
            break;
    }
    return "cannot write";
}

}  // namespace

std::string ChannelLogSource(int channel) { return "Channel " + std::to_string(channel) + " log"; }

std::string LogFailureLine(std::string_view source, std::string_view path, const LogWriteResult& result) {
    std::string line(source);
    line += ": ";
    line += StepText(result.step);
    line += ' ';
    line += path;
    line += ": ";
    line += result.error != 0 ? std::strerror(result.error) : "unknown error";
    line += "; records are being lost";
    return line;
}

std::string LogRecoveryLine(std::string_view source, std::string_view path, long lostRecords) {
    std::string line(source);
    line += ": writing ";
    line += path;
    line += " works again; ";
    line += std::to_string(lostRecords);
    line += lostRecords == 1 ? " record was lost" : " records were lost";
    return line;
}

LogFailureReporter::LogFailureReporter(Listener listener, std::FILE* stream)
    : listener_(std::move(listener)), stream_(stream) {}

void LogFailureReporter::Note(std::string_view source, std::string_view path, const LogWriteResult& result) {
    auto it = sources_.find(source);
    if (result) {
        if (it == sources_.end()) return;
        const long lost = it->second.lost;
        sources_.erase(it);
        Emit({std::string(source), true, LogRecoveryLine(source, path, lost)});
        return;
    }
    if (it == sources_.end()) it = sources_.emplace(std::string(source), SourceState{}).first;
    ++it->second.lost;
    if (it->second.reported.insert({result.step, result.error}).second) {
        Emit({std::string(source), false, LogFailureLine(source, path, result)});
    }
}

bool LogFailureReporter::failing(std::string_view source) const {
    return sources_.find(source) != sources_.end();
}

void LogFailureReporter::Emit(const LogFailureNote& note) {
    if (stream_ != nullptr) {
        std::fprintf(stream_, "%s\n", note.line.c_str());
        std::fflush(stream_);
    }
    if (listener_) listener_(note);
}

}  // namespace kestrane
