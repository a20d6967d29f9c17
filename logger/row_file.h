// An open-data output file: CSV or JSON Lines rows appended to a file that
// is created when missing and never truncated. Each row goes out in one
// append, so a reader or a stop never sees half a row from us.
#pragma once

#include <string>

#include "acquisition/logging.h"
#include "common/open_data.h"

namespace kestrane::logger {

class RowFile {
public:
    RowFile() = default;
    ~RowFile();
    RowFile(const RowFile&) = delete;
    RowFile& operator=(const RowFile&) = delete;

    // Opens (creating) the file for appending; a CSV file that is empty,
    // or a pipe, gets the header row. False with `error` set when it cannot.
    bool Open(const std::string& path, RowFormat format, std::string& error);
    bool isOpen() const { return fd_ >= 0; }

    // Appends one row; on failure the row is lost, nothing of it stays in
    // the file, and the result carries the step and errno for
    // LogFailureReporter (Open with EBADF when the file is not open).
    LogWriteResult Append(const ReadingRow& row);

private:
    int fd_ = -1;
    RowFormat format_ = RowFormat::Csv;
};

}  // namespace kestrane::logger
