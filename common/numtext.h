// Number texts shared by the board library and the client: every number
// crosses the settings, dialogs, display, alarms and log files as text, so
// both deliverables format and parse it with these one set of rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrane {

// Fixed-point text of a value with `decimals` places (0-15, larger counts as
// 15; negative counts as 0), rounded to nearest with ties to even. Zero gives
// " 0"; non-negative values begin with a space, negative ones with "-";
// values of 1e16 and beyond use the exponent form " d.dddddddddddddddE+dddd".
// The rounding is exact (no floating-point error in ties or carries). A NaN
// gives " NAN" and infinities " INF" / "-INF", texts TextToReal refuses.
std::string RealToText(long double value, int decimals);

// Strict decimal text to a number: optional leading spaces, optional sign
// directly followed by digits with at most one ".", at most 18 significant
// digits (further digits only zeros after the point), optional exponent of
// at most 4931 either way, nothing after. Any other text, or a value beyond
// the range of long double, gives std::nullopt. The program locale never
// matters: the decimal mark is always ".".
std::optional<long double> TextToReal(std::string_view text);

// Optional "-" then decimal digits, wrapping in 32-bit two's complement so
// every IntToText result reads back to the same bit pattern. Reading stops
// at the first character that is not a digit.
int32_t TextToInt(std::string_view text);

// Signed decimal text: "-" for negatives, no leading zeros, "0" for zero.
std::string IntToText(int32_t value);

// Hexadecimal digits of either case, most significant first; std::nullopt
// when any character is not a hexadecimal digit, the text is empty or the
// value does not fit 32 bits.
std::optional<uint32_t> HexToInt(std::string_view text);

// Drops leading spaces and tabs and every trailing character below '!'.
std::string TrimText(std::string_view text);

}  // namespace kestrane
