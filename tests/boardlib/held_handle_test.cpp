// The board handles the library keeps open between calls: one open per
// board however many exchanges follow, closed after a failed exchange, when
// the board leaves the bus, when idle and when the library goes away; and
// with several programs holding one board open, each call still gets the
// answer to its own command.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <deque>
#include <functional>
#include <thread>

#include "board_session.h"
#include "board_test_support.h"
#include "temp_dir.h"

namespace kestrane::board {
namespace {

using testing::Rig;
using testing::TextBuffer;

// ---- On the simulated bus ---------------------------------------------------

TEST(HeldHandle, OneOpenServesEveryCall) {
    Rig rig("[device]\nproduct-id = 000A\nopen-delay-ms = 50\nchannel1 = word 7\n");
    TextBuffer<1024> list;
    ASSERT_EQ(FindBoards(rig.lib, list.data()), 1);
    for (int i = 0; i < 60; ++i) {
        TextBuffer<128> text;
        ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1) << i;
        EXPECT_EQ(text.text(), "7");
    }
    TextBuffer<256> s;
    EXPECT_EQ(BoardProduct(rig.lib, 0x000A, s.data()), 1);
    EXPECT_EQ(BoardVersion(rig.lib, 0x000A, s.data()), 1);
    EXPECT_EQ(rig.bus->OpenHandles(), 1);
    // The kernel's open cost was paid once.
    EXPECT_EQ(rig.slept, std::vector<long long>{50});
}

TEST(HeldHandle, FailedExchangeClosesTheHandle) {
    struct Case {
        const char* fault;
        std::vector<long long> slept;  // waits besides the open
    };
    const Case cases[] = {
        {"fault = read-fails\n", {}},
        // A silent board is given the whole read timeout before failing.
        {"fault = no-answer\n", {kReadTimeoutMs}},
        {"answer-length = 4\n", {}},
    };
    for (const Case& c : cases) {
        Rig rig(std::string("[device]\nproduct-id = 000A\n") + c.fault);
        TextBuffer<128> text;
        EXPECT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 0) << c.fault;
        EXPECT_TRUE(rig.lib.held.empty()) << c.fault;
        EXPECT_EQ(rig.bus->OpenHandles(), 0) << c.fault;
        EXPECT_EQ(rig.slept, c.slept) << c.fault;
    }
}

TEST(HeldHandle, BoardLeavingTheBusIsClosed) {
    Rig rig("[device]\nproduct-id = 000A\nvanish-after = 2\n[device]\nproduct-id = 000B\n");
    TextBuffer<128> text;
    ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1);
    ASSERT_EQ(ReadBoard(rig.lib, 0x000B, 1, 0, text.data()), 1);
    ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1);
    EXPECT_EQ(rig.lib.held.size(), 2u);
    // 000A has gone: the next call closes its handle, keeps 000B's.
    TextBuffer<1024> list;
    ASSERT_EQ(FindBoards(rig.lib, list.data()), 1);
    EXPECT_EQ(list.text(), "000B|");
    ASSERT_EQ(rig.lib.held.size(), 1u);
    EXPECT_EQ(rig.lib.held[0].info.path, "sim:1");
}

TEST(HeldHandle, IdleHandlesAreClosed) {
    Rig rig("[device]\nproduct-id = 000A\n[device]\nproduct-id = 000B\n");
    TextBuffer<128> text;
    ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1);
    const BoardClock::time_point a_used = rig.lib.held.at(0).lastUsed;
    rig.lib.held.at(0).lastUsed = a_used - std::chrono::milliseconds(1500);
    ASSERT_EQ(ReadBoard(rig.lib, 0x000B, 1, 0, text.data()), 1);
    const BoardClock::time_point b_used = rig.lib.held.at(1).lastUsed;

    // 000A falls idle first; 000B is kept until its own idle time.
    auto next = ReleaseIdleBoards(rig.lib, a_used + std::chrono::milliseconds(600));
    ASSERT_EQ(rig.lib.held.size(), 1u);
    EXPECT_EQ(rig.lib.held[0].info.path, "sim:1");
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, b_used + kIdleRelease);
    next = ReleaseIdleBoards(rig.lib, *next);
    EXPECT_FALSE(next);
    EXPECT_EQ(rig.bus->OpenHandles(), 0);
}

