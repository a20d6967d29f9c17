#include "volts_text.h"

namespace kestrane::board {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> PlainValue(std::string_view shown) {
    bool negative = false;
    if (!shown.empty() && (shown[0] == '+' || shown[0] == '-')) {
        negative = shown[0] == '-';
        shown.remove_prefix(1);
    }
    while (!shown.empty() && shown[0] == ' ') shown.remove_prefix(1);
    while (!shown.empty() && shown.back() == ' ') shown.remove_suffix(1);

    // digits [ "." digits ] [ ("E"|"e") [sign] digits ]
    std::size_t i = 0;
    std::size_t intDigits = 0;
    bool nonZero = false;
    while (i < shown.size() && IsDigit(shown[i])) nonZero |= shown[i++] != '0', ++intDigits;
    if (intDigits == 0) return std::nullopt;
    if (i < shown.size() && shown[i] == '.') {
        ++i;
        std::size_t fracDigits = 0;
        while (i < shown.size() && IsDigit(shown[i])) nonZero |= shown[i++] != '0', ++fracDigits;
        if (fracDigits == 0) return std::nullopt;
    }
    if (i < shown.size() && (shown[i] == 'E' || shown[i] == 'e')) {
        ++i;
        if (i < shown.size() && (shown[i] == '+' || shown[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < shown.size() && IsDigit(shown[i])) ++i, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != shown.size()) return std::nullopt;
    std::string out;
    if (negative && nonZero) out = "-";
    out.append(shown);
    return out;
}

}  // namespace kestrane::board
