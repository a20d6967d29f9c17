// Decodes arbitrary bytes into a buffer sized by the first input byte, and
// checks that a round trip through the encoder reproduces the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plotwick/lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t room = size > 0 ? static_cast<size_t>(data[0]) * 64 : 0;
    std::vector<uint8_t> out(room);
    plotwick::BlockHeap heap;  // the decoder's working table
    const plotwick::LzwResult r = plotwick::LzwDecode(heap, std::span<const uint8_t>(data, size), out);
    if (r.written > room) std::abort();

    const std::span<const uint8_t> input(data, size);
    const std::vector<uint8_t> packed = plotwick::LzwEncode(input);
    std::vector<uint8_t> back(size);
    const plotwick::LzwResult rt = plotwick::LzwDecode(heap, packed, back);
    if (rt.status != plotwick::LzwStatus::Ok || rt.written != size ||
        (size && std::memcmp(back.data(), data, size) != 0)) {
        std::abort();
    }
    return 0;
}
