#include "common/reading_number.h"

#include <cmath>

#include "common/numtext.h"

namespace kestrane {

std::string PlainNumber(const ReadingNumber& number) {
    // The magnitude goes through the same formatter as the shown text, so
    // the digits are the same bytes.
    std::string digits = RealToText(std::fabs(number.exact), number.decimals);
    digits.erase(0, digits.find_first_not_of(' '));
    if (!std::signbit(number.exact)) return digits;
    const std::string_view mantissa = std::string_view(digits).substr(0, digits.find_first_of("Ee"));
    if (mantissa.find_first_of("123456789") == std::string_view::npos) return digits;
    return "-" + digits;
}

}  // namespace kestrane
