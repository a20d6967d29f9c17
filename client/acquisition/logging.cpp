// Log record writer. Every record opens, appends to and closes the file, so
// settings changes take effect at the next tick and nothing is held open.
// A record is written with one write() on an O_APPEND descriptor; should it
// be cut short (a full disk), the file is truncated back to where it was,
// so a lost record never leaves half a line for the chart to stumble on.
// Each call says which step failed and why, so the caller can report it.
#include "acquisition/logging.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "acquisition/append_whole.h"
#include "acquisition/intervals.h"

namespace kestrane {
namespace {

constexpr std::size_t kShownMax = 31;
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::tm SystemLocalTime::LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) local = std::tm{};
    return local;
}

std::string FormatLogTimestamp(const std::tm& local) {
    const int day = std::clamp(local.tm_mday, 1, 31);
    const int month = std::clamp(local.tm_mon, 0, 11);
    const int year = std::clamp(local.tm_year + 1900, 0, 9999);
    const int hour24 = std::clamp(local.tm_hour, 0, 23);
    const int minute = std::clamp(local.tm_min, 0, 59);
    const int second = std::clamp(local.tm_sec, 0, 59);  // a leap second shows as :59
    int hour12 = hour24 % 12;
    if (hour12 == 0) hour12 = 12;
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%02d %s %04d;%02d:%02d:%02d %s", day, kMonths[month], year,
                                hour12, minute, second, hour24 < 12 ? "AM" : "PM");
    if (n < 0) return std::string();
    return std::string(buf, std::min(static_cast<std::size_t>(n), sizeof buf - 1));
}

std::string BuildLogRecord(const std::tm& local, std::string_view shown) {
    std::string record = FormatLogTimestamp(local);
    record.push_back(';');
    record.append(shown.substr(0, kShownMax));
    record.append("\r\n");
    return record;
}

std::string LogFilePath(const ChannelSettings& settings) { return settings.logPath + settings.logFileName; }

std::string DefaultLogFolder(std::string_view programDir, std::string_view pid) {
    std::string folder(programDir);
    folder.append(pid);
    folder.push_back('/');
    return folder;
}

LogWriteResult WriteLogRecord(const ChannelSettings& settings, std::string_view shown,
                              LocalTimeSource& time) {
    // One level only; an existing folder or one that cannot be made is fine
    // here, the open below decides. Why the folder could not be made is kept:
    // it names the cause better than the open's "No such file or directory".
    int folderError = 0;
    if (!settings.logPath.empty() && ::mkdir(settings.logPath.c_str(), 0777) != 0 && errno != EEXIST) {
        folderError = errno;
    }

    const std::string path = LogFilePath(settings);
    const int64_t limit = LogSizeToBytes(settings.logSize);
    struct stat st {};
    // Only regular files are ever deleted. The size is compared in full
    // 64 bits: a file past 4 GiB must not look small again.
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && static_cast<int64_t>(st.st_size) > limit) {
        ::unlink(path.c_str());  // on failure the record goes to the big file
    }

    const std::string record = BuildLogRecord(time.LocalNow(), shown);
    // O_NONBLOCK: a path naming a FIFO without a reader fails at once
    // instead of freezing the client; regular files ignore the flag.
    const FileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666));
    if (fd.get() < 0) {
        const int openError = errno;
        if (openError == ENOENT && folderError != 0) return {LogWriteStep::Folder, folderError};
        return {LogWriteStep::Open, openError};
    }
    const int writeError = AppendWhole(fd.get(), record);
    if (writeError != 0) return {LogWriteStep::Write, writeError};
    return {};
}

LogWriteResult WriteLogRecord(int channel, const BoardSettings& settings, const ChannelStates& states,
                              LocalTimeSource& time) {
    if (channel < 1 || channel > kChannelCount) return {LogWriteStep::NoSuchChannel, EINVAL};
    return WriteLogRecord(settings.channels[static_cast<std::size_t>(channel - 1)], states.at(channel).shown,
                          time);
}

}  // namespace kestrane
