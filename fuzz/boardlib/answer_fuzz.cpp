// Feeds arbitrary board answers through the exchange: the first byte picks
// the command and mode, the rest is what the board sent back. The answer
// text must stay within its buffer and its format.
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "board_access.h"

namespace {

using namespace kestrane::board;

class ReplayDevice final : public HidDevice {
public:
    explicit ReplayDevice(std::span<const uint8_t> answer) : answer_(answer) {}
    bool Lock(std::chrono::milliseconds) override { return true; }
    std::optional<HidIdentity> Identity() override { return HidIdentity{0, 0x000A}; }
    void Unlock() override {}
    std::optional<std::u16string> ManufacturerString() override { return std::nullopt; }
    std::optional<std::u16string> ProductString() override { return std::nullopt; }
    int Write(std::span<const uint8_t> report) override { return static_cast<int>(report.size()); }
    int Read(std::span<uint8_t> buffer, int timeout_ms) override {
        if (timeout_ms == 0) return 0;  // nothing pending before the write
        const size_t n = std::min(answer_.size(), buffer.size());
        std::memcpy(buffer.data(), answer_.data(), n);
        return static_cast<int>(n);
    }

private:
    std::span<const uint8_t> answer_;
};

class ReplayTransport final : public HidTransport {
public:
    explicit ReplayTransport(std::span<const uint8_t> answer) : answer_(answer) {}
    std::optional<std::vector<HidDeviceInfo>> Enumerate() override {
        return std::vector<HidDeviceInfo>{{"replay", 0, 0x000A, 0x0100}};
    }
    std::unique_ptr<HidDevice> Open(const std::string&) override {
        return std::make_unique<ReplayDevice>(answer_);
    }

private:
    std::span<const uint8_t> answer_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr int32_t kCommands[] = {1, 2, 3, 4, 5, 6, 8, 0};
    const int32_t command = kCommands[data[0] & 7];
    const int32_t mode = (data[0] >> 3) & 1;
    ReplayTransport transport(std::span<const uint8_t>(data + 1, size - 1));
    BoardLibrary lib;
    lib.transport = &transport;
    std::array<char, 256> text;
    text.fill('#');
    const int32_t ok = ReadBoard(lib, 0x000A, command, mode, text.data());
    if (!ok) return 0;
    const size_t len = strnlen(text.data(), text.size());
    // The header promises at most 128 bytes with the terminator.
    if (len >= 128) std::abort();
    for (size_t i = 128; i < text.size(); ++i)
        if (text[i] != '#') std::abort();
    if (command != 8 && mode == 1 && (len < 10 || (text[0] != '+' && text[0] != '-') || text[1] != ' '))
        std::abort();
    return 0;
}
