// The vocabularies are built once from their rules, so the lists the
// dialogs show and the lookups cannot disagree.
#include "acquisition/intervals.h"

#include <algorithm>
#include <utility>

namespace kestrane {
namespace {

struct Entry {
    std::string text;
    uint32_t seconds;
};

const std::vector<Entry>& TimedEntries() {
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> e;
        e.reserve(kLogIntervalCount);
        for (uint32_t n = 1; n <= 59; ++n) e.push_back({std::to_string(n) + " Secs", n});
        for (uint32_t n = 1; n <= 59; ++n) e.push_back({std::to_string(n) + " Mins", n * 60});
        for (uint32_t n = 1; n <= 24; ++n) e.push_back({std::to_string(n) + " Hours", n * 3600});
        return e;
    }();
    return entries;
}

const Entry* FindTimed(std::string_view text) {
    const auto& entries = TimedEntries();
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.text == text; });
    return it == entries.end() ? nullptr : &*it;
}

}  // namespace

const std::vector<std::string>& TestEveryTexts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> t{"One Shot"};
        for (const auto& e : TimedEntries()) t.push_back(e.text);
        return t;
    }();
    return texts;
}

uint32_t TestEverySeconds(std::string_view text) {
    const Entry* e = FindTimed(text);
    return e ? e->seconds : 0;
}

const std::vector<std::string>& LogIntervalTexts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> t;
        for (const auto& e : TimedEntries()) t.push_back(e.text);
        return t;
    }();
    return texts;
}

int32_t LookupLogIntervalMs(std::string_view text) {
    const Entry* e = FindTimed(text);
    return e ? static_cast<int32_t>(e->seconds * 1000U) : 0;
}

int32_t LogIntervalToMs(std::string_view text, int32_t& lastValidMs) {
    if (const int32_t ms = LookupLogIntervalMs(text); ms > 0) {
        lastValidMs = ms;
        return ms;
    }
    return lastValidMs > 0 ? lastValidMs : kDefaultLogPeriodMs;
}

const std::vector<std::string>& LogSizeTexts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> t{"1 Megabyte"};
        for (int n = 2; n <= 35; ++n) t.push_back(std::to_string(n) + " Megabytes");
        return t;
    }();
    return texts;
}

int64_t LogSizeToBytes(std::string_view text) {
    const auto& texts = LogSizeTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i] == text) return static_cast<int64_t>(i + 1) * kMegabyte;
    }
    return kMegabyte;
}

}  // namespace kestrane