// Lends a transport to a session without giving it away, so the test can
// look at the bus after the session is gone.
class BorrowedTransport final : public HidTransport {
public:
    explicit BorrowedTransport(HidTransport& t) : t_(t) {}
    std::optional<std::vector<HidDeviceInfo>> Enumerate() override { return t_.Enumerate(); }
    std::unique_ptr<HidDevice> Open(const std::string& path) override { return t_.Open(path); }

private:
    HidTransport& t_;
};

bool WaitFor(const std::function<bool()>& done) {
    const auto give_up = BoardClock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (BoardClock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(BoardSession, WatcherClosesIdleHandlesWithoutFurtherCalls) {
    Rig rig("[device]\nproduct-id = 000A\n");
    BoardSession session(std::make_unique<BorrowedTransport>(*rig.bus), std::chrono::milliseconds(50));
    TextBuffer<128> text;
    for (int round = 0; round < 2; ++round) {  // the watcher comes back for a new handle
        ASSERT_EQ(session.Run([&](BoardLibrary& lib) { return ReadBoard(lib, 0x000A, 1, 0, text.data()); }),
                  1);
        EXPECT_EQ(rig.bus->OpenHandles(), 1);
        EXPECT_TRUE(WaitFor([&] { return session.HeldBoards() == 0; })) << round;
        EXPECT_EQ(rig.bus->OpenHandles(), 0);
    }
}

TEST(BoardSession, EndingTheSessionClosesEveryHandle) {
    Rig rig("[device]\nproduct-id = 000A\n[device]\nproduct-id = 000B\n");
    {
        BoardSession session(std::make_unique<BorrowedTransport>(*rig.bus));
        TextBuffer<1024> list;
        ASSERT_EQ(session.Run([&](BoardLibrary& lib) { return FindBoards(lib, list.data()); }), 1);
        EXPECT_EQ(rig.bus->OpenHandles(), 2);
    }
    EXPECT_EQ(rig.bus->OpenHandles(), 0);
}

// ---- Several programs on one board, as hidraw serves them ---------------------

// One board behind a hidraw-like node: every open handle gets a copy of
// every input report, each handle buffers at most 64 unread reports (later
// ones are dropped, as the kernel does), and an exclusive lock stands for
// flock. The board answers each command with the running number of the
// write as its reading word, so an answer shows which call it belongs to.
class HidrawLikeBoard {
public:
    struct Reader {
        std::deque<std::vector<uint8_t>> queue;
    };
    static constexpr size_t kReaderBuffer = 64;

    uint32_t writes = 0;
    int opens = 0;
    std::vector<Reader*> readers;
    Reader* lock_holder = nullptr;
    // What the node is now: another device may take it over.
    HidIdentity identity{0, 0x000A};
    // Set when a device came or went, until the library takes the notice.
    bool busChanged = true;

    void Answer() {
        ++writes;
        std::vector<uint8_t> report(65, 0);
        for (int i = 0; i < 4; ++i)
            report[2 + static_cast<size_t>(i)] = static_cast<uint8_t>(writes >> (8 * i));
        for (Reader* r : readers)
            if (r->queue.size() < kReaderBuffer) r->queue.push_back(report);
    }
};

class HidrawLikeDevice final : public HidDevice {
public:
    explicit HidrawLikeDevice(HidrawLikeBoard& board) : board_(board) { board_.readers.push_back(&reader_); }
    ~HidrawLikeDevice() override {
        std::erase(board_.readers, &reader_);
        if (board_.lock_holder == &reader_) board_.lock_holder = nullptr;
    }
    std::optional<HidIdentity> Identity() override { return board_.identity; }
    bool Lock(std::chrono::milliseconds) override {
        if (board_.lock_holder != nullptr && board_.lock_holder != &reader_) return false;
        board_.lock_holder = &reader_;
        return true;
    }
    void Unlock() override {
        if (board_.lock_holder == &reader_) board_.lock_holder = nullptr;
    }
    std::optional<std::u16string> ManufacturerString() override { return u"Morvane"; }
    std::optional<std::u16string> ProductString() override { return u"KESTRANEUNIT"; }
    int Write(std::span<const uint8_t> report) override {
        board_.Answer();
        return static_cast<int>(report.size());
    }
    int Read(std::span<uint8_t> buffer, int) override {
        if (reader_.queue.empty()) return 0;
        const std::vector<uint8_t> report = std::move(reader_.queue.front());
        reader_.queue.pop_front();
        const size_t n = std::min(report.size(), buffer.size());
        std::copy_n(report.begin(), n, buffer.begin());
        return static_cast<int>(n);
    }

private:
    HidrawLikeBoard& board_;
    HidrawLikeBoard::Reader reader_;
};

class HidrawLikeTransport final : public HidTransport {
public:
    explicit HidrawLikeTransport(HidrawLikeBoard& board) : board_(board) {}
    std::optional<std::vector<HidDeviceInfo>> Enumerate() override {
        return std::vector<HidDeviceInfo>{
            {"/dev/hidraw0", board_.identity.vendorId, board_.identity.productId, 0x0100}};
    }
    bool TakeBusChange() override { return std::exchange(board_.busChanged, false); }
    std::unique_ptr<HidDevice> Open(const std::string&) override {
        ++board_.opens;
        return std::make_unique<HidrawLikeDevice>(board_);
    }

private:
    HidrawLikeBoard& board_;
};

TEST(SharedBoard, TwoProgramsAlternatingEachGetTheirOwnAnswers) {
    HidrawLikeBoard board;
    HidrawLikeTransport transport(board);
    BoardLibrary first;
    BoardLibrary second;
    first.transport = second.transport = &transport;
    // Well past the 64 reports a handle buffers, with the other program's
    // answers piling up in each handle between its calls.
    for (int i = 0; i < 300; ++i) {
        BoardLibrary& lib = i % 3 == 0 ? second : first;
        TextBuffer<128> text;
        ASSERT_EQ(ReadBoard(lib, 0x000A, 1 + i % 6, 0, text.data()), 1) << i;
        EXPECT_EQ(text.text(), std::to_string(board.writes)) << "call " << i << " got another call's answer";
    }
    EXPECT_EQ(board.opens, 2);  // each program opened the board once
}

TEST(SharedBoard, ExchangeWaitsForNoHandleButTheLockHolder) {
    HidrawLikeBoard board;
    HidrawLikeTransport transport(board);
    BoardLibrary lib;
    lib.transport = &transport;
    TextBuffer<128> text;
    ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1);
    // Another program is in the middle of its exchange: this call finds the
    // board busy, and keeps its handle for the next call.
    auto other = transport.Open("/dev/hidraw0");
    ASSERT_TRUE(other->Lock(std::chrono::milliseconds(0)));
    other->Write({});
    EXPECT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 0);
    TextBuffer<1024> list;
    ASSERT_EQ(FindBoards(lib, list.data()), 1);
    EXPECT_EQ(list.text(), "");
    EXPECT_EQ(lib.held.size(), 1u);
    other->Unlock();
    ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1);
    EXPECT_EQ(text.text(), std::to_string(board.writes));
    EXPECT_EQ(board.opens, 2);
}

