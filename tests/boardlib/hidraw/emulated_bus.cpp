#include "emulated_bus.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kestrane::test {
namespace {

constexpr int kHidrawMajor = 241;
constexpr size_t kReportSize = 64;

std::string Hex4(uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", v);
    return text;
}

}  // namespace

EmulatedHidBus::EmulatedHidBus() : testbed_(umockdev_testbed_new()) {
    answering_ = std::thread([this] { AnswerLoop(); });
}

EmulatedHidBus::~EmulatedHidBus() {
    stopping_ = true;
    answering_.join();
    // Taken away unannounced: umockdev gives up when a listener that no
    // longer reads (a library's monitor) has a full queue of notices.
    for (auto& [name, node] : nodes_) {
        umockdev_testbed_detach_ioctl(testbed_, name.c_str(), nullptr);
        g_object_unref(node.handler);
    }
    nodes_.clear();
    g_object_unref(testbed_);
}

bool EmulatedHidBus::InMockEnvironment() { return umockdev_in_mock_environment(); }

std::string EmulatedHidBus::Add(const EmulatedDevice& device) {
    std::lock_guard<std::mutex> hold(mutex_);
    const int n = nextIndex_++;
    const std::string usb = "/devices/usb1/1-" + std::to_string(n + 1);
    const std::string hid = usb + "/1-" + std::to_string(n + 1) + ":1.0/0003:" + Hex4(device.vendorId) + ":" +
                            Hex4(device.productId) + "." + Hex4(static_cast<uint16_t>(n + 1));
    const std::string name = "hidraw" + std::to_string(n);
    char vendor[8], product[8], version[8];
    std::snprintf(vendor, sizeof vendor, "%04x", device.vendorId);
    std::snprintf(product, sizeof product, "%04x", device.productId);
    std::snprintf(version, sizeof version, "%04x", device.version);
    char hidId[32];
    std::snprintf(hidId, sizeof hidId, "0003:%08X:%08X", device.vendorId, device.productId);
    // The USB device, its interface, the HID device and its hidraw node, as
    // the kernel lays them out; hidapi reads the strings from the first.
    const std::string text =
        "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=" + vendor +
        "\nA: idProduct=" + product + "\nA: bcdDevice=" + version +
        "\nA: manufacturer=" + device.manufacturer + "\nA: product=" + device.product + "\n\nP: " + usb +
        "/1-" + std::to_string(n + 1) +
        ":1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=00\n\nP: " + hid +
        "\nE: SUBSYSTEM=hid\nE: HID_ID=" + hidId + "\nE: HID_NAME=" + device.manufacturer + " " +
        device.product + "\nE: HID_UNIQ=\n\nP: " + hid + "/hidraw/" + name + "\nN: " + name +
        "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" + name + "\nE: MAJOR=" + std::to_string(kHidrawMajor) +
        "\nE: MINOR=" + std::to_string(n) + "\nA: dev=" + std::to_string(kHidrawMajor) + ":" +
        std::to_string(n) + "\n\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), &error)) {
        const std::string why = error != nullptr ? error->message : "?";
        g_clear_error(&error);
        throw std::runtime_error("umockdev rejected the device: " + why);
    }
    const std::string devnode = "/dev/" + name;
    Node node;
    node.device = device;
    node.syspath = "/sys" + hid + "/hidraw/" + name;
    node.master = umockdev_testbed_get_dev_fd(testbed_, devnode.c_str());
    node.handler = static_cast<UMockdevIoctlBase*>(g_object_new(umockdev_ioctl_base_get_type(), nullptr));
    g_signal_connect(node.handler, "handle-ioctl", G_CALLBACK(&EmulatedHidBus::HandleIoctl), this);
    if (!umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), node.handler, &error)) {
        const std::string why = error != nullptr ? error->message : "?";
        g_clear_error(&error);
        throw std::runtime_error("umockdev cannot emulate the node's ioctls: " + why);
    }
    nodes_[devnode] = std::move(node);
    return devnode;
}

void EmulatedHidBus::Remove(const std::string& devnode) {
    Node node;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        const auto it = nodes_.find(devnode);
        if (it == nodes_.end()) return;
        node = std::move(it->second);
        nodes_.erase(it);
    }
    umockdev_testbed_uevent(testbed_, node.syspath.c_str(), "remove");
    umockdev_testbed_detach_ioctl(testbed_, devnode.c_str(), nullptr);
    g_object_unref(node.handler);
    // The whole USB device goes, as on an unplug.
    const std::string usb =
        node.syspath.substr(0, node.syspath.find('/', std::strlen("/sys/devices/usb1/") + 1));
    umockdev_testbed_remove_device(testbed_, usb.c_str());
}

