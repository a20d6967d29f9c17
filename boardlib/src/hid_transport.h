// The narrow view of the HID bus the board library needs: list the devices
// present, learn whether any came or went, open one by path, and on an open
// device take the exchange lock, check what device the node now is, read
// its strings, write one output report and read one input report. Real
// hardware and the simulated bus both sit behind it, so the exchange logic
// is tested without a board.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrane::board {

struct HidDeviceInfo {
    std::string path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0;
};

// The USB identity the node behind an open handle reports now.
struct HidIdentity {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool operator==(const HidIdentity&) const = default;
};

class HidDevice {
public:
    virtual ~HidDevice() = default;
    // Makes this handle the only one among all programs exchanging with the
    // device until Unlock, waiting at most `wait` while another handle
    // holds it; false when it is still held then. Closing the handle drops
    // the lock as well.
    virtual bool Lock(std::chrono::milliseconds wait) = 0;
    virtual void Unlock() = 0;
    // What the node behind this handle is now, asked of the device without
    // walking the bus; std::nullopt when the node no longer answers (the
    // device left). A node whose device left may be reused by another one.
    virtual std::optional<HidIdentity> Identity() = 0;
    virtual std::optional<std::u16string> ManufacturerString() = 0;
    virtual std::optional<std::u16string> ProductString() = 0;
    // Sends one output report (byte 0 is the report ID). Returns the bytes
    // written or -1.
    virtual int Write(std::span<const uint8_t> report) = 0;
    // Reads one input report laid out with the report ID in byte 0, as the
    // board's answer formats count their bytes. Returns the bytes stored,
    // 0 when nothing arrived within `timeout_ms` (0: only what is already
    // pending), or -1 on error, as when the device has left the bus.
    virtual int Read(std::span<uint8_t> buffer, int timeout_ms) = 0;
};

class HidTransport {
public:
    virtual ~HidTransport() = default;
    // The devices present; std::nullopt when the bus cannot be listed.
    virtual std::optional<std::vector<HidDeviceInfo>> Enumerate() = 0;
    // True when a device may have come or gone since the last call (and at
    // the first call). The library walks the bus again only then, or when
    // it holds no handle of the board asked for. A transport that cannot
    // tell says true every time.
    virtual bool TakeBusChange() { return true; }
    // Opens the device; nullptr when it is gone or this user may not open
    // it. Other programs may hold it open too: Lock decides who exchanges.
    virtual std::unique_ptr<HidDevice> Open(const std::string& path) = 0;
};

}  // namespace kestrane::board
