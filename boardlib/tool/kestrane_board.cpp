// kestrane-board: lists the boards, reads a channel or the firmware text,
// and watches the six channels, through the Kestrane_DLL exports alone.
// Exit codes: 0 success, 1 board not found or exchange failed, 2 bad
// arguments.
#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/open_data.h"
#include "kestrane_dll.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: kestrane-board COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  list                          list the boards with their USB strings\n"
    "  read PID CHANNEL [--mode 0|1] read one channel (1-6); mode 0 prints the\n"
    "                                reading word, mode 1 the volts\n"
    "  firmware PID                  print the board's firmware text\n"
    "  watch PID [--count N] [--interval MS] [--format text|csv|jsonl]\n"
    "                                read channels 1-6 in turn, one line of volts\n"
    "                                per pass (N passes, default forever; MS\n"
    "                                between passes, default 500); with --format,\n"
    "                                one row per reading: time (ISO 8601 UTC), board,\n"
    "                                channel, name (empty), value, unit (V)\n"
    "  --help                        show this text\n"
    "\n"
    "PID is the board's USB product ID in hexadecimal, e.g. 000A.\n"
    "With KESTRANE_SIMULATION=FILE the boards come from a simulation file.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "kestrane-board: %s\n\n%s", problem, kUsage);
    return kExitUsage;
}

std::optional<int32_t> ParseProductId(std::string_view s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.empty() || s.size() > 8) return std::nullopt;
    uint32_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return static_cast<int32_t>(v);
}

std::optional<long> ParseNumber(std::string_view s, long min, long max) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size() || v < min || v > max) return std::nullopt;
    return v;
}

std::string PidText(int32_t pid) {
    std::array<char, 16> buf{};
    std::snprintf(buf.data(), buf.size(), "%04X", static_cast<unsigned>(pid));
    return buf.data();
}

int BoardFailed(int32_t pid, const char* what) {
    std::fprintf(stderr, "kestrane-board: %s board %s failed (board absent, busy or not answering)\n", what,
                 PidText(pid).c_str());
    return kExitFailed;
}

int List() {
    std::array<char, 1024> list{};
    if (!FindKestranes(list.data())) {
        std::fprintf(stderr, "kestrane-board: the HID devices cannot be listed\n");
        return kExitFailed;
    }
    std::string_view rest(list.data());
    if (rest.empty()) {
        std::printf("No boards found.\n");
        return kExitOk;
    }
    while (!rest.empty()) {
        const size_t bar = rest.find('|');
        const std::string entry(rest.substr(0, bar));
        rest.remove_prefix(bar == std::string_view::npos ? rest.size() : bar + 1);
        const auto pid = ParseProductId(entry);
        if (!pid) continue;
        std::array<char, 256> product{}, manufacturer{};
        std::array<char, 8> version{};
        // A board can go away between the list and these calls.
        if (!GetProductString(*pid, product.data())) std::snprintf(product.data(), product.size(), "?");
        if (!GetManufacturerString(*pid, manufacturer.data())) std::snprintf(manufacturer.data(), manufacturer.size(), "?");
        if (!GetVersionString(*pid, version.data())) std::snprintf(version.data(), version.size(), "?");
        std::printf("%s  product \"%s\"  manufacturer \"%s\"  version %s\n", entry.c_str(), product.data(),
                    manufacturer.data(), version.data());
    }
    return kExitOk;
}

int Read(int32_t pid, int32_t channel, int32_t mode) {
    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    if (!ReadKestrane(pid, channel, mode, text.data())) return BoardFailed(pid, "reading");
    std::printf("%s\n", text.data());
    return kExitOk;
}

int Firmware(int32_t pid) {
    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    if (!ReadKestrane(pid, 8, 0, text.data())) return BoardFailed(pid, "reading the firmware of");
    std::printf("%s\n", text.data());
    return kExitOk;
}

// One reading as a row of the open-data formats. The tool knows no
// settings: the name stays empty and the value is the board's volts.
void PrintRow(int32_t pid, int32_t channel, const char* volts, kestrane::RowFormat format) {
    kestrane::ReadingRow row;
    row.unixMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count();
    row.board = PidText(pid);
    row.channel = channel;
    row.value = kestrane::PlainValue(volts).value_or(std::string());
    row.unit = "V";
    std::fputs(kestrane::FormatRow(row, format).c_str(), stdout);
}

int Watch(int32_t pid, long count, long interval_ms, std::optional<kestrane::RowFormat> format) {
    if (format == kestrane::RowFormat::Csv) std::fputs(kestrane::CsvHeader().c_str(), stdout);
    for (long pass = 0; count == 0 || pass < count; ++pass) {
        if (pass > 0 && interval_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
        std::string line;
        for (int32_t channel = 1; channel <= 6; ++channel) {
            std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
            if (!ReadKestrane(pid, channel, 1, text.data())) {
                if (!line.empty()) std::printf("%s\n", line.c_str());
                std::fflush(stdout);
                std::fprintf(stderr, "kestrane-board: reading channel %d of board %s failed\n", channel,
                             PidText(pid).c_str());
                return kExitFailed;
            }
            if (format) {
                PrintRow(pid, channel, text.data(), *format);
                continue;
            }
            if (!line.empty()) line += "   ";
            line += std::to_string(channel) + ": " + text.data();
        }
        if (format) {
            std::fflush(stdout);
            continue;
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    const std::string_view command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s", kUsage);
        return kExitOk;
    }
    if (command == "list") {
        if (args.size() != 1) return Usage("list takes no arguments");
        return List();
    }
    if (command != "read" && command != "firmware" && command != "watch")
        return Usage(("unknown command '" + std::string(command.substr(0, 40)) + "'").c_str());
    if (args.size() < 2) return Usage("missing PID");
    const auto pid = ParseProductId(args[1]);
    if (!pid) return Usage("PID must be hexadecimal, e.g. 000A");

    if (command == "firmware") {
        if (args.size() != 2) return Usage("firmware takes only PID");
        return Firmware(*pid);
    }
    if (command == "read") {
        if (args.size() < 3) return Usage("missing CHANNEL");
        const auto channel = ParseNumber(args[2], 1, 6);
        if (!channel) return Usage("CHANNEL must be 1 to 6");
        long mode = 0;
        for (size_t i = 3; i < args.size(); ++i) {
            if (args[i] == "--mode" && i + 1 < args.size()) {
                const auto m = ParseNumber(args[++i], 0, 1);
                if (!m) return Usage("--mode must be 0 or 1");
                mode = *m;
            } else {
                return Usage(("unexpected argument '" + std::string(args[i].substr(0, 40)) + "'").c_str());
            }
        }
        return Read(*pid, static_cast<int32_t>(*channel), static_cast<int32_t>(mode));
    }
    long count = 0;
    long interval = 500;
    std::optional<kestrane::RowFormat> format;
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--count" && i + 1 < args.size()) {
            const auto n = ParseNumber(args[++i], 1, 1000000000L);
            if (!n) return Usage("--count must be a positive number");
            count = *n;
        } else if (args[i] == "--interval" && i + 1 < args.size()) {
            const auto n = ParseNumber(args[++i], 0, 3600000L);
            if (!n) return Usage("--interval must be 0 to 3600000 milliseconds");
            interval = *n;
        } else if (args[i] == "--format" && i + 1 < args.size()) {
            format = kestrane::RowFormatFromName(args[++i]);
            if (!format) return Usage("--format must be text, csv or jsonl");
        } else {
            return Usage(("unexpected argument '" + std::string(args[i].substr(0, 40)) + "'").c_str());
        }
    }
    return Watch(*pid, count, interval, format);
}
