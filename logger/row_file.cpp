#include "logger/row_file.h"

#include "acquisition/append_whole.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrane::logger {

RowFile::~RowFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool RowFile::Open(const std::string& path, RowFormat format, std::string& error) {
    format_ = format;
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    // A pipe or terminal (/dev/stdout) is a fresh stream: it gets the
    // header too; a file only when it is empty, so appending never repeats it.
    const bool fresh = !S_ISREG(st.st_mode) || st.st_size == 0;
    if (format == RowFormat::Csv && fresh) {
        const int headerError = AppendWhole(fd_, CsvHeader());
        if (headerError != 0) {
            error = path + ": cannot write the header: " + std::strerror(headerError);
            return false;
        }
    }
    return true;
}

LogWriteResult RowFile::Append(const ReadingRow& row) {
    if (fd_ < 0) return {LogWriteStep::Open, EBADF};
    const int error = AppendWhole(fd_, FormatRow(row, format_));
    if (error != 0) return {LogWriteStep::Write, error};
    return {};
}

}  // namespace kestrane::logger
