// One board, one owner: the first program to connect to a board holds a
// per-board lock file and with it the board's logging, alarms and metrics.
// The kernel drops the lock when the owner ends, so no stale owner remains.
#pragma once

#include <sys/types.h>
#include <string>
#include <string_view>

namespace kestrane {

// The program that owns a board. `pid` 0 means the holder could not be told.
struct BoardOwner {
    std::string program;
    long pid = 0;
};

enum class BoardClaim {
    Owned,        // this object holds the board
    HeldBy,       // another process (or another BoardOwnerLock here) holds it
    Unavailable,  // no lock could be taken at all (folder unusable, bad board text)
};

struct BoardClaimResult {
    BoardClaim claim = BoardClaim::Unavailable;
    BoardOwner owner;  // the holder for HeldBy
    int error = 0;     // errno for Unavailable
};

// The folder of the lock files: "$XDG_RUNTIME_DIR/kestrane" when the
// variable holds an absolute path, else "/tmp/kestrane-<uid>".
std::string BoardLockFolder(const char* xdgRuntimeDir, uid_t uid);
std::string DefaultBoardLockFolder();

// Makes `folder` (one level) with mode 0700 when missing and checks that it
// is a real folder of this user that nobody else can write to, so another
// user cannot plant or swap the lock files. 0, or the errno of the refusal.
int PreparePrivateFolder(const std::string& folder);

// "Logged by kestrane-logger (process 1234)", the viewer's status bar text.
std::string OwnerStatusText(const BoardOwner& owner);

// The one line of a second kestrane-logger that refuses to start, e.g.
// "kestrane-logger: board 000A is already logged by Kestrane (process 1234)".
std::string LoggerRefusalText(std::string_view board, const BoardOwner& owner);

// The owner record kept in the lock file: "<program>\n<pid>\n". Any bytes
// parse: a record that is not of that form gives an empty program and pid 0.
std::string FormatOwnerRecord(const BoardOwner& owner);
BoardOwner ParseOwnerRecord(std::string_view bytes);

class BoardOwnerLock {
public:
    explicit BoardOwnerLock(std::string folder = DefaultBoardLockFolder());
    ~BoardOwnerLock();
    BoardOwnerLock(const BoardOwnerLock&) = delete;
    BoardOwnerLock& operator=(const BoardOwnerLock&) = delete;

    // Claims `board` (its product ID text, "000A") for `program`. Called
    // again at each connect: a board whose owner has ended is taken then.
    // Claiming another board first gives up the one held.
    BoardClaimResult TryAcquire(std::string_view board, std::string_view program);
    // Gives the board up (also done by the destructor and by the kernel at exit).
    void Release();

    bool owned() const { return fd_ >= 0; }
    const std::string& board() const { return board_; }
    // The lock file of `board` in this object's folder; empty for a board
    // text that is not 1 to 8 hexadecimal digits.
    std::string LockPath(std::string_view board) const;

private:
    std::string folder_;
    std::string board_;
    int fd_ = -1;
};

}  // namespace kestrane
