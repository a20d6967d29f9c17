// The exported C functions of Kestrane_DLL. They pick the transport once
// (the simulated bus when KESTRANE_SIMULATION names a file, hidapi
// otherwise), keep the library-wide state in one struct, and let no C++
// exception cross into the caller.
#define KESTRANE_DLL_BUILDING 1
#include "kestrane_dll.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "board_access.h"
#include "hidapi_transport.h"
#include "simulated_bus.h"

namespace {

using namespace kestrane::board;

struct LibraryState {
    // The library-wide buffers serve one call at a time; the lock keeps a
    // caller that does use threads from interleaving two exchanges.
    std::mutex lock;
    std::unique_ptr<HidTransport> transport;
    BoardLibrary library;

    LibraryState() {
        const char* simulation = std::getenv("KESTRANE_SIMULATION");
        if (simulation != nullptr && simulation[0] != '\0') {
            transport = SimulatedBus::FromFile(simulation);
        } else {
            transport = MakeHidapiTransport();
        }
        library.transport = transport.get();
    }
};

LibraryState& State() {
    static LibraryState state;
    return state;
}

template <typename F>
int32_t Guarded(char* text, F&& f) noexcept {
    if (text == nullptr) return 0;
    try {
        LibraryState& state = State();
        std::lock_guard<std::mutex> hold(state.lock);
        return f(state.library);
    } catch (...) {
        return 0;
    }
}

}  // namespace

extern "C" {

KESTRANE_DLL_API int32_t FindKestranes(char* text) {
    return Guarded(text, [&](BoardLibrary& lib) { return FindBoards(lib, text); });
}

KESTRANE_DLL_API int32_t ReadKestrane(int32_t product_id, int32_t command, int32_t mode, char* text) {
    return Guarded(text, [&](BoardLibrary& lib) { return ReadBoard(lib, product_id, command, mode, text); });
}

KESTRANE_DLL_API int32_t GetManufacturerString(int32_t product_id, char* text) {
    return Guarded(text, [&](BoardLibrary& lib) { return BoardManufacturer(lib, product_id, text); });
}

KESTRANE_DLL_API int32_t GetProductString(int32_t product_id, char* text) {
    return Guarded(text, [&](BoardLibrary& lib) { return BoardProduct(lib, product_id, text); });
}

KESTRANE_DLL_API int32_t GetVersionString(int32_t product_id, char* text) {
    return Guarded(text, [&](BoardLibrary& lib) { return BoardVersion(lib, product_id, text); });
}

KESTRANE_DLL_API int32_t TestDLL(char* text) {
    if (text == nullptr) return 0;
    std::memcpy(text, "OK", 3);
    return 1;
}

}  // extern "C"
