#include "hidapi_transport.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <linux/hidraw.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cwchar>
#include <utility>

#include "file_lock.h"
#include "kestrane_hotplug.h"

namespace kestrane::board {
namespace {

struct HidCloser {
    void operator()(hid_device* d) const { hid_close(d); }
};
using HidHandle = std::unique_ptr<hid_device, HidCloser>;

struct EnumerationFree {
    void operator()(hid_device_info* d) const { hid_free_enumeration(d); }
};

// USB string descriptors hold at most 126 UTF-16 units; 256 leaves room.
constexpr size_t kStringUnits = 256;

std::u16string ToUtf16(const wchar_t* s) {
    std::u16string out;
    for (size_t i = 0; i < kStringUnits - 1 && s[i] != 0; ++i) {
        const uint32_t c = static_cast<uint32_t>(s[i]);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

class HidapiDevice final : public HidDevice {
public:
    HidapiDevice(HidHandle handle, UniqueFd lock) : handle_(std::move(handle)), lock_(std::move(lock)) {}

    bool Lock(std::chrono::milliseconds wait) override { return LockWithin(lock_.get(), wait); }
    void Unlock() override { ::flock(lock_.get(), LOCK_UN); }

    // One ioctl on the library's own descriptor of the node: the kernel
    // answers for the device the node belongs to now.
    std::optional<HidIdentity> Identity() override {
        struct hidraw_devinfo info {};
        if (::ioctl(lock_.get(), HIDIOCGRAWINFO, &info) < 0) return std::nullopt;
        return HidIdentity{static_cast<uint16_t>(info.vendor), static_cast<uint16_t>(info.product)};
    }

    std::optional<std::u16string> ManufacturerString() override {
        return String(&hid_get_manufacturer_string);
    }
    std::optional<std::u16string> ProductString() override { return String(&hid_get_product_string); }

    int Write(std::span<const uint8_t> report) override {
        return hid_write(handle_.get(), report.data(), report.size());
    }

    int Read(std::span<uint8_t> buffer, int timeout_ms) override {
        if (buffer.size() < 2) return -1;
        // hidraw hands over a report of a device without numbered reports
        // without the report-ID byte; put a 0 in front so the answer's byte
        // offsets are the board's own (report ID in byte 0).
        const int n = hid_read_timeout(handle_.get(), buffer.data() + 1, buffer.size() - 1, timeout_ms);
        if (n <= 0) return n < 0 ? -1 : 0;
        buffer[0] = 0;
        return n + 1;
    }

private:
    using StringGetter = int (*)(hid_device*, wchar_t*, size_t);
    std::optional<std::u16string> String(StringGetter get) {
        std::array<wchar_t, kStringUnits> text{};
        if (get(handle_.get(), text.data(), text.size()) < 0) return std::nullopt;
        text.back() = 0;
        return ToUtf16(text.data());
    }

    HidHandle handle_;
    UniqueFd lock_;
};

class HidapiTransport final : public HidTransport {
public:
    HidapiTransport() : ok_(hid_init() == 0), monitor_(HotplugMonitor::Open()) {}
    ~HidapiTransport() override {
        if (ok_) hid_exit();
    }

    std::optional<std::vector<HidDeviceInfo>> Enumerate() override {
        if (!ok_) return std::nullopt;
        // hidapi returns no list both for "no devices" and for some
        // failures; with no devices present that is the right answer.
        std::unique_ptr<hid_device_info, EnumerationFree> list(hid_enumerate(0, 0));
        std::vector<HidDeviceInfo> out;
        for (const hid_device_info* d = list.get(); d != nullptr; d = d->next) {
            if (d->path == nullptr) continue;
            out.push_back({d->path, d->vendor_id, d->product_id, d->release_number});
        }
        return out;
    }

    // Without udev's notice every call walks the bus, as it cannot know.
    bool TakeBusChange() override {
        if (!monitor_) return true;
        const bool changed = monitor_->DrainEvents() || first_;
        first_ = false;
        return changed;
    }

    std::unique_ptr<HidDevice> Open(const std::string& path) override {
        if (!ok_) return nullptr;
        // hidapi does not hand out its descriptor, so the exchange lock lives
        // on a second descriptor of the same node, open as long as the device.
        UniqueFd lock(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
        if (!lock.valid()) return nullptr;
        HidHandle handle(hid_open_path(path.c_str()));
        if (!handle) return nullptr;
        return std::make_unique<HidapiDevice>(std::move(handle), std::move(lock));
    }

private:
    bool ok_;
    std::unique_ptr<HotplugMonitor> monitor_;
    bool first_ = true;
};

}  // namespace

std::unique_ptr<HidTransport> MakeHidapiTransport() { return std::make_unique<HidapiTransport>(); }

}  // namespace kestrane::board
