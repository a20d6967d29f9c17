#include "board_access.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

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

// Reports pending on a handle are dropped before each use; a board that
// kept sending could otherwise hold a call here forever.
constexpr int kMaxDrainedReports = 256;

// hidraw hands every input report to every open handle of the device and
// buffers what nobody has read, so a held handle collects the answers to
// other programs' commands. Reading them off before the write makes the
// next report the answer to this call's command. False when the handle no
// longer works (the device left the bus).
bool DrainPending(HidDevice& device, std::array<uint8_t, kInputReportSize>& scratch) {
    for (int i = 0; i < kMaxDrainedReports; ++i) {
        const int n = device.Read(scratch, 0);
        if (n < 0) return false;
        if (n == 0) return true;
    }
    return true;
}

HeldBoard* FindHeld(BoardLibrary& lib, const std::string& path) {
    for (HeldBoard& h : lib.held)
        if (h.info.path == path) return &h;
    return nullptr;
}

void ReleaseBoard(BoardLibrary& lib, const std::string& path) {
    std::erase_if(lib.held, [&](const HeldBoard& h) { return h.info.path == path; });
}

// Handles of devices that are no longer listed, or whose node is now listed
// as another device, are closed: the board left the bus, and its node name
// may since belong to another device.
void ForgetDeparted(BoardLibrary& lib, const std::vector<HidDeviceInfo>& present) {
    std::erase_if(lib.held, [&](const HeldBoard& h) {
        return std::none_of(present.begin(), present.end(), [&](const HidDeviceInfo& d) {
            return d.path == h.info.path && d.vendorId == h.info.vendorId && d.productId == h.info.productId;
        });
    });
}

std::optional<std::vector<HidDeviceInfo>> PresentDevices(BoardLibrary& lib) {
    // Taken before the walk, so a change during it is seen by the next call.
    lib.transport->TakeBusChange();
    ++lib.walks;
    auto devices = lib.transport->Enumerate();
    if (!devices) {
        ReleaseAllBoards(lib);
        return std::nullopt;
    }
    ForgetDeparted(lib, *devices);
    return devices;
}

// A held device locked for one call. The lock is dropped when this goes
// out of scope; Drop closes the handle instead, after a failed exchange.
class LockedBoard {
public:
    LockedBoard(BoardLibrary& lib, HeldBoard& held)
        : lib_(&lib), device_(held.device.get()), info_(held.info) {}
    LockedBoard(LockedBoard&& o) noexcept
        : lib_(o.lib_), device_(std::exchange(o.device_, nullptr)), info_(std::move(o.info_)) {}
    LockedBoard& operator=(LockedBoard&&) = delete;
    ~LockedBoard() {
        if (device_ != nullptr) device_->Unlock();
    }
    HidDevice& device() { return *device_; }
    const HidDeviceInfo& info() const { return info_; }
    // Closing the handle drops its lock too.
    void Drop() {
        device_ = nullptr;
        ReleaseBoard(*lib_, info_.path);
    }

private:
    BoardLibrary* lib_;
    HidDevice* device_;
    HidDeviceInfo info_;
};

enum class LockResult { kLocked, kBusy, kDead };

// Takes the exchange lock of a held handle, waiting for another program's
// exchange to end, then makes sure the node is still the device it was
// opened as and drops the reports pending on it. kDead closes the handle.
LockResult LockHeld(BoardLibrary& lib, HeldBoard& held, std::optional<LockedBoard>& out) {
    held.lastUsed = BoardClock::now();
    const BoardClock::time_point waitFrom = BoardClock::now();
    const bool locked = held.device->Lock(kLockWait);
    lib.lastLockWait = BoardClock::now() - waitFrom;
    if (!locked) return LockResult::kBusy;
    LockedBoard board(lib, held);
    // A node whose device left may have been given to another device, and
    // a write through it would go to that device: asked before every use.
    const std::optional<HidIdentity> now = board.device().Identity();
    if (!now || *now != HidIdentity{board.info().vendorId, board.info().productId} ||
        !DrainPending(board.device(), lib.inputReport)) {
        board.Drop();
        return LockResult::kDead;
    }
    out.emplace(std::move(board));
    return LockResult::kLocked;
}

// Locks the device of `info`, opening it if no handle is held yet. A held
// handle that no longer works is replaced by a fresh one once; nothing when
// the device cannot be opened or another program's exchange with it does
// not end within kLockWait.
std::optional<LockedBoard> LockDevice(BoardLibrary& lib, const HidDeviceInfo& info) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        HeldBoard* held = FindHeld(lib, info.path);
        const bool reused = held != nullptr;
        if (!reused) {
            auto device = lib.transport->Open(info.path);
            if (!device) return std::nullopt;
            lib.held.push_back({info, std::move(device), BoardClock::now()});
            held = &lib.held.back();
        }
        std::optional<LockedBoard> board;
        switch (LockHeld(lib, *held, board)) {
            case LockResult::kLocked:
                return board;
            case LockResult::kBusy:
                return std::nullopt;
            case LockResult::kDead:
                if (!reused) return std::nullopt;
                break;
        }
    }
    return std::nullopt;
}

