// Hotplug notice for hidraw nodes: a libudev monitor whose descriptor a
// program's event loop watches (a QSocketNotifier), telling when a HID node
// came or went. Kept out of Kestrane_DLL's C ABI; a small static library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace kestrane::board {

// One hidraw node that came or went, with the USB identity udev gave its
// HID device (zero when udev named none).
struct HotplugEvent {
    bool added = false;
    std::string devnode;  // "/dev/hidraw3"; may be empty for a removal
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

class HotplugMonitor {
    struct Key {
        explicit Key() = default;
    };

public:
    // A monitor of the hidraw subsystem, or nullptr when udev cannot be
    // reached (no udev in a container, out of descriptors).
    static std::unique_ptr<HotplugMonitor> Open();
    ~HotplugMonitor();
    HotplugMonitor(const HotplugMonitor&) = delete;
    HotplugMonitor& operator=(const HotplugMonitor&) = delete;

    // Non-blocking; readable when events are waiting.
    int fd() const;
    // Reads every waiting event; true when a hidraw node was added or
    // removed. The events read are kept in events() until the next call.
    bool DrainEvents();
    const std::vector<HotplugEvent>& events() const { return events_; }

    // Only Open makes one.
    HotplugMonitor(Key, struct udev* context, struct udev_monitor* monitor);

private:
    struct udev* udev_;
    struct udev_monitor* monitor_;
    std::vector<HotplugEvent> events_;
};

}  // namespace kestrane::board
