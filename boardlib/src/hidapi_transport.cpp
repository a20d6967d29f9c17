#include "hidapi_transport.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <utility>

namespace kestrane::board {
namespace {

class FileLock {
public:
    FileLock() = default;
    explicit FileLock(int fd) : fd_(fd) {}
    FileLock(FileLock&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    FileLock& operator=(FileLock&&) = delete;
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing drops the flock
    }
    bool held() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

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
    HidapiDevice(HidHandle handle, FileLock lock) : handle_(std::move(handle)), lock_(std::move(lock)) {}

    bool Lock() override { return ::flock(lock_.fd(), LOCK_EX | LOCK_NB) == 0; }
    void Unlock() override { ::flock(lock_.fd(), LOCK_UN); }

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
    FileLock lock_;
};

class HidapiTransport final : public HidTransport {
public:
    HidapiTransport() : ok_(hid_init() == 0) {}
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

    std::unique_ptr<HidDevice> Open(const std::string& path) override {
        if (!ok_) return nullptr;
        // hidapi does not hand out its descriptor, so the exchange lock lives
        // on a second descriptor of the same node, open as long as the device.
        FileLock lock(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
        if (!lock.held()) return nullptr;
        HidHandle handle(hid_open_path(path.c_str()));
        if (!handle) return nullptr;
        return std::make_unique<HidapiDevice>(std::move(handle), std::move(lock));
    }

private:
    bool ok_;
};

}  // namespace

std::unique_ptr<HidTransport> MakeHidapiTransport() { return std::make_unique<HidapiTransport>(); }

}  // namespace kestrane::board
