// The exported C functions of Kestrane_DLL. They pick the transport once
// (the simulated bus when KESTRANE_SIMULATION names a file, hidapi
// otherwise), share one BoardSession for the library-wide state and the
// held board handles, and let no C++ exception cross into the caller.
#define KESTRANE_DLL_BUILDING 1
#include "kestrane_dll.h"

#include <cstdlib>
#include <cstring>

#include "board_access.h"
#include "board_session.h"
#include "transport_choice.h"

namespace {

using namespace kestrane::board;

// Destroyed when the library is unloaded (or the process exits), which
// closes every board handle still held.
BoardSession& Session() {
    static BoardSession session(TransportFromEnvironment());
    return session;
}

template <typename F>
int32_t Guarded(char* text, F&& f) noexcept {
    if (text == nullptr) return 0;
    try {
        return Session().Run(f);
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
