// The narrow view of the HID bus the board library needs: list the devices
// present, open one by path, and on an open device take the exchange lock,
// read its strings, write one output report and read one input report. Real hardware and the
// simulated bus both sit behind it, so the exchange logic is tested without
// a board.
#pragma once

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

class HidDevice {
public:
    virtual ~HidDevice() = default;
    // Makes this handle the only one among all programs exchanging with the
    // device until Unlock; false when another handle holds it now. Closing
    // the handle drops the lock as well.
    virtual bool Lock() = 0;
    virtual void Unlock() = 0;
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
    // Opens the device; nullptr when it is gone or this user may not open
    // it. Other programs may hold it open too: Lock decides who exchanges.
    virtual std::unique_ptr<HidDevice> Open(const std::string& path) = 0;
};

}  // namespace kestrane::board
