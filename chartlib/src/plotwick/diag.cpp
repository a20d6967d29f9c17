#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "plotwick/raster.h"

namespace plotwick {

namespace {

void DefaultSink(std::string_view text) {
    std::fprintf(stderr, "plotwick: %.*s\n", static_cast<int>(text.size()), text.data());
}

DiagnosticSink& Sink() {
    static DiagnosticSink sink = DefaultSink;
    return sink;
}

std::string FixedSix(double v) {
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%.6f", v);
    if (n < 0) return {};
    return std::string(
        buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
}

std::string OrdinalSuffix(int64_t v) {
    const uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    if (m % 100 >= 11 && m % 100 <= 13) return "th";
    switch (m % 10) {
        case 1:
            return "st";
        case 2:
            return "nd";
        case 3:
            return "rd";
        default:
            return "th";
    }
}

}  // namespace

DiagnosticSink SetDiagnosticSink(DiagnosticSink sink) {
    DiagnosticSink previous = std::move(Sink());
    Sink() = sink ? std::move(sink) : DiagnosticSink(DefaultSink);
    return previous;
}

std::string DebugFormat(std::string_view format, std::initializer_list<DebugArg> args) {
    std::string out;
    auto arg = args.begin();
    auto take = [&](DebugArg::Kind kind) -> const DebugArg* {
        if (arg == args.end()) return nullptr;
        const DebugArg* a = &*arg++;
        if (a->kind == kind) return a;
        if (kind == DebugArg::Kind::Real && a->kind == DebugArg::Kind::Int) return a;
        return nullptr;
    };
    auto realOf = [](const DebugArg* a) {
        return a->kind == DebugArg::Kind::Real ? a->d : static_cast<double>(a->i);
    };

    for (std::size_t i = 0; i < format.size() && out.size() < kDebugTextMax; ++i) {
        const char ch = format[i];
        if (ch != '%') {
            out.push_back(ch);
            continue;
        }
        if (++i >= format.size()) break;
        switch (format[i]) {
            case '%':
                out.push_back('%');
                break;
            case 'd':
                if (const DebugArg* a = take(DebugArg::Kind::Int)) out += std::to_string(a->i);
                break;
            case 's':
                if (const DebugArg* a = take(DebugArg::Kind::Text); a && a->s) out += a->s;
                break;
            case 'X':
                if (const DebugArg* a = take(DebugArg::Kind::Int)) {
                    char buf[9];
                    std::snprintf(buf, sizeof buf, "%08X",
                                  static_cast<unsigned>(static_cast<uint32_t>(a->i)));
                    out += buf;
                }
                break;
            case 'F':
                if (const DebugArg* a = take(DebugArg::Kind::Real)) out += FixedSix(realOf(a));
                break;
            case 'f':
                if (const DebugArg* a = take(DebugArg::Kind::Real)) {
                    std::string t = FixedSix(realOf(a));
                    const std::size_t dot = t.find('.');
                    if (dot != std::string::npos) {
                        while (t.size() > dot + 2 && t.back() == '0') t.pop_back();
                    }
                    out += t;
                }
                break;
            case 'r':
                if (const DebugArg* a = take(DebugArg::Kind::Int))
                    out += std::to_string(a->i) + OrdinalSuffix(a->i);
                break;
            default:
                break;  // unknown conversion: nothing
        }
    }
    if (out.size() > kDebugTextMax) out.resize(kDebugTextMax);
    return out;
}

void DebugPrint(std::string_view text) {
    if (text.size() > kDebugTextMax) text = text.substr(0, kDebugTextMax);
    Sink()(text);
}

void DebugPrintString(std::string_view name, std::string_view text) {
    std::string line(name);
    line += " = ";
    line += text;
    DebugPrint(line);
}

}  // namespace plotwick
