// The board's volts text ("+ 12.345678") as the plain number it stands
// for. Only the kestrane-board tool reads numbers back from text; the
// client and the logger carry readings as numbers from the conversion.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrane::board {

// The number a signed reading text stands for, without the blank after the
// sign: "+ 12.345" -> "12.345", "- 0.5" -> "-0.5", "- 0" -> "0" (no negative
// zero). "  DISABLED", an empty text or anything that is not a sign, blanks
// and a decimal number (with an optional exponent) gives nothing.
std::optional<std::string> PlainValue(std::string_view shown);

}  // namespace kestrane::board
