#include "board_access.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "reading_word.h"

namespace kestrane::board {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex4(uint16_t value, char* out) {
    for (int i = 0; i < 4; ++i) out[i] = kHexDigits[(value >> (12 - 4 * i)) & 0xF];
}

void CopyText(const std::string& s, char* out) {
    std::memcpy(out, s.data(), s.size());
    out[s.size()] = '\0';
}

struct OpenedBoard {
    std::unique_ptr<HidDevice> device;
    HidDeviceInfo info;
};

// The first board in enumeration order with vendor ID 0 and this product
// ID that can be opened. A product ID with any upper 16 bits set never
// matches the 16-bit USB product ID.
std::optional<OpenedBoard> OpenBoard(HidTransport& transport, int32_t product_id) {
    const uint32_t wanted = static_cast<uint32_t>(product_id);
    if (wanted > 0xFFFF) return std::nullopt;
    auto devices = transport.Enumerate();
    if (!devices) return std::nullopt;
    for (const HidDeviceInfo& info : *devices) {
        if (info.vendor_id != 0 || info.product_id != wanted) continue;
        if (auto device = transport.Open(info.path)) return OpenedBoard{std::move(device), info};
    }
    return std::nullopt;
}

using StringGetter = std::optional<std::u16string> (HidDevice::*)();

int32_t BoardString(BoardLibrary& lib, int32_t product_id, StringGetter get, char* text) {
    auto board = OpenBoard(*lib.transport, product_id);
    if (!board) return 0;
    auto s = ((*board->device).*get)();
    board->device.reset();
    if (!s) return 0;
    // One byte per UTF-16 unit (its low 8 bits), up to the terminator.
    std::string bytes;
    for (char16_t unit : *s) {
        if (bytes.size() >= 255) break;
        const char c = static_cast<char>(unit & 0xFF);
        if (c == '\0') break;
        bytes.push_back(c);
    }
    CopyText(bytes, text);
    return 1;
}

}  // namespace

bool BuildCommandReport(int32_t command, std::array<uint8_t, kCommandReportSize>& report) {
    if (!((command >= 1 && command <= 6) || command == 8)) return false;
    report.fill(0);
    std::memcpy(report.data() + 1, "Vorn", 4);
    report[5] = static_cast<uint8_t>('0' + command);
    return true;
}

bool AnswerToText(int32_t command, int32_t mode, const uint8_t* answer, size_t length, char* out) {
    length = std::min(length, kInputReportSize);
    if (command == 8) {
        if (length < 3) return false;
        // The text ends at its zero byte, or at the end of what was read.
        const uint8_t* first = answer + 2;
        const uint8_t* last = std::find(first, answer + length, uint8_t{0});
        const size_t n = static_cast<size_t>(last - first);
        std::memcpy(out, first, n);
        out[n] = '\0';
        return true;
    }
    if (length < 6) return false;
    const uint32_t word = WordFromAnswer(std::span<const uint8_t, 4>(answer + 2, 4));
    CopyText(mode == 0 ? WordToMode0Text(word) : WordToMode1Text(word), out);
    return true;
}

int32_t FindBoards(BoardLibrary& lib, char* text) {
    lib.board_list.fill('\0');
    auto devices = lib.transport->Enumerate();
    if (!devices) return 0;
    size_t used = 0;
    for (const HidDeviceInfo& info : *devices) {
        if (used / 5 >= kMaxListedBoards) break;  // the list is full
        if (info.vendor_id != 0) continue;
        // Only a board this caller could open is listed, as every other
        // call would find a busy one absent.
        if (!lib.transport->Open(info.path)) continue;
        AppendHex4(info.product_id, lib.board_list.data() + used);
        lib.board_list[used + 4] = '|';
        used += 5;
    }
    std::memcpy(text, lib.board_list.data(), used + 1);
    return 1;
}

int32_t ReadBoard(BoardLibrary& lib, int32_t product_id, int32_t command, int32_t mode, char* text) {
    if (mode != 0 && mode != 1) return 0;
    auto board = OpenBoard(*lib.transport, product_id);
    if (!board) return 0;
    std::array<uint8_t, kCommandReportSize> report{};
    if (!BuildCommandReport(command, report)) return 0;  // closed unsent
    // A write that fails cannot be followed by a meaningful answer.
    if (board->device->Write(report) < 0) return 0;
    // Cleared first, so a short answer can never pass off the previous
    // exchange's bytes as its own.
    lib.input_report.fill(0);
    const int n = board->device->Read(lib.input_report, kReadTimeoutMs);
    board->device.reset();
    if (n <= 0) return 0;  // failed, or no answer within the timeout
    std::array<char, kInputReportSize> answer{};
    if (!AnswerToText(command, mode, lib.input_report.data(), static_cast<size_t>(n), answer.data())) return 0;
    std::memcpy(text, answer.data(), std::strlen(answer.data()) + 1);
    return 1;
}

int32_t BoardManufacturer(BoardLibrary& lib, int32_t product_id, char* text) {
    return BoardString(lib, product_id, &HidDevice::ManufacturerString, text);
}

int32_t BoardProduct(BoardLibrary& lib, int32_t product_id, char* text) {
    return BoardString(lib, product_id, &HidDevice::ProductString, text);
}

int32_t BoardVersion(BoardLibrary& lib, int32_t product_id, char* text) {
    auto board = OpenBoard(*lib.transport, product_id);
    if (!board) return 0;
    board->device.reset();
    AppendHex4(board->info.version, text);
    text[4] = '\0';
    return 1;
}

}  // namespace kestrane::board
