// The board library's operations over a HID transport: find boards, open
// one by product ID, run one command/answer exchange and turn the answer
// into text. BoardLibrary is the library-wide state, including the board
// handles held open between calls; the exported C functions keep one per
// process, tests make their own.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid_transport.h"

namespace kestrane::board {

inline constexpr size_t kListBufferSize = 1024;
inline constexpr size_t kMaxListedBoards = 204;  // 5 bytes each, terminator
inline constexpr size_t kCommandReportSize = 33;
inline constexpr size_t kInputReportSize = 128;
inline constexpr int kReadTimeoutMs = 1000;
// Another program's exchange with the same board is waited for at most as
// long as an exchange may wait for its answer.
inline constexpr std::chrono::milliseconds kLockWait{kReadTimeoutMs};
// A held handle unused this long is closed, so the kernel stops polling the
// board and nothing of this program lingers on it.
inline constexpr std::chrono::milliseconds kIdleRelease{2000};

using BoardClock = std::chrono::steady_clock;

// A device handle kept open between calls: opening a closed hidraw node
// makes the kernel's HID driver sleep about 50 ms, longer than a polling
// tick, so the handle is opened once and reused. `info` is what the bus
// walk that found the device said of it.
struct HeldBoard {
    HidDeviceInfo info;
    std::unique_ptr<HidDevice> device;
    BoardClock::time_point lastUsed;
};

struct BoardLibrary {
    HidTransport* transport = nullptr;
    std::chrono::milliseconds idleRelease = kIdleRelease;
    // The last board list, kept until the next FindBoards.
    std::array<char, kListBufferSize> boardList{};
    std::array<uint8_t, kInputReportSize> inputReport{};
    std::vector<HeldBoard> held;
    // How long the last call waited for another program's exchange to end
    // (zero when it took the lock at once or took none).
    std::chrono::nanoseconds lastLockWait{0};
    // Bus walks made, for tests and benchmarks.
    uint64_t walks = 0;
};

// The 33-byte output report of a command (1-6, 8); all zero after byte 6.
// Returns false for any other command number.
bool BuildCommandReport(int32_t command, std::array<uint8_t, kCommandReportSize>& report);

// The answer text of an input report of `length` bytes, into `out` (at
// least 128 bytes). Returns false when the answer is too short: fewer than
// 6 bytes for a channel command, fewer than 3 for the firmware text.
bool AnswerToText(int32_t command, int32_t mode, const uint8_t* answer, size_t length, char* out);

// The exports' behaviour; each returns 1 or 0 and leaves `text` untouched
// on failure. A failed exchange closes the board's handle.
int32_t FindBoards(BoardLibrary& lib, char* text);
int32_t ReadBoard(BoardLibrary& lib, int32_t productId, int32_t command, int32_t mode, char* text);
int32_t BoardManufacturer(BoardLibrary& lib, int32_t productId, char* text);
int32_t BoardProduct(BoardLibrary& lib, int32_t productId, char* text);
int32_t BoardVersion(BoardLibrary& lib, int32_t productId, char* text);

// Closes the handles unused for `lib.idleRelease` by `now`; returns when
// the next of the remaining ones falls idle, or nothing when none is held.
std::optional<BoardClock::time_point> ReleaseIdleBoards(BoardLibrary& lib, BoardClock::time_point now);
void ReleaseAllBoards(BoardLibrary& lib);

// The vendor-0000 devices present that this program cannot open (most
// often for want of access rights to their device nodes).
std::vector<HidDeviceInfo> UnopenableBoards(HidTransport& transport);

}  // namespace kestrane::board