// The held handle of a board with this product ID, while no device has come
// or gone since the last walk: the common case of a polling program, which
// then costs no bus walk at all. Nothing when no such handle is held, or
// when it no longer works (then closed), so the caller walks the bus.
std::optional<LockedBoard> LockHeldBoard(BoardLibrary& lib, uint32_t wanted, bool& busy) {
    if (lib.transport->TakeBusChange()) return std::nullopt;
    for (HeldBoard& h : lib.held) {
        if (h.info.vendorId != 0 || h.info.productId != wanted) continue;
        std::optional<LockedBoard> board;
        const LockResult result = LockHeld(lib, h, board);
        busy = result == LockResult::kBusy;
        return board;
    }
    return std::nullopt;
}

// The first board in enumeration order with vendor ID 0 and this product
// ID that can be opened and locked. A product ID with any upper 16 bits set
// never matches the 16-bit USB product ID.
std::optional<LockedBoard> LockBoard(BoardLibrary& lib, int32_t productId) {
    lib.lastLockWait = std::chrono::nanoseconds{0};
    const uint32_t wanted = static_cast<uint32_t>(productId);
    if (wanted > 0xFFFF) return std::nullopt;
    bool busy = false;
    if (auto board = LockHeldBoard(lib, wanted, busy)) return board;
    // Another program's exchange did not end in time: as busy as before.
    if (busy) return std::nullopt;
    auto devices = PresentDevices(lib);
    if (!devices) return std::nullopt;
    for (const HidDeviceInfo& info : *devices) {
        if (info.vendorId != 0 || info.productId != wanted) continue;
        if (auto board = LockDevice(lib, info)) return board;
    }
    return std::nullopt;
}

using StringGetter = std::optional<std::u16string> (HidDevice::*)();

int32_t BoardString(BoardLibrary& lib, int32_t productId, StringGetter get, char* text) {
    auto board = LockBoard(lib, productId);
    if (!board) return 0;
    auto s = ((board->device()).*get)();
    if (!s) {
        board->Drop();
        return 0;
    }
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
    lib.boardList.fill('\0');
    auto devices = PresentDevices(lib);
    if (!devices) return 0;
    size_t used = 0;
    for (const HidDeviceInfo& info : *devices) {
        if (used / 5 >= kMaxListedBoards) break;  // the list is full
        if (info.vendorId != 0) continue;
        // Only a board this caller could use is listed, as every other call
        // would find it absent. Its handle stays open for the calls that
        // follow a listing (the strings, the firmware text).
        if (!LockDevice(lib, info)) continue;
        AppendHex4(info.productId, lib.boardList.data() + used);
        lib.boardList[used + 4] = '|';
        used += 5;
    }
    std::memcpy(text, lib.boardList.data(), used + 1);
    return 1;
}

int32_t ReadBoard(BoardLibrary& lib, int32_t productId, int32_t command, int32_t mode, char* text) {
    if (mode != 0 && mode != 1) return 0;
    auto board = LockBoard(lib, productId);
    if (!board) return 0;
    std::array<uint8_t, kCommandReportSize> report{};
    if (!BuildCommandReport(command, report)) return 0;  // unlocked unsent
    // A write that fails cannot be followed by a meaningful answer.
    if (board->device().Write(report) < 0) {
        board->Drop();
        return 0;
    }
    // Cleared first, so a short answer can never pass off the previous
    // exchange's bytes as its own.
    lib.inputReport.fill(0);
    const int n = board->device().Read(lib.inputReport, kReadTimeoutMs);
    std::array<char, kInputReportSize> answer{};
    // Failed, no answer within the timeout, or too short to carry one: the
    // handle is closed, so a board in trouble is opened afresh next time.
    if (n <= 0 ||
        !AnswerToText(command, mode, lib.inputReport.data(), static_cast<size_t>(n), answer.data())) {
        board->Drop();
        return 0;
    }
    std::memcpy(text, answer.data(), std::strlen(answer.data()) + 1);
    return 1;
}

int32_t BoardManufacturer(BoardLibrary& lib, int32_t productId, char* text) {
    return BoardString(lib, productId, &HidDevice::ManufacturerString, text);
}

int32_t BoardProduct(BoardLibrary& lib, int32_t productId, char* text) {
    return BoardString(lib, productId, &HidDevice::ProductString, text);
}

int32_t BoardVersion(BoardLibrary& lib, int32_t productId, char* text) {
    auto board = LockBoard(lib, productId);
    if (!board) return 0;
    AppendHex4(board->info().version, text);
    text[4] = '\0';
    return 1;
}

std::optional<BoardClock::time_point> ReleaseIdleBoards(BoardLibrary& lib, BoardClock::time_point now) {
    std::erase_if(lib.held, [&](const HeldBoard& h) { return now - h.lastUsed >= lib.idleRelease; });
    std::optional<BoardClock::time_point> next;
    for (const HeldBoard& h : lib.held) {
        const BoardClock::time_point idleAt = h.lastUsed + lib.idleRelease;
        if (!next || idleAt < *next) next = idleAt;
    }
    return next;
}

void ReleaseAllBoards(BoardLibrary& lib) { lib.held.clear(); }

std::vector<HidDeviceInfo> UnopenableBoards(HidTransport& transport) {
    std::vector<HidDeviceInfo> out;
    auto devices = transport.Enumerate();
    if (!devices) return out;
    for (const HidDeviceInfo& info : *devices) {
        if (info.vendorId == 0 && !transport.Open(info.path)) out.push_back(info);
    }
    return out;
}

}  // namespace kestrane::board
