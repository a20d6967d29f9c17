// Appends a whole text to a descriptor or takes it back: a write cut short
// (a full disk) is truncated away again, so a reader never finds half a line.
// Shared by the channel log files and the logger's row files.
#pragma once

#include <string_view>

namespace kestrane {

// Writes all of `bytes` to `fd` (opened with O_APPEND), retrying on EINTR.
// Returns 0 on success, otherwise the errno of the failed write (EIO when
// the system wrote nothing without saying why); a partial write is undone
// where the descriptor is a regular file.
int AppendWhole(int fd, std::string_view bytes);

}  // namespace kestrane
