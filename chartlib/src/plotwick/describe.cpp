#include "describe.h"

#include <cstring>

#include "view.h"

namespace plotwick {

namespace {

std::string TitleOf(const GraphContext& ctx) { return ctx.title.substr(0, kTitleSize - 1); }

// Bytes [from, from + count) of a label, cut at its end.
std::string LabelPart(const char* label, size_t from, size_t count) {
    if (label == nullptr) return {};
    const size_t len = ::strnlen(label, from + count);
    return len > from ? std::string(label + from, len - from) : std::string();
}

// "06 Dec 2026 10:30:00 PM": the label's date and clock time on one line.
std::string WhenOf(const char* label) { return LabelPart(label, 0, 11) + " " + LabelPart(label, 12, 11); }

// The reading as the log wrote it ("+ 12.345"), from the label's sign byte on.
std::string ReadingOf(const char* label) {
    std::string text = LabelPart(label, 24, 40);
    return text.empty() ? std::string("unknown") : text;
}

void AddUnit(std::string& out, int64_t count, const char* unit) {
    if (count == 0) return;
    if (!out.empty()) out += ' ';
    out += std::to_string(count) + ' ' + unit;
    if (count != 1) out += 's';
}

}  // namespace

std::string DurationText(int64_t seconds) {
    if (seconds <= 0) return "0 seconds";
    std::string out;
    AddUnit(out, seconds / 86400, "day");
    AddUnit(out, seconds / 3600 % 24, "hour");
    AddUnit(out, seconds / 60 % 60, "minute");
    AddUnit(out, seconds % 60, "second");
    return out;
}

std::string ChartAccessibleName(const GraphContext& ctx) {
    const std::string title = TitleOf(ctx);
    return title.empty() ? std::string("Chart") : title + " chart";
}

std::string ChartAccessibleDescription(const GraphContext& ctx) {
    const std::string title = TitleOf(ctx);
    const std::string who = title.empty() ? std::string("Chart") : title;
    if (!HasSeries(ctx)) return who + ", no readings loaded.";

    // The points whose ages lie in the view; index 0 is the newest.
    const int32_t n = ctx.pointCount;
    int32_t first = LowerBound(ctx, ctx.viewStart);
    if (ctx.times[first] < ctx.viewStart || ctx.times[first] > ctx.viewEnd)
        first = FirstVisible(ctx, ctx.viewStart);
    int32_t last = first, lo = first, hi = first;
    for (int32_t i = first; i < n && ctx.times[i] <= ctx.viewEnd; ++i) {
        last = i;
        if (ctx.values[i] < ctx.values[lo]) lo = i;
        if (ctx.values[i] > ctx.values[hi]) hi = i;
    }
    std::string text = who + (ctx.captionIsVolts != 0 ? ", Volts. " : ", Amps. ");
    text += DurationText(int64_t{ctx.viewEnd} - ctx.viewStart) + " shown, from " +
            WhenOf(ctx.o_Labels[last]) + " to " + WhenOf(ctx.o_Labels[first]) + ". ";
    text += "Last " + ReadingOf(ctx.o_Labels[first]) + ", minimum " + ReadingOf(ctx.o_Labels[lo]) +
            ", maximum " + ReadingOf(ctx.o_Labels[hi]) + ".";
    return text;
}

}  // namespace plotwick
