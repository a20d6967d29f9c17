// The board handles the library keeps open between calls: one open per
// board however many exchanges follow, closed after a failed exchange, when
// the board leaves the bus, when idle and when the library goes away; and
// with several programs holding one board open, each call still gets the
// answer to its own command.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <thread>

#include "board_session.h"
#include "board_test_support.h"

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
    EXPECT_EQ(rig.lib.held[0].path, "sim:1");
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
    EXPECT_EQ(rig.lib.held[0].path, "sim:1");
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
    bool Lock() override {
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
        return std::vector<HidDeviceInfo>{{"/dev/hidraw0", 0, 0x000A, 0x0100}};
    }
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
    ASSERT_TRUE(other->Lock());
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

}  // namespace
}  // namespace kestrane::board
