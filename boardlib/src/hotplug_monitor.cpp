#include "kestrane_hotplug.h"

#include <libudev.h>
#include <poll.h>

#include <charconv>
#include <cstring>
#include <string_view>

namespace kestrane::board {
namespace {

// A waiting event is read at most this many times per drain, so a storm of
// events cannot hold the caller.
constexpr int kMaxEventsPerDrain = 256;

// HID_ID of the parent HID device: "0003:00000000:0000000A" (bus, vendor,
// product in hex). Anything malformed leaves the identity at zero.
void ParseHidId(const char* text, HotplugEvent& event) {
    if (text == nullptr) return;
    const std::string_view id(text);
    const size_t first = id.find(':');
    const size_t second = first == std::string_view::npos ? first : id.find(':', first + 1);
    if (second == std::string_view::npos) return;
    uint32_t vendor = 0;
    uint32_t product = 0;
    const char* vendorEnd = id.data() + second;
    const auto v = std::from_chars(id.data() + first + 1, vendorEnd, vendor, 16);
    const auto p = std::from_chars(id.data() + second + 1, id.data() + id.size(), product, 16);
    if (v.ec != std::errc() || v.ptr != vendorEnd || p.ec != std::errc() || vendor > 0xFFFF ||
        product > 0xFFFF)
        return;
    event.vendorId = static_cast<uint16_t>(vendor);
    event.productId = static_cast<uint16_t>(product);
}

}  // namespace

std::unique_ptr<HotplugMonitor> HotplugMonitor::Open() {
    struct udev* context = udev_new();
    if (context == nullptr) return nullptr;
    struct udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor != nullptr) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<HotplugMonitor>(Key{}, context, monitor);
}

HotplugMonitor::HotplugMonitor(Key, struct udev* context, struct udev_monitor* monitor)
    : udev_(context), monitor_(monitor) {}

HotplugMonitor::~HotplugMonitor() {
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
}

int HotplugMonitor::fd() const { return udev_monitor_get_fd(monitor_); }

bool HotplugMonitor::DrainEvents() {
    events_.clear();
    bool changed = false;
    for (int i = 0; i < kMaxEventsPerDrain; ++i) {
        // The socket is non-blocking, but libudev logs a failed receive; a
        // poll first keeps the common "nothing waiting" case to one call.
        struct pollfd p {
            fd(), POLLIN, 0
        };
        if (::poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) break;
        struct udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) continue;  // a message udev filtered out
        const char* action = udev_device_get_action(device);
        const bool added = action != nullptr && std::strcmp(action, "add") == 0;
        const bool removed = action != nullptr && std::strcmp(action, "remove") == 0;
        if (added || removed) {
            HotplugEvent event;
            event.added = added;
            if (const char* node = udev_device_get_devnode(device)) event.devnode = node;
            // The parent belongs to the child; it is not unreferenced here.
            if (struct udev_device* hid =
                    udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr))
                ParseHidId(udev_device_get_property_value(hid, "HID_ID"), event);
            events_.push_back(std::move(event));
            changed = true;
        }
        udev_device_unref(device);
    }
    return changed;
}

}  // namespace kestrane::board
