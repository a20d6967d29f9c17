#include "acquisition/append_whole.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace kestrane {

int AppendWhole(int fd, std::string_view bytes) {
    struct stat before {};
    const bool knowSize = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            if (done > 0 && knowSize) {
                // Take back the partial line; nothing more to do if that fails.
                [[maybe_unused]] const int rc = ::ftruncate(fd, before.st_size);
            }
            return error;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace kestrane
