// Fuzz target: ParseReal over arbitrary text, number after number. The
// cursor must always advance within the text and stop at its end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plotwick/loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* const begin = text.c_str();
    const char* const end = begin + std::strlen(begin);
    const char* cursor = begin;
    while (cursor < end) {
        const char* before = cursor;
        const plotwick::ParsedReal r = plotwick::ParseRealChecked(cursor);
        if (cursor < before || cursor > end) std::abort();
        if (!r.hasDigits && r.value != 0.0f) std::abort();
        if (cursor == before) ++cursor;
    }
    return 0;
}