void EmulatedHidBus::Replace(const std::string& devnode, uint16_t vendorId, uint16_t productId) {
    std::lock_guard<std::mutex> hold(mutex_);
    Node& node = nodes_.at(devnode);
    node.device.vendorId = vendorId;
    node.device.productId = productId;
    node.device.board = false;
}

void EmulatedHidBus::SendReport(const std::string& devnode, const std::vector<uint8_t>& payload) {
    std::lock_guard<std::mutex> hold(mutex_);
    const Node& node = nodes_.at(devnode);
    if (::write(node.master, payload.data(), payload.size()) < 0) std::perror("emulated report");
}

void EmulatedHidBus::SetWord(const std::string& devnode, int channel, uint32_t word) {
    std::lock_guard<std::mutex> hold(mutex_);
    nodes_.at(devnode).device.words.at(static_cast<size_t>(channel - 1)) = word;
}

void EmulatedHidBus::Chmod(const std::string& devnode, unsigned mode) {
    char* root = umockdev_testbed_get_root_dir(testbed_);
    const std::string path = std::string(root) + devnode;
    g_free(root);
    if (::chmod(path.c_str(), mode) != 0) std::perror(path.c_str());
}

int EmulatedHidBus::Commands(const std::string& devnode) {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto it = nodes_.find(devnode);
    if (it == nodes_.end()) return 0;
    // A command already written but not yet served counts too.
    pollfd p{it->second.master, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) Serve(it->second, p.revents);
    return it->second.commands;
}

// Runs on umockdev's worker thread for every ioctl on an emulated node.
int EmulatedHidBus::HandleIoctl(_UMockdevIoctlBase*, void* clientPointer, void* selfPointer) {
    auto* client = static_cast<UMockdevIoctlClient*>(clientPointer);
    auto* self = static_cast<EmulatedHidBus*>(selfPointer);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;
    if (request == HIDIOCGRAWINFO) {
        hidraw_devinfo info{};
        {
            std::lock_guard<std::mutex> hold(self->mutex_);
            const auto it = self->nodes_.find(umockdev_ioctl_client_get_devnode(client));
            if (it == self->nodes_.end()) {
                umockdev_ioctl_client_complete(client, -1, ENODEV);
                return TRUE;
            }
            info.bustype = 3;  // BUS_USB
            info.vendor = static_cast<int16_t>(it->second.device.vendorId);
            info.product = static_cast<int16_t>(it->second.device.productId);
        }
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof info, &error);
        if (data == nullptr) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        std::memcpy(data->data, &info, sizeof info);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    if (request == HIDIOCGRDESCSIZE) {
        // No report descriptor: hidapi then takes reports as unnumbered.
        const int size = 0;
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof size, &error);
        if (data == nullptr) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        std::memcpy(data->data, &size, sizeof size);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

// Reads the commands written to every node and answers a board's at once,
// report by report: the node is a PTY, which keeps no report boundaries.
void EmulatedHidBus::AnswerLoop() {
    while (!stopping_) {
        std::vector<pollfd> fds;
        const auto now = std::chrono::steady_clock::now();
        {
            std::lock_guard<std::mutex> hold(mutex_);
            for (const auto& [name, node] : nodes_)
                if (node.quietUntil <= now) fds.push_back({node.master, POLLIN, 0});
        }
        if (fds.empty() || ::poll(fds.data(), fds.size(), 20) <= 0) {
            if (fds.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        std::lock_guard<std::mutex> hold(mutex_);
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            for (auto& [name, node] : nodes_)
                if (node.master == p.fd) Serve(node, p.revents);
        }
    }
}

void EmulatedHidBus::Serve(Node& node, short revents) {
    std::array<uint8_t, 256> command{};
    const ssize_t got = (revents & POLLIN) != 0 ? ::read(node.master, command.data(), command.size()) : -1;
    if (got <= 0) {
        // No program has the node open.
        node.quietUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
        return;
    }
    ++node.commands;
    if (!node.device.board || got < 6 || command[0] != 0 || std::memcmp(&command[1], "Vorn", 4) != 0) return;
    const uint8_t digit = command[5];
    std::array<uint8_t, kReportSize> answer{};
    answer[0] = digit;
    if (digit >= '1' && digit <= '6') {
        const uint32_t word = node.device.words[static_cast<size_t>(digit - '1')];
        for (int i = 0; i < 4; ++i)
            answer[1 + static_cast<size_t>(i)] = static_cast<uint8_t>(word >> (8 * i));
    } else if (digit == '8') {
        std::memcpy(&answer[1], node.device.firmware.data(),
                    std::min(node.device.firmware.size(), answer.size() - 2));
    } else {
        return;
    }
    if (::write(node.master, answer.data(), answer.size()) < 0) std::perror("emulated answer");
}

}  // namespace kestrane::test
