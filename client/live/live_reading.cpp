// The plain number text of a stored value.
#include "live/live_reading.h"

#include <array>
#include <charconv>

namespace kestrane::live {

std::string PlainNumber(double value, uint8_t decimals) {
    if (value == 0.0) value = 0.0;  // drops the sign of a negative zero
    std::array<char, 512> buf{};
    const auto r = decimals >= kShortestDecimals
                       ? std::to_chars(buf.data(), buf.data() + buf.size(), value)
                       : std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed,
                                       static_cast<int>(decimals));
    if (r.ec != std::errc()) return std::to_string(value);
    std::string out(buf.data(), r.ptr);
    // A value that rounds to zero at its decimals ("-0.000") is written unsigned.
    if (out[0] == '-' && out.find_first_of("123456789") == std::string::npos) out.erase(0, 1);
    return out;
}

}  // namespace kestrane::live
