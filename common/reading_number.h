// A reading's number as the display shows it: the value the shown text was
// rounded from and the decimals it was rounded to. Every output that writes
// the number (rows, metrics, alarm environment) formats it with
// PlainNumber, so its digits are the display's, without reading text back.
#pragma once

#include <string>

namespace kestrane {

struct ReadingNumber {
    long double exact = 0.0L;  // signed value before rounding; -0 for a negative zero
    int decimals = 0;          // places shown, as RealToText takes them
    friend bool operator==(const ReadingNumber&, const ReadingNumber&) = default;
};

// The shown digits without the blank after the sign: "12.345", "-0.5",
// "9.999999999999999E+4931". A negative value that shows only zeros gives
// no sign ("0.000"), the same as a positive one.
std::string PlainNumber(const ReadingNumber& number);

}  // namespace kestrane
