#include "sim_signal.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace kestrane::board {
namespace {

// Terms per signal and their magnitudes are bounded so a hostile file
// cannot make evaluation slow or overflow to infinity.
constexpr size_t kMaxTerms = 64;
constexpr double kMaxMagnitude = 1.0e6;

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    void SkipSpaces() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    }
    bool AtEnd() {
        SkipSpaces();
        return pos_ >= text_.size();
    }
    bool Take(char c) {
        SkipSpaces();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::string_view Word() {
        SkipSpaces();
        const size_t start = pos_;
        while (pos_ < text_.size() &&
               ((text_[pos_] >= 'a' && text_[pos_] <= 'z') || (text_[pos_] >= 'A' && text_[pos_] <= 'Z')))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    std::optional<double> Number() {
        SkipSpaces();
        const char* first = text_.data() + pos_;
        const char* last = text_.data() + text_.size();
        // from_chars takes no leading '+'; a sign belongs to the term.
        double value = 0;
        auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
        if (ec != std::errc() || !std::isfinite(value) || std::fabs(value) > kMaxMagnitude)
            return std::nullopt;
        // A number too small for a double ("1e-400") would silently read as
        // 0 (or lose its digits as a subnormal): refuse it like any other
        // number the signal cannot hold.
        if (std::fpclassify(value) == FP_SUBNORMAL) return std::nullopt;
        if (value == 0 && HasNonZeroDigit(std::string_view(first, static_cast<size_t>(ptr - first))))
            return std::nullopt;
        pos_ += static_cast<size_t>(ptr - first);
        return value;
    }
    // Whether the mantissa of a decimal number text has a digit other than 0.
    static bool HasNonZeroDigit(std::string_view number) {
        for (char ch : number) {
            if (ch == 'e' || ch == 'E') break;
            if (ch >= '1' && ch <= '9') return true;
        }
        return false;
    }
    std::optional<uint32_t> HexWord() {
        SkipSpaces();
        if (text_.substr(pos_, 2) == "0x" || text_.substr(pos_, 2) == "0X") pos_ += 2;
        const char* first = text_.data() + pos_;
        uint32_t value = 0;
        auto [ptr, ec] = std::from_chars(first, text_.data() + text_.size(), value, 16);
        if (ec != std::errc()) return std::nullopt;
        pos_ += static_cast<size_t>(ptr - first);
        return value;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Reads "(n1, n2, ...)" with between `min` and `max` numbers.
bool Arguments(Cursor& c, size_t min, size_t max, std::vector<double>& out) {
    out.clear();
    if (!c.Take('(')) return false;
    if (c.Take(')')) return min == 0;
    while (true) {
        auto n = c.Number();
        if (!n) return false;
        out.push_back(*n);
        if (out.size() > max) return false;
        if (c.Take(')')) break;
        if (!c.Take(',')) return false;
    }
    return out.size() >= min;
}

bool ParseTerm(Cursor& c, double sign, SignalTerm& term, std::string& error) {
    term = SignalTerm{};
    term.sign = sign;
    const std::string_view name = c.Word();
    if (name.empty()) {
        auto n = c.Number();
        if (!n) {
            error = "expected a number or sine(), ramp(), noise()";
            return false;
        }
        term.kind = SignalTerm::Kind::kConstant;
        term.a = *n;
        return true;
    }
    std::vector<double> args;
    if (name == "sine") {
        if (!Arguments(c, 2, 3, args) || args[1] <= 0) {
            error = "sine(amplitude, period seconds > 0[, phase degrees])";
            return false;
        }
        term.kind = SignalTerm::Kind::kSine;
        term.a = args[0];
        term.b = args[1];
        term.c = args.size() > 2 ? args[2] : 0.0;
        return true;
    }
    if (name == "ramp") {
        if (!Arguments(c, 3, 3, args) || args[2] <= 0) {
            error = "ramp(from, to, period seconds > 0)";
            return false;
        }
        term.kind = SignalTerm::Kind::kRamp;
        term.a = args[0];
        term.b = args[1];
        term.c = args[2];
        return true;
    }
    if (name == "noise") {
        if (!Arguments(c, 1, 1, args) || args[0] < 0) {
            error = "noise(amplitude >= 0)";
            return false;
        }
        term.kind = SignalTerm::Kind::kNoise;
        term.a = args[0];
        return true;
    }
    error = "unknown signal '" + std::string(name.substr(0, 32)) + "'";
    return false;
}

}  // namespace

std::optional<Signal> ParseSignal(std::string_view text, std::string& error) {
    Cursor c(text);
    Signal signal;
    if (c.AtEnd()) {
        error = "empty signal";
        return std::nullopt;
    }
    {
        Cursor probe(text);
        if (probe.Word() == "word") {
            c.Word();
            auto w = c.HexWord();
            if (!w || !c.AtEnd()) {
                error = "word needs one hexadecimal reading word, e.g. word 0x401000C0";
                return std::nullopt;
            }
            signal.rawWord = *w;
            return signal;
        }
    }
    double sign = 1.0;
    if (c.Take('-'))
        sign = -1.0;
    else
        c.Take('+');
    while (true) {
        if (signal.terms.size() >= kMaxTerms) {
            error = "too many terms";
            return std::nullopt;
        }
        SignalTerm term;
        if (!ParseTerm(c, sign, term, error)) return std::nullopt;
        signal.terms.push_back(term);
        if (c.AtEnd()) break;
        if (c.Take('+'))
            sign = 1.0;
        else if (c.Take('-'))
            sign = -1.0;
        else {
            error = "expected '+' or '-' between terms";
            return std::nullopt;
        }
    }
    return signal;
}

double EvaluateSignal(const Signal& signal, double seconds, std::mt19937& rng) {
    double sum = 0;
    for (const SignalTerm& t : signal.terms) {
        double v = 0;
        switch (t.kind) {
            case SignalTerm::Kind::kConstant:
                v = t.a;
                break;
            case SignalTerm::Kind::kSine:
                v = t.a * std::sin(2.0 * std::numbers::pi * seconds / t.b + t.c * std::numbers::pi / 180.0);
                break;
            case SignalTerm::Kind::kRamp: {
                const double phase = std::fmod(seconds, t.c) / t.c;
                v = t.a + (t.b - t.a) * (phase < 0 ? phase + 1.0 : phase);
                break;
            }
            case SignalTerm::Kind::kNoise:
                v = std::uniform_real_distribution<double>(-t.a, t.a)(rng);
                break;
        }
        sum += t.sign * v;
    }
    return sum;
}

}  // namespace kestrane::board
