#include "sim_file.h"

#include <charconv>

namespace kestrane::board {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::optional<uint16_t> ParseHex16(std::string_view v) {
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v.remove_prefix(2);
    if (v.empty() || v.size() > 4) return std::nullopt;
    uint16_t out = 0;
    auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out, 16);
    if (ec != std::errc() || ptr != v.data() + v.size()) return std::nullopt;
    return out;
}

std::optional<uint64_t> ParseDecimal(std::string_view v, uint64_t max) {
    if (v.empty()) return std::nullopt;
    uint64_t out = 0;
    auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out, 10);
    if (ec != std::errc() || ptr != v.data() + v.size() || out > max) return std::nullopt;
    return out;
}

std::optional<SimFault> ParseFault(std::string_view v) {
    if (v == "none") return SimFault::kNone;
    if (v == "absent") return SimFault::kAbsent;
    if (v == "busy") return SimFault::kBusy;
    if (v == "read-fails") return SimFault::kReadFails;
    if (v == "no-answer") return SimFault::kNoAnswer;
    if (v == "garbage") return SimFault::kGarbage;
    return std::nullopt;
}

// Texts become USB strings and a firmware answer, so they stay short and
// free of control bytes that would garble a terminal.
bool ValidText(std::string_view v) {
    if (v.size() > kMaxSimStringLength) return false;
    for (unsigned char ch : v)
        if (ch < 0x20 || ch == 0x7F) return false;
    return true;
}

// Applies one "key = value" line to `d`; returns an error text or "".
std::string ApplyKey(SimDevice& d, std::string_view key, std::string_view value) {
    if (key == "vendor-id" || key == "product-id" || key == "version") {
        auto n = ParseHex16(value);
        if (!n) return "expected 1-4 hexadecimal digits";
        (key == "vendor-id" ? d.vendorId : key == "product-id" ? d.productId : d.version) = *n;
        return "";
    }
    if (key == "product" || key == "manufacturer" || key == "firmware") {
        if (!ValidText(value)) return "text too long (126 at most) or holding control characters";
        (key == "product"        ? d.product
         : key == "manufacturer" ? d.manufacturer
                                 : d.firmware) = std::string(value);
        return "";
    }
    if (key.size() == 8 && key.substr(0, 7) == "channel" && key[7] >= '1' && key[7] <= '6') {
        std::string error;
        auto signal = ParseSignal(value, error);
        if (!signal) return error;
        d.channels[static_cast<size_t>(key[7] - '1')] = std::move(*signal);
        return "";
    }
    if (key == "fault") {
        auto f = ParseFault(value);
        if (!f) return "fault is one of none, absent, busy, read-fails, no-answer, garbage";
        d.fault = *f;
        return "";
    }
    if (key == "answer-length") {
        auto n = ParseDecimal(value, 128);
        if (!n || *n == 0) return "answer-length is 1 to 128";
        d.answerLength = static_cast<int>(*n);
        return "";
    }
    if (key == "vanish-after") {
        auto n = ParseDecimal(value, UINT64_MAX);
        if (!n) return "vanish-after is a number of exchanges";
        d.vanishAfter = *n;
        return "";
    }
    if (key == "open-delay-ms") {
        auto n = ParseDecimal(value, 10000);
        if (!n) return "open-delay-ms is 0 to 10000 milliseconds";
        d.openDelayMs = static_cast<uint32_t>(*n);
        return "";
    }
    if (key == "answer-delay-ms") {
        auto n = ParseDecimal(value, 900);
        if (!n) return "answer-delay-ms is 0 to 900 milliseconds";
        d.answerDelayMs = static_cast<uint32_t>(*n);
        return "";
    }
    return "unknown key '" + std::string(key.substr(0, 32)) + "'";
}

}  // namespace

SimParseResult ParseSimulation(std::string_view text) {
    SimParseResult result;
    if (text.size() > kMaxSimFileBytes) {
        result.error = "file larger than 1 MiB";
        return result;
    }
    // Editors on some systems save UTF-8 with a byte-order mark; it is no
    // part of the first line.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    SimConfig config;
    size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const size_t eol = text.find('\n');
        std::string_view line = Trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        auto fail = [&](const std::string& why) {
            result.error = "line " + std::to_string(line_number) + ": " + why;
            return result;
        };
        if (line == "[device]") {
            if (config.devices.size() >= kMaxSimDevices) return fail("more than 4096 devices");
            config.devices.emplace_back();
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) return fail("expected [device] or key = value");
        if (config.devices.empty()) return fail("key before the first [device]");
        const std::string error =
            ApplyKey(config.devices.back(), Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
        if (!error.empty()) return fail(error);
    }
    result.config = std::move(config);
    return result;
}

}  // namespace kestrane::board
