// The decimals of a shown reading text, for tests that describe their
// readings as the window shows them: digits after the point, or
// kShortestDecimals for a text in exponent form or one that is no number.
#pragma once

#include <cstdint>
#include <string>

#include "live/live_reading.h"
#include "volts_text.h"

namespace kestrane::live {

inline uint8_t DecimalsOfShown(const std::string& shown) {
    const auto plain = board::PlainValue(shown);
    if (!plain || plain->find_first_of("eE") != std::string::npos) return kShortestDecimals;
    const auto dot = plain->find('.');
    if (dot == std::string::npos) return 0;
    const std::size_t decimals = plain->size() - dot - 1;
    return decimals < kShortestDecimals ? static_cast<uint8_t>(decimals) : kShortestDecimals;
}

}  // namespace kestrane::live
