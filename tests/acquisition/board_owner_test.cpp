// Board ownership across real processes: a forked child holds the lock the
// way a second program would, then ends or is killed, and the lock file's
// contents are planted stale or damaged to show they never name the wrong holder.
#include "acquisition/board_owner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "temp_dir.h"

namespace kestrane {
namespace {

namespace fs = std::filesystem;

// A child process that runs `take` and then keeps whatever it took until
// the test lets it go (or kills it).
class Holder {
public:
    explicit Holder(const std::function<bool()>& take) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const char ok = take() ? 'y' : 'n';
            [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
            char c;
            n = ::read(release[0], &c, 1);  // returns when the test closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd_ = release[1];
        char ok = 'n';
        took_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~Holder() { End(); }
    bool took() const { return took_; }
    long pid() const { return static_cast<long>(pid_); }
    // Lets the child end normally.
    void End() {
        if (releaseFd_ >= 0) ::close(releaseFd_);
        releaseFd_ = -1;
        Reap();
    }
    void Kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        Reap();
    }

private:
    void Reap() {
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool took_ = false;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string OwnComm() {
    std::ifstream in("/proc/self/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

class BoardOwnerTest : public ::testing::Test {
protected:
    std::string Folder() const { return (temp_.path() / "locks").string(); }
    test::TempDir temp_{"kestrane-owner"};
};

TEST_F(BoardOwnerTest, AnotherLiveProcessHoldsItUntilItEnds) {
    std::optional<BoardOwnerLock> childLock;
    Holder logger([&] {
        childLock.emplace(Folder());
        return childLock->TryAcquire("000A", "kestrane-logger").claim == BoardClaim::Owned;
    });
    ASSERT_TRUE(logger.took());

    BoardOwnerLock viewer(Folder());
    const BoardClaimResult held = viewer.TryAcquire("000a", "Kestrane");  // same board, any case
    EXPECT_EQ(held.claim, BoardClaim::HeldBy);
    EXPECT_EQ(held.owner.program, "kestrane-logger");
    EXPECT_EQ(held.owner.pid, logger.pid());
    EXPECT_EQ(OwnerStatusText(held.owner),
              "Logged by kestrane-logger (process " + std::to_string(logger.pid()) + ")");
    EXPECT_FALSE(viewer.owned());

    // Another board is free, and the viewer's next connect to 000A still finds it held.
    BoardOwnerLock other(Folder());
    EXPECT_EQ(other.TryAcquire("000B", "Kestrane").claim, BoardClaim::Owned);
    EXPECT_EQ(viewer.TryAcquire("000A", "Kestrane").claim, BoardClaim::HeldBy);

    // The owner is killed: nothing of it remains, the viewer owns the board at its next connect.
    logger.Kill();
    const BoardClaimResult taken = viewer.TryAcquire("000A", "Kestrane");
    EXPECT_EQ(taken.claim, BoardClaim::Owned);
    EXPECT_TRUE(viewer.owned());
    EXPECT_EQ(Slurp(viewer.LockPath("000A")), "Kestrane\n" + std::to_string(::getpid()) + "\n");

    // Now the viewer is the owner others see, even in this same process.
    BoardOwnerLock second(Folder());
    const BoardClaimResult again = second.TryAcquire("000A", "kestrane-logger");
    EXPECT_EQ(again.claim, BoardClaim::HeldBy);
    EXPECT_EQ(again.owner.program, "Kestrane");
    EXPECT_EQ(again.owner.pid, static_cast<long>(::getpid()));

    // Giving it up empties the record and frees the board.
    viewer.Release();
    EXPECT_EQ(Slurp(viewer.LockPath("000A")), "");
    EXPECT_EQ(second.TryAcquire("000A", "kestrane-logger").claim, BoardClaim::Owned);
}

TEST_F(BoardOwnerTest, AnOwnerThatEndsNormallyFreesTheBoard) {
    std::optional<BoardOwnerLock> childLock;
    Holder client([&] {
        childLock.emplace(Folder());
        return childLock->TryAcquire("1234", "Kestrane").claim == BoardClaim::Owned;
    });
    ASSERT_TRUE(client.took());
    BoardOwnerLock logger(Folder());
    EXPECT_EQ(logger.TryAcquire("1234", "kestrane-logger").claim, BoardClaim::HeldBy);
    client.End();
    EXPECT_EQ(logger.TryAcquire("1234", "kestrane-logger").claim, BoardClaim::Owned);
}

TEST_F(BoardOwnerTest, StaleOrDamagedRecordsNeverNameTheWrongHolder) {
    BoardOwnerLock probe(Folder());
    const std::string path = probe.LockPath("000A");
    ASSERT_EQ(PreparePrivateFolder(Folder()), 0);
    const std::string records[] = {
        "kestrane-logger\n1\n",          // a live process (init) that does not hold it
        "kestrane-logger\n999999999\n",  // a process long gone
        std::string("\x01\xff\n\n", 4),  // damage
        std::string(4096, 'x'),          // far too long
    };
    for (const std::string& stale : records) {
        // Nobody holds the lock: the record does not matter, the board is free.
        {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << stale;
            BoardOwnerLock fresh(Folder());
            EXPECT_EQ(fresh.TryAcquire("000A", "Kestrane").claim, BoardClaim::Owned);
        }
        // A holder that has not written its record (yet): the kernel's lock
        // table names it, never the stale record.
        std::ofstream(path, std::ios::binary | std::ios::trunc) << stale;
        Holder raw([&] {
            const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;  // fd stays open in the child
        });
        ASSERT_TRUE(raw.took());
        const BoardClaimResult held = probe.TryAcquire("000A", "Kestrane");
        EXPECT_EQ(held.claim, BoardClaim::HeldBy);
        EXPECT_EQ(held.owner.pid, raw.pid());
        EXPECT_EQ(held.owner.program, OwnComm());
    }
}

TEST(BoardOwnerRecord, AnyBytesParseSafely) {
    struct R {
        std::string bytes;
        const char* program;
        long pid;
    };
    const R cases[] = {
        {"kestrane-logger\n1234\n", "kestrane-logger", 1234},
        {"Kestrane\n42\nmore lines\n", "Kestrane", 42},
        {"", "", 0},
        {"Kestrane", "", 0},
        {"Kestrane\n42", "", 0},  // a record cut short
        {"\n42\n", "", 0},
        {"Kes\ttrane\n42\n", "", 0},
        {"Kestrane\n0\n", "", 0},
        {"Kestrane\n-4\n", "", 0},
        {"Kestrane\n4x\n", "", 0},
        {"Kestrane\n99999999999\n", "", 0},
        {"Kestrane\n2147483648\n", "", 0},
        {std::string(65, 'k') + "\n42\n", "", 0},
        {std::string("Kes\0trane\n42\n", 13), "", 0},
    };
    for (const auto& c : cases) {
        const BoardOwner owner = ParseOwnerRecord(c.bytes);
        EXPECT_EQ(owner.program, c.program) << c.bytes;
        EXPECT_EQ(owner.pid, c.pid) << c.bytes;
    }
    // What is written reads back, with a name that could break the record made safe.
    EXPECT_EQ(FormatOwnerRecord({"kestrane-logger", 77}), "kestrane-logger\n77\n");
    const BoardOwner odd = ParseOwnerRecord(FormatOwnerRecord({"bad\nname", 77}));
    EXPECT_EQ(odd.program, "bad?name");
    EXPECT_EQ(odd.pid, 77);
}

TEST(BoardOwnerTexts, NameTheOwner) {
    EXPECT_EQ(OwnerStatusText({"kestrane-logger", 1234}), "Logged by kestrane-logger (process 1234)");
    EXPECT_EQ(OwnerStatusText({"", 0}), "Logged by another program");
    EXPECT_EQ(LoggerRefusalText("000A", {"Kestrane", 987}),
              "kestrane-logger: board 000A is already logged by Kestrane (process 987)");
    EXPECT_EQ(LoggerRefusalText("000A", {}),
              "kestrane-logger: board 000A is already logged by another program");
}

TEST(BoardOwnerFolder, PrivateToTheUser) {
    EXPECT_EQ(BoardLockFolder("/run/user/1000", 1000), "/run/user/1000/kestrane");
    EXPECT_EQ(BoardLockFolder(nullptr, 1000), "/tmp/kestrane-1000");
    EXPECT_EQ(BoardLockFolder("", 1000), "/tmp/kestrane-1000");
    EXPECT_EQ(BoardLockFolder("run/user", 7), "/tmp/kestrane-7");  // relative: not trusted

    test::TempDir temp("kestrane-ownerdir");
    const fs::path made = temp.path() / "made";
    EXPECT_EQ(PreparePrivateFolder(made.string()), 0);
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(PreparePrivateFolder(made.string()), 0);  // again: still fine

    const fs::path open = temp.path() / "open";
    fs::create_directory(open);
    ::chmod(open.c_str(), 0777);
    EXPECT_EQ(PreparePrivateFolder(open.string()), EPERM);
    fs::create_directory_symlink(made, temp.path() / "link");
    EXPECT_EQ(PreparePrivateFolder((temp.path() / "link").string()), ENOTDIR);
    temp.Write("file", "x");
    EXPECT_EQ(PreparePrivateFolder(temp.File("file")), ENOTDIR);
    EXPECT_EQ(PreparePrivateFolder(temp.File("no/such")), ENOENT);

    // An unusable folder or board text is Unavailable, never Owned.
    BoardOwnerLock badFolder(open.string());
    EXPECT_EQ(badFolder.TryAcquire("000A", "Kestrane").claim, BoardClaim::Unavailable);
    BoardOwnerLock lock(made.string());
    for (const char* board : {"", "../x", "000A/", "12345678A", "00 A"}) {
        EXPECT_EQ(lock.LockPath(board), "") << board;
        const BoardClaimResult r = lock.TryAcquire(board, "Kestrane");
        EXPECT_EQ(r.claim, BoardClaim::Unavailable) << board;
        EXPECT_EQ(r.error, EINVAL) << board;
    }
    EXPECT_EQ(lock.LockPath("00ff"), made.string() + "/board-00FF.lock");
}

}  // namespace
}  // namespace kestrane
