// The board library's operations over a HID transport: find boards, open
// one by product ID, run one command/answer exchange and turn the answer
// into text. BoardLibrary is the library-wide state; the exported C
// functions keep one per process, tests make their own.
#pragma once

#include <array>
#include <cstdint>

#include "hid_transport.h"

namespace kestrane::board {

inline constexpr size_t kListBufferSize = 1024;
inline constexpr size_t kMaxListedBoards = 204;  // 5 bytes each, terminator
inline constexpr size_t kCommandReportSize = 33;
inline constexpr size_t kInputReportSize = 128;
inline constexpr int kReadTimeoutMs = 1000;

struct BoardLibrary {
    HidTransport* transport = nullptr;
    // The last board list, kept until the next FindBoards.
    std::array<char, kListBufferSize> board_list{};
    std::array<uint8_t, kInputReportSize> input_report{};
};

// The 33-byte output report of a command (1-6, 8); all zero after byte 6.
// Returns false for any other command number.
bool BuildCommandReport(int32_t command, std::array<uint8_t, kCommandReportSize>& report);

// The answer text of an input report of `length` bytes, into `out` (at
// least 128 bytes). Returns false when the answer is too short: fewer than
// 6 bytes for a channel command, fewer than 3 for the firmware text.
bool AnswerToText(int32_t command, int32_t mode, const uint8_t* answer, size_t length, char* out);

// The exports' behaviour; each returns 1 or 0 and leaves `text` untouched
// on failure.
int32_t FindBoards(BoardLibrary& lib, char* text);
int32_t ReadBoard(BoardLibrary& lib, int32_t product_id, int32_t command, int32_t mode, char* text);
int32_t BoardManufacturer(BoardLibrary& lib, int32_t product_id, char* text);
int32_t BoardProduct(BoardLibrary& lib, int32_t product_id, char* text);
int32_t BoardVersion(BoardLibrary& lib, int32_t product_id, char* text);

}  // namespace kestrane::board
