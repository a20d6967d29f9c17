// Number-text helpers. RealToText rounds exactly: the binary value is split
// into an integer mantissa and a power of two, and the decimal rounding is
// done on integers, so ties and carries never depend on floating-point
// error. TextToReal checks the grammar itself and leaves the correctly
// rounded conversion to strtold_l in the "C" locale, so a program locale
// with a decimal comma cannot change what a settings text means.
#include "common/numtext.h"

#include <locale.h>
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace kestrane {
namespace {

static_assert(LDBL_MANT_DIG <= 64, "mantissa extraction assumes at most 64 significant bits");

using u128 = unsigned __int128;

constexpr int kMaxDecimals = 15;
constexpr int kSignificantDigits = 16;  // digits shown by the exponent form
constexpr int kMaxTextDigits = 18;      // significant digits TextToReal accepts
constexpr int kMaxTextExponent = 4931;

constexpr uint64_t kPow10[20] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

// A finite, non-zero magnitude as mantissa * 2^exp2 with an integer mantissa.
struct BinaryValue {
    uint64_t mantissa;
    int exp2;
};

BinaryValue Split(long double magnitude) {
    int e = 0;
    const long double frac = std::frexp(magnitude, &e);  // magnitude = frac * 2^e, frac in [0.5, 1)
    const long double scaled = std::ldexp(frac, LDBL_MANT_DIG);
    return {static_cast<uint64_t>(scaled), e - LDBL_MANT_DIG};
}

// Arbitrary-size unsigned integer, just enough for exact comparisons of
// mantissa * 2^a against multiples of 10^b in the exponent form.
class BigUint {
public:
    explicit BigUint(uint64_t v) {
        words_.push_back(static_cast<uint32_t>(v));
        words_.push_back(static_cast<uint32_t>(v >> 32));
        Normalize();
    }
    void MulU64(uint64_t factor) {
        u128 carry = 0;
        for (auto& w : words_) {
            const u128 p = static_cast<u128>(w) * factor + carry;
            w = static_cast<uint32_t>(p);
            carry = p >> 32;
        }
        while (carry != 0) {
            words_.push_back(static_cast<uint32_t>(carry));
            carry >>= 32;
        }
        Normalize();
    }
    void Mul(const BigUint& other) {
        std::vector<uint32_t> out(words_.size() + other.words_.size(), 0U);
        for (std::size_t i = 0; i < words_.size(); ++i) {
            uint64_t carry = 0;
            for (std::size_t j = 0; j < other.words_.size(); ++j) {
                const uint64_t p = static_cast<uint64_t>(words_[i]) * other.words_[j] + out[i + j] + carry;
                out[i + j] = static_cast<uint32_t>(p);
                carry = p >> 32;
            }
            out[i + other.words_.size()] = static_cast<uint32_t>(carry);
        }
        words_ = std::move(out);
        Normalize();
    }
    void MulPow10(int n);
    void ShiftLeft(int bits) {
        if (bits <= 0) return;
        const int whole = bits / 32;
        const int part = bits % 32;
        if (part != 0) {
            uint32_t carry = 0;
            for (auto& w : words_) {
                const uint32_t next = w >> (32 - part);
                w = (w << part) | carry;
                carry = next;
            }
            if (carry != 0) words_.push_back(carry);
        }
        words_.insert(words_.begin(), static_cast<std::size_t>(whole), 0U);
        Normalize();
    }
    friend int Compare(const BigUint& a, const BigUint& b) {
        if (a.words_.size() != b.words_.size()) return a.words_.size() < b.words_.size() ? -1 : 1;
        for (std::size_t i = a.words_.size(); i-- > 0;) {
            if (a.words_[i] != b.words_[i]) return a.words_[i] < b.words_[i] ? -1 : 1;
        }
        return 0;
    }

private:
    void Normalize() {
        while (words_.size() > 1 && words_.back() == 0) words_.pop_back();
    }
    std::vector<uint32_t> words_;
};

// 10^n as a big integer. The few most recent powers are kept per thread:
// the huge exponents of the exponent form take a while to build, and a
// value is usually formatted more than once.
const BigUint& Pow10Big(int n) {
    struct Entry {
        int n = -1;
        BigUint value{1};
    };
    thread_local std::array<Entry, 4> cache;
    thread_local std::size_t next = 0;
    for (const auto& e : cache) {
        if (e.n == n) return e.value;
    }
    Entry& slot = cache[next];
    next = (next + 1) % cache.size();
    BigUint p(1);
    int k = n;
    for (; k >= 19; k -= 19) p.MulU64(kPow10[19]);
    if (k > 0) p.MulU64(kPow10[k]);
    slot.n = n;
    slot.value = std::move(p);
    return slot.value;
}

void BigUint::MulPow10(int n) {
    if (n <= 19) {
        if (n > 0) MulU64(kPow10[n]);
        return;
    }
    Mul(Pow10Big(n));
}

// Compares mantissa * 2^exp2 * 2^extraBits with num * 10^pow10 exactly
// (pow10 may be negative: then the power moves to the other side).
int CompareScaled(const BinaryValue& v, int extraBits, uint64_t num, int pow10) {
    BigUint left(v.mantissa);
    BigUint right(num);
    const int bits = v.exp2 + extraBits;
    if (bits >= 0) {
        left.ShiftLeft(bits);
    } else {
        right.ShiftLeft(-bits);
    }
    if (pow10 >= 0) {
        right.MulPow10(pow10);
    } else {
        left.MulPow10(-pow10);
    }
    return Compare(left, right);
}

// Compares the value with 10^p; 128-bit arithmetic when it fits, which
// covers every value of the fixed form.
int ComparePow10(const BinaryValue& v, int p) {
    if (p >= 0 && p <= 19 && v.exp2 < 0 && v.exp2 >= -63) {
        const u128 left = v.mantissa;
        const u128 right = static_cast<u128>(kPow10[p]) << -v.exp2;  // below 2^127
        return left < right ? -1 : (left > right ? 1 : 0);
    }
    return CompareScaled(v, 0, 1, p);
}

// Decimal exponent of a value of at least 1: floor(log10(value)), exact.
int DecimalExponent(long double magnitude, const BinaryValue& v) {
    const long double l = std::log10(magnitude);
    int e = static_cast<int>(std::floor(l));
    // log10 is accurate to far better than 1e-9 here, so away from a power
    // of ten its floor is already exact and the costly check is skipped.
    const long double frac = l - static_cast<long double>(e);
    if (frac > 1e-9L && frac < 1 - 1e-9L) return e;
    // log10 may be off by one next to a power of ten; settle it exactly.
    while (e > 0 && ComparePow10(v, e) < 0) --e;
    while (ComparePow10(v, e + 1) >= 0) ++e;
    return e;
}

// round(mantissa * 2^exp2 * 10^d) with ties to even, for results below 2^64.
uint64_t RoundScaled(const BinaryValue& v, int d) {
    const u128 n = static_cast<u128>(v.mantissa) * kPow10[d];  // below 2^114
    if (v.exp2 >= 0) return static_cast<uint64_t>(n << v.exp2);
    const int shift = -v.exp2;
    if (shift >= 120) return 0;  // n < 2^114 is below half of 2^shift
    const u128 q = n >> shift;
    const u128 rem = n - (q << shift);
    const u128 half = static_cast<u128>(1) << (shift - 1);
    u128 r = q;
    if (rem > half || (rem == half && (q & 1) != 0)) ++r;
    return static_cast<uint64_t>(r);
}

std::string DigitsOf(uint64_t v) {
    std::string s;
    do {
        s.push_back(static_cast<char>('0' + v % 10));
        v /= 10;
    } while (v != 0);
    std::reverse(s.begin(), s.end());
    return s;
}

std::string ExponentForm(char sign, const BinaryValue& v, int e) {
    // q = round(value / 10^(e - 15)) with ties to even, found by estimating
    // and then checking 2 * value against (2q +- 1) * 10^(e - 15) exactly.
    const int scale = e - (kSignificantDigits - 1);
    // Is value >= (q + 0.5) * 10^scale, i.e. 2*value >= (2q+1) * 10^scale,
    // with a tie rounding up only to an even result? Monotone in q. Both
    // sides are built once as mantissa * 2^a * 10^b and 2^c * 10^d, so each
    // test costs one multiplication by 2q+1.
    BigUint left(v.mantissa);
    BigUint right(1);
    const int bits = v.exp2 + 1;
    if (bits >= 0) {
        left.ShiftLeft(bits);
    } else {
        right.ShiftLeft(-bits);
    }
    if (scale >= 0) {
        right.MulPow10(scale);
    } else {
        left.MulPow10(-scale);
    }
    const auto roundsAbove = [&](uint64_t q) {
        BigUint limit = right;
        limit.MulU64(2 * q + 1);
        const int c = Compare(left, limit);
        return c > 0 || (c == 0 && (q & 1) != 0);
    };
    // A long double estimate is within a few units; bracket it and search
    // exactly, widening to the whole 16-digit range if the bracket is off.
    uint64_t lo = kPow10[kSignificantDigits - 1];
    uint64_t hi = kPow10[kSignificantDigits];  // value < 10^(e+1) so q <= 10^16
    const long double estimate =
        std::ldexp(static_cast<long double>(v.mantissa), v.exp2) / std::pow(10.0L, scale);
    if (estimate > static_cast<long double>(lo) + 8 && estimate < static_cast<long double>(hi) - 8) {
        const auto guess = static_cast<uint64_t>(estimate);
        if (roundsAbove(guess - 8) && !roundsAbove(guess + 8)) {
            lo = guess - 7;
            hi = guess + 8;
        }
    }
    while (lo < hi) {
        const uint64_t mid = lo + (hi - lo) / 2;
        if (roundsAbove(mid)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    uint64_t q = lo;
    if (q == kPow10[kSignificantDigits]) {  // rounding carried into a new digit
        q = kPow10[kSignificantDigits - 1];
        ++e;
    }
    const std::string digits = DigitsOf(q);
    std::string out;
    out.push_back(sign);
    out.push_back(digits[0]);
    out.push_back('.');
    out.append(digits, 1, std::string::npos);
    out.push_back('E');
    out.push_back(e < 0 ? '-' : '+');
    std::string exp = DigitsOf(static_cast<uint64_t>(std::abs(e)));
    if (exp.size() < 4) exp.insert(0, 4 - exp.size(), '0');
    out += exp;
    return out;
}

locale_t CLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string RealToText(long double value, int decimals) {
    int d = std::clamp(decimals, 0, kMaxDecimals);
    if (std::isnan(value)) return " NAN";
    const char sign = std::signbit(value) ? '-' : ' ';
    if (std::isinf(value)) return std::string(1, sign) + "INF";
    if (value == 0) return " 0";

    const long double magnitude = std::fabs(value);
    const BinaryValue v = Split(magnitude);
    if (magnitude >= 1) {
        const int e = DecimalExponent(magnitude, v);
        if (e > kMaxDecimals) return ExponentForm(sign, v, e);
        if (e + d > kMaxDecimals) d = kMaxDecimals - e;
    }
    // magnitude < 10^16 and e + d <= 15, so the rounded integer is at most 10^16.
    const uint64_t q = RoundScaled(v, d);
    std::string out(1, sign);
    out += DigitsOf(q / kPow10[d]);
    if (d > 0) {
        std::string frac = DigitsOf(q % kPow10[d]);
        out.push_back('.');
        out.append(static_cast<std::size_t>(d) - frac.size(), '0');
        out += frac;
    }
    return out;
}

std::optional<long double> TextToReal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size()) return std::nullopt;

    std::string clean;  // the validated number, rebuilt for strtold_l
    if (text[i] == '+' || text[i] == '-') clean.push_back(text[i++]);

    int significant = 0;
    bool anyDigit = false;
    bool seenPoint = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (seenPoint) return std::nullopt;
            seenPoint = true;
            clean.push_back(c);
            continue;
        }
        if (!IsDigit(c)) break;
        anyDigit = true;
        if (significant == 0 && c == '0') {
            clean.push_back(c);  // leading zeros do not count
            continue;
        }
        if (significant >= kMaxTextDigits) {
            // Past 18 significant digits only zeros after the point may follow.
            if (!(seenPoint && c == '0')) return std::nullopt;
            continue;
        }
        ++significant;
        clean.push_back(c);
    }
    if (!anyDigit) return std::nullopt;

    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        clean.push_back('e');
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) clean.push_back(text[i++]);
        int exponent = 0;
        bool expDigit = false;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            expDigit = true;
            exponent = exponent * 10 + (text[i] - '0');
            if (exponent > kMaxTextExponent) return std::nullopt;
        }
        if (!expDigit) return std::nullopt;
        clean += std::to_string(exponent);
    }
    if (i != text.size()) return std::nullopt;

    const locale_t loc = CLocale();
    if (loc == static_cast<locale_t>(nullptr)) return std::nullopt;
    char* end = nullptr;
    const long double value = strtold_l(clean.c_str(), &end, loc);
    if (end != clean.c_str() + clean.size()) return std::nullopt;
    // 18 digits with exponent 4931 can still exceed the type's range; an
    // infinity is not a reading, so such a text fails like any other.
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

int32_t TextToInt(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    uint32_t acc = 0;  // unsigned so overflow wraps instead of being undefined
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        acc = acc * 10U + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) acc = 0U - acc;
    return static_cast<int32_t>(acc);
}

std::string IntToText(int32_t value) {
    const bool negative = value < 0;
    // Magnitude in unsigned arithmetic so INT32_MIN needs no special case.
    const uint32_t magnitude = negative ? 0U - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    std::string out = DigitsOf(magnitude);
    if (negative) out.insert(out.begin(), '-');
    return out;
}

std::optional<uint32_t> HexToInt(std::string_view text) {
    if (text.empty()) return std::nullopt;
    uint64_t acc = 0;
    for (const char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        acc = acc * 16 + digit;
        if (acc > 0xFFFFFFFFULL) return std::nullopt;  // would not fit 32 bits
    }
    return static_cast<uint32_t>(acc);
}

std::string TrimText(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    std::size_t end = text.size();
    // Unsigned comparison: bytes of UTF-8 characters are not control codes.
    while (end > begin && static_cast<unsigned char>(text[end - 1]) < static_cast<unsigned char>('!')) --end;
    return std::string(text.substr(begin, end - begin));
}

}  // namespace kestrane
