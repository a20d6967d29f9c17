// Feeds arbitrary bytes to the number-text parsers and checks that every
// value TextToReal accepts formats back into a text that reads back close
// to it, with every decimal count.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/numtext.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void RoundTrip(long double value) {
    for (int d = 0; d <= 15; ++d) {
        const std::string text = kestrane::RealToText(value, d);
        Check(!text.empty() && text.size() <= 31);
        Check(text[0] == ' ' || text[0] == '-');
        const auto back = kestrane::TextToReal(text);
        const long double magnitude = std::fabs(value);
        if (text.find('E') != std::string::npos) {
            // 16 significant digits; the exponent form of the very largest
            // values (exponent 4932) is beyond what TextToReal accepts.
            if (back) Check(std::fabs(*back - value) <= magnitude * 1e-15L);
            continue;
        }
        Check(back.has_value());
        // Fixed form: the error is at most half a unit of the last place
        // shown, or the rounding of 16 significant digits for big values.
        const long double unit = std::pow(10.0L, -static_cast<long double>(d));
        Check(std::fabs(*back - value) <= unit / 2 + magnitude * 1e-15L);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto v = kestrane::TextToReal(text)) {
        Check(std::isfinite(*v));
        RoundTrip(*v);
    }
    const int32_t i = kestrane::TextToInt(text);
    Check(kestrane::TextToInt(kestrane::IntToText(i)) == i);
    if (const auto h = kestrane::HexToInt(text)) Check(size >= 1);
    const std::string trimmed = kestrane::TrimText(text);
    Check(trimmed.size() <= size);
    Check(kestrane::TrimText(trimmed) == trimmed);
    return 0;
}