// ---- The bus walked only when needed ------------------------------------------

TEST(BusWalk, HeldHandleServesCallsWithoutWalkingTheBus) {
    HidrawLikeBoard board;
    HidrawLikeTransport transport(board);
    BoardLibrary lib;
    lib.transport = &transport;
    TextBuffer<128> text;
    for (int i = 0; i < 50; ++i) ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1) << i;
    TextBuffer<256> s;
    ASSERT_EQ(BoardProduct(lib, 0x000A, s.data()), 1);
    EXPECT_EQ(lib.walks, 1u);
    // A device came or went: one walk, then the held handle again.
    board.busChanged = true;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1) << i;
    EXPECT_EQ(lib.walks, 2u);
    // The listing always walks.
    TextBuffer<1024> list;
    ASSERT_EQ(FindBoards(lib, list.data()), 1);
    EXPECT_EQ(lib.walks, 3u);
    EXPECT_EQ(board.opens, 1);
    // Closed when idle: the next call has nothing held and walks.
    ReleaseAllBoards(lib);
    ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1);
    EXPECT_EQ(lib.walks, 4u);
}

TEST(BusWalk, NodeTakenOverByAnotherDeviceIsNeverWrittenTo) {
    struct Case {
        const char* what;
        bool announced;  // the udev notice arrived before the call
    };
    for (const Case c : {Case{"unannounced", false}, Case{"announced", true}}) {
        HidrawLikeBoard board;
        HidrawLikeTransport transport(board);
        BoardLibrary lib;
        lib.transport = &transport;
        TextBuffer<128> text;
        ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1) << c.what;
        // The board left and a keyboard got its node name.
        board.identity = {0x046D, 0xC52B};
        board.busChanged = c.announced;
        const uint32_t writesBefore = board.writes;
        TextBuffer<128> after;
        EXPECT_EQ(ReadBoard(lib, 0x000A, 1, 0, after.data()), 0) << c.what;
        EXPECT_TRUE(after.Untouched()) << c.what;
        EXPECT_EQ(board.writes, writesBefore) << c.what << ": a command went to the other device";
        EXPECT_TRUE(lib.held.empty()) << c.what;
        // The board returns under the same name: found again.
        board.identity = {0, 0x000A};
        board.busChanged = true;
        EXPECT_EQ(ReadBoard(lib, 0x000A, 1, 0, after.data()), 1) << c.what;
    }
}

