// An emulated USB HID bus for the real hidraw path: a umockdev testbed with
// boards and other HID devices as sysfs devices with /dev/hidrawN nodes,
// and a thread that answers the boards' command reports as the firmware
// does. The process must run with umockdev's preload library (and the
// fstat shim before it); children started from it share the testbed.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;

namespace kestrane::test {

struct EmulatedDevice {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0x0100;
    std::string manufacturer = "Morvane";
    std::string product = "KESTRANEUNIT";
    // A board answers commands; any other device stays silent.
    bool board = true;
    std::array<uint32_t, 6> words{};
    std::string firmware = "KESTRANE FW 1.00";
};

class EmulatedHidBus {
public:
    EmulatedHidBus();
    ~EmulatedHidBus();
    EmulatedHidBus(const EmulatedHidBus&) = delete;
    EmulatedHidBus& operator=(const EmulatedHidBus&) = delete;

    // Whether the process runs under umockdev's preload library.
    static bool InMockEnvironment();

    // Adds the device under a new node name and announces it; returns the
    // node ("/dev/hidraw3"). Node names are never used twice.
    std::string Add(const EmulatedDevice& device);
    // Announces the removal and takes the device and its node away.
    void Remove(const std::string& node);
    // The node now answers for another device, as when the kernel gives a
    // freed node name to the next device plugged in.
    void Replace(const std::string& node, uint16_t vendorId, uint16_t productId);
    // Puts an input report on the node that nobody asked for.
    void SendReport(const std::string& node, const std::vector<uint8_t>& payload);
    void SetWord(const std::string& node, int channel, uint32_t word);
    // Changes the access mode of the node.
    void Chmod(const std::string& node, unsigned mode);
    // Commands the device at `node` received.
    int Commands(const std::string& node);

private:
    struct Node {
        EmulatedDevice device;
        std::string syspath;
        int master = -1;
        int commands = 0;
        _UMockdevIoctlBase* handler = nullptr;
        // A node no program holds open reports a hang-up on every poll;
        // it is left out of the polls until then.
        std::chrono::steady_clock::time_point quietUntil{};
    };
    // Reads one command waiting on the node, if any, and answers it.
    void Serve(Node& node, short revents);
    static int HandleIoctl(_UMockdevIoctlBase* handler, void* client, void* self);
    void AnswerLoop();

    _UMockdevTestbed* testbed_ = nullptr;
    std::mutex mutex_;
    std::map<std::string, Node> nodes_;
    int nextIndex_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread answering_;
};

}  // namespace kestrane::test
