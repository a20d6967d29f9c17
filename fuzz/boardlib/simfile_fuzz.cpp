// Parses arbitrary simulation files; whatever parses is then used as a bus
// for a round of discovery and exchanges on a fixed clock.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "board_access.h"
#include "simulated_bus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrane::board;
    SimParseResult parsed = ParseSimulation(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed.config) {
        if (parsed.error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    if (parsed.config->devices.size() > 8) parsed.config->devices.resize(8);
    // Timeouts and open delays are not waited out: they only cost time here.
    SimulatedBus bus(
        std::move(*parsed.config), [] { return 12345.678; }, [](std::chrono::milliseconds) {});
    BoardLibrary lib;
    lib.transport = &bus;
    std::array<char, 1024> list{};
    if (!FindBoards(lib, list.data())) std::abort();
    std::array<char, 256> text{};
    const auto devices = bus.Enumerate();
    if (!devices) std::abort();
    for (const auto& info : *devices) {
        for (int32_t command : {1, 2, 3, 4, 5, 6, 8}) {
            for (int32_t mode : {0, 1}) {
                if (ReadBoard(lib, info.productId, command, mode, text.data()) &&
                    strnlen(text.data(), text.size()) >= 128)
                    std::abort();
            }
        }
        BoardProduct(lib, info.productId, text.data());
        BoardVersion(lib, info.productId, text.data());
    }
    return 0;
}