TEST(BusWalk, BoardThatLeftFailsItsNextExchange) {
    Rig rig("[device]\nproduct-id = 000A\nvanish-after = 3\n");
    TextBuffer<128> text;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1) << i;
    EXPECT_EQ(rig.lib.walks, 1u);
    TextBuffer<128> gone;
    EXPECT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, gone.data()), 0);
    EXPECT_TRUE(gone.Untouched());
    EXPECT_TRUE(rig.lib.held.empty());
    EXPECT_EQ(rig.bus->OpenHandles(), 0);
}

// ---- Two programs, one simulated board ---------------------------------------

// Points the simulated bus's lock files at a private folder for one test.
class LockFolderScope {
public:
    LockFolderScope() : folder_("kestrane-locks") {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        if (old != nullptr) old_ = old;
        had_ = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", folder_.path().c_str(), 1);
    }
    ~LockFolderScope() {
        if (had_) {
            ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    const test::TempDir& folder() const { return folder_; }

private:
    test::TempDir folder_;
    std::string old_;
    bool had_ = false;
};

TEST(SharedSimulatedBoard, ExchangeWaitsBoundedForTheOtherProgramsExchange) {
    LockFolderScope scope;
    const std::string file =
        scope.folder().Write("board.sim", "[device]\nproduct-id = 000A\nchannel1 = word 9\n");
    // Two buses on one file stand for two programs: their locks are flocks
    // on one lock file, as between two processes.
    auto mine = SimulatedBus::FromFile(file);
    auto other = SimulatedBus::FromFile(file);
    BoardLibrary lib;
    lib.transport = mine.get();
    TextBuffer<128> text;
    ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1);
    auto otherHandle = other->Open("sim:0");
    ASSERT_TRUE(otherHandle);

    struct Case {
        int holdMs;
        int32_t result;
    };
    for (const Case c : {Case{150, 1}, Case{1400, 0}}) {
        ASSERT_TRUE(otherHandle->Lock(std::chrono::milliseconds(0)));
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.holdMs));
            otherHandle->Unlock();
        });
        TextBuffer<128> answer;
        const int32_t result = ReadBoard(lib, 0x000A, 1, 0, answer.data());
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(lib.lastLockWait).count();
        release.join();
        EXPECT_EQ(result, c.result) << c.holdMs;
        if (c.result == 1) {
            EXPECT_EQ(answer.text(), "9");
            EXPECT_GE(waited, c.holdMs - 20);
            EXPECT_LT(waited, c.holdMs + 500);
        } else {
            EXPECT_TRUE(answer.Untouched());
            EXPECT_GE(waited, kLockWait.count() - 20);
            EXPECT_LT(waited, c.holdMs);
        }
    }
    // The busy board kept its handle, and works once the other is done.
    EXPECT_EQ(lib.held.size(), 1u);
    ASSERT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 1);
    EXPECT_LT(lib.lastLockWait, std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace kestrane::board
