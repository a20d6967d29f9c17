// The lock is an flock on "board-<PID>.lock" in a private folder: the kernel
// releases it with the owner's last descriptor, however the owner ends. The
// owner then writes its name and process number into the file for others to
// show. The file itself is never trusted alone: /proc/locks says which
// process really holds the lock, so contents left by an owner that died, or
// not yet rewritten by a new one, never name the wrong program.
#include "acquisition/board_owner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestrane {
namespace {

constexpr std::size_t kProgramMax = 64;
constexpr std::size_t kRecordMax = 256;
constexpr long kPidMax = 0x7fffffffL;
// A holder that has just taken the lock writes its record right after; how
// often and how long a reader waits for that before it falls back.
constexpr int kReadAttempts = 20;
constexpr auto kReadPause = std::chrono::milliseconds(5);

bool IsNameChar(char c) { return c >= 0x20 && c < 0x7f; }

std::string CleanProgram(std::string_view program) {
    std::string clean;
    for (const char c : program.substr(0, kProgramMax)) clean.push_back(IsNameChar(c) ? c : '?');
    return clean;
}

// The product ID text in upper case, or empty unless it is 1 to 8 hex digits.
std::string NormalBoard(std::string_view board) {
    if (board.empty() || board.size() > 8) return {};
    std::string upper;
    for (const char c : board) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return upper;
}

// The processes holding an flock on the file (dev, ino), from /proc/locks;
// nullopt when that table cannot be read.
std::optional<std::vector<long>> FlockHolders(dev_t dev, ino_t ino) {
    std::ifstream in("/proc/locks");
    if (!in) return std::nullopt;
    std::vector<long> pids;
    std::string line;
    while (std::getline(in, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5678 0 EOF"; waiters carry "->".
        std::istringstream fields(line);
        std::string id, type, mode, access, where;
        long pid = 0;
        if (!(fields >> id >> type >> mode >> access >> pid >> where)) continue;
        if (type != "FLOCK" || pid <= 0) continue;
        unsigned int major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (makedev(major, minor) == dev && inode == static_cast<unsigned long long>(ino))
            pids.push_back(pid);
    }
    return pids;
}

std::string ProgramOfProcess(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return CleanProgram(name);
}

bool ProcessExists(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

std::string ReadRecord(int fd) {
    char buf[kRecordMax];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

BoardOwner ReadHolder(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    std::optional<std::vector<long>> holders;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(kReadPause);
        const BoardOwner recorded = ParseOwnerRecord(ReadRecord(fd));
        holders = FlockHolders(st.st_dev, st.st_ino);
        if (recorded.pid == 0) continue;
        if (holders ? std::find(holders->begin(), holders->end(), recorded.pid) != holders->end()
                    : ProcessExists(recorded.pid)) {
            return recorded;
        }
    }
    // The record never matched: name the holder from the kernel's own table.
    if (holders && !holders->empty()) return {ProgramOfProcess(holders->front()), holders->front()};
    return {};
}

}  // namespace

std::string BoardLockFolder(const char* xdgRuntimeDir, uid_t uid) {
    if (xdgRuntimeDir != nullptr && xdgRuntimeDir[0] == '/') return std::string(xdgRuntimeDir) + "/kestrane";
    return "/tmp/kestrane-" + std::to_string(uid);
}

std::string DefaultBoardLockFolder() { return BoardLockFolder(std::getenv("XDG_RUNTIME_DIR"), ::getuid()); }

int PreparePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return EPERM;
    return 0;
}

std::string OwnerStatusText(const BoardOwner& owner) {
    if (owner.program.empty() || owner.pid <= 0) return "Logged by another program";
    return "Logged by " + owner.program + " (process " + std::to_string(owner.pid) + ")";
}

std::string LoggerRefusalText(std::string_view board, const BoardOwner& owner) {
    std::string line = "kestrane-logger: board " + CleanProgram(board) + " is already logged by ";
    if (owner.program.empty() || owner.pid <= 0) return line + "another program";
    return line + owner.program + " (process " + std::to_string(owner.pid) + ")";
}

std::string FormatOwnerRecord(const BoardOwner& owner) {
    return CleanProgram(owner.program) + "\n" + std::to_string(owner.pid) + "\n";
}

BoardOwner ParseOwnerRecord(std::string_view bytes) {
    const std::size_t nameEnd = bytes.find('\n');
    if (nameEnd == std::string_view::npos || nameEnd == 0 || nameEnd > kProgramMax) return {};
    const std::string_view name = bytes.substr(0, nameEnd);
    if (!std::all_of(name.begin(), name.end(), IsNameChar)) return {};
    const std::string_view rest = bytes.substr(nameEnd + 1);
    const std::size_t pidEnd = rest.find('\n');
    if (pidEnd == std::string_view::npos || pidEnd == 0 || pidEnd > 10) return {};
    long pid = 0;
    for (const char c : rest.substr(0, pidEnd)) {
        if (c < '0' || c > '9') return {};
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0 || pid > kPidMax) return {};
    return {std::string(name), pid};
}

BoardOwnerLock::BoardOwnerLock(std::string folder) : folder_(std::move(folder)) {}

BoardOwnerLock::~BoardOwnerLock() { Release(); }

std::string BoardOwnerLock::LockPath(std::string_view board) const {
    const std::string normal = NormalBoard(board);
    if (normal.empty()) return {};
    return folder_ + "/board-" + normal + ".lock";
}

BoardClaimResult BoardOwnerLock::TryAcquire(std::string_view board, std::string_view program) {
    const std::string path = LockPath(board);
    if (path.empty()) return {BoardClaim::Unavailable, {}, EINVAL};
    const std::string normal = NormalBoard(board);
    if (owned() && board_ == normal) return {BoardClaim::Owned, {}, 0};
    Release();

    if (const int error = PreparePrivateFolder(folder_); error != 0)
        return {BoardClaim::Unavailable, {}, error};
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return {BoardClaim::Unavailable, {}, errno};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        BoardClaimResult result{BoardClaim::Unavailable, {}, error};
        if (error == EWOULDBLOCK) {
            result = {BoardClaim::HeldBy, ReadHolder(fd), 0};
            // No holder could be named: it may have ended while we looked.
            if (result.owner.pid == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
                result = {BoardClaim::Owned, {}, 0};
        }
        if (result.claim != BoardClaim::Owned) {
            ::close(fd);
            return result;
        }
    }
    // Ours now. The record only helps others name us; if it cannot be
    // written they fall back to the kernel's lock table.
    const std::string record = FormatOwnerRecord({std::string(program), static_cast<long>(::getpid())});
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::pwrite(fd, record.data(), record.size(), 0);
    }
    fd_ = fd;
    board_ = normal;
    return {BoardClaim::Owned, {}, 0};
}

void BoardOwnerLock::Release() {
    if (fd_ < 0) return;
    // Empty the record first so nobody reads our name after we are gone.
    [[maybe_unused]] const int rc = ::ftruncate(fd_, 0);
    ::close(fd_);  // drops the flock
    fd_ = -1;
    board_.clear();
}

}  // namespace kestrane
