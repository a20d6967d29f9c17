// kestrane-board: lists the boards, reads a channel or the firmware text,
// and watches the six channels through the Kestrane_DLL exports; only the
// listing looks at the bus itself, to name devices it cannot open.
// Exit codes: 0 success, 1 board not found, exchange failed or device not
// openable, 2 bad command line.
#include <getopt.h>

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

#include "board_access.h"
#include "common/numtext.h"
#include "common/open_data.h"
#include "kestrane_dll.h"
#include "transport_choice.h"
#include "volts_text.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Laid out for help2man: "Usage:", a one-line description, then sections
// whose headings end with a colon.
constexpr const char* kUsage =
    "Usage: kestrane-board COMMAND [ARGUMENTS] [OPTIONS]\n"
    "Read the Kestrane six-channel voltmeter boards attached over USB.\n"
    "\n"
    "Commands:\n"
    "  list                  list the boards with their USB strings; name the\n"
    "                        vendor-0000 devices that cannot be opened\n"
    "  read PID CHANNEL      read one channel (1-6) of board PID\n"
    "  firmware PID          print the firmware text of board PID\n"
    "  watch PID             read channels 1-6 in turn, one line of volts per pass,\n"
    "                        or one row per reading with --format csv or jsonl\n"
    "\n"
    "PID is the board's USB product ID, 1 to 4 hexadecimal digits with or\n"
    "without 0x, e.g. 000A.\n"
    "\n"
    "Options:\n"
    "  --mode=MODE           read: 0 prints the reading word (default), 1 the volts\n"
    "  --count=N             watch: stop after N passes (default: never)\n"
    "  --interval=MS         watch: milliseconds between passes, 0 to 3600000\n"
    "                        (default 500)\n"
    "  --format=FORMAT       watch: text (default), csv or jsonl; csv and jsonl\n"
    "                        write one row per reading: time (ISO 8601 UTC), board,\n"
    "                        channel, name (empty: the tool reads no settings),\n"
    "                        value, unit (V)\n"
    "  -h, --help            display this help and exit\n"
    "  -V, --version         output version information and exit\n"
    "\n"
    "An option's value may follow it as --mode=1 or as --mode 1.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  no such board, the exchange failed, a device cannot be opened or the\n"
    "     devices cannot be listed\n"
    "  2  bad command line\n"
    "\n"
    "Environment:\n"
    "  KESTRANE_SIMULATION=FILE  take the boards from a simulation file instead of\n"
    "                            the USB bus\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "kestrane-board: %s\nTry 'kestrane-board --help' for more information.\n",
                 problem.c_str());
    return kExitUsage;
}

// A USB product ID: 1 to 4 hexadecimal digits, optionally after 0x.
std::optional<int32_t> ParseProductId(std::string_view s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.empty() || s.size() > 4) return std::nullopt;
    uint32_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return static_cast<int32_t>(v);
}

std::optional<long> ParseNumber(std::string_view s, long min, long max) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size() || v < min || v > max)
        return std::nullopt;
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
    // FindKestranes leaves out what it cannot open; a board whose node this
    // user may not open would otherwise look like no board at all.
    const auto unopenable = kestrane::board::UnopenableBoards(*kestrane::board::TransportFromEnvironment());
    std::string_view rest(list.data());
    if (rest.empty() && unopenable.empty()) {
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
        if (!GetManufacturerString(*pid, manufacturer.data()))
            std::snprintf(manufacturer.data(), manufacturer.size(), "?");
        if (!GetVersionString(*pid, version.data())) std::snprintf(version.data(), version.size(), "?");
        std::printf("%s  product \"%s\"  manufacturer \"%s\"  version %s\n", entry.c_str(), product.data(),
                    manufacturer.data(), version.data());
    }
    for (const auto& device : unopenable) {
        std::fprintf(
            stderr,
            "kestrane-board: the device %s (vendor 0000, product %s) cannot be opened; if it is a board, "
            "this user may lack access to it: install the udev rule (README, \"Giving users access to "
            "the board\")\n",
            device.path.c_str(), PidText(device.productId).c_str());
    }
    return unopenable.empty() ? kExitOk : kExitFailed;
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

// The board's volts text ("+ 12.345678", fixed point) as a reading number
// with the places the board gave; none for any other text.
std::optional<kestrane::ReadingNumber> VoltsNumber(const char* volts) {
    const std::optional<std::string> plain = kestrane::board::PlainValue(volts);
    if (!plain || plain->find_first_of("Ee") != std::string::npos) return std::nullopt;
    const std::optional<long double> value = kestrane::TextToReal(*plain);
    if (!value) return std::nullopt;
    const std::size_t point = plain->find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(plain->size() - point - 1);
    return kestrane::ReadingNumber{*value, decimals};
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
    row.value = VoltsNumber(volts);
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

// The options of every command, gathered by one getopt_long pass (which
// also takes them between and after the command's arguments); each command
// then refuses the options that are not its own. A new option is one entry
// in kLongOptions, one field here and one check in its command.
struct Options {
    std::optional<std::string> mode;
    std::optional<std::string> count;
    std::optional<std::string> interval;
    std::optional<std::string> format;
    bool help = false;
    bool version = false;
};

enum OptionKey : int { kOptMode = 256, kOptCount, kOptInterval, kOptFormat };

constexpr option kLongOptions[] = {
    {"mode", required_argument, nullptr, kOptMode},
    {"count", required_argument, nullptr, kOptCount},
    {"interval", required_argument, nullptr, kOptInterval},
    {"format", required_argument, nullptr, kOptFormat},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

std::string OptionName(int key) {
    for (const option& o : kLongOptions)
        if (o.name != nullptr && o.val == key) return std::string("--") + o.name;
    return "an option";
}

// Fills `options` and `operands`; returns an error text for a bad option.
std::optional<std::string> ParseCommandLine(int argc, char** argv, Options& options,
                                            std::vector<std::string_view>& operands) {
    opterr = 0;  // the messages are this tool's own
    optind = 1;
    // '-' hands over the operands in order, wherever the options stand,
    // even with POSIXLY_CORRECT set; ':' tells a missing value apart from
    // an unknown option.
    while (true) {
        const int key = getopt_long(argc, argv, "-:hV", kLongOptions, nullptr);
        if (key == -1) break;
        switch (key) {
            case 1:
                operands.emplace_back(optarg);
                break;
            case kOptMode:
                options.mode = optarg;
                break;
            case kOptCount:
                options.count = optarg;
                break;
            case kOptInterval:
                options.interval = optarg;
                break;
            case kOptFormat:
                options.format = optarg;
                break;
            case 'h':
                options.help = true;
                break;
            case 'V':
                options.version = true;
                break;
            case ':':
                return OptionName(optopt) + " needs a value";
            default: {
                const std::string_view typed = argv[optind - 1];
                if (optopt != 0 && typed.size() == 2)
                    return std::string("unknown option '-") + static_cast<char>(optopt) + "'";
                return "unknown option '" + std::string(typed.substr(0, typed.find('='))) + "'";
            }
        }
    }
    // What follows "--" is operands only.
    operands.insert(operands.end(), argv + optind, argv + argc);
    return std::nullopt;
}

// The first option given that `command` does not take, if any.
std::optional<std::string> ForeignOption(std::string_view command, const Options& options) {
    const bool read = command == "read";
    const bool watch = command == "watch";
    if (options.mode && !read) return "--mode";
    if (options.count && !watch) return "--count";
    if (options.interval && !watch) return "--interval";
    if (options.format && !watch) return "--format";
    return std::nullopt;
}

int RunRead(const std::vector<std::string_view>& operands, int32_t pid, const Options& options) {
    if (operands.size() < 3) return Usage("read needs PID and CHANNEL");
    if (operands.size() > 3) return Usage("unexpected argument '" + std::string(operands[3]) + "'");
    const auto channel = ParseNumber(operands[2], 1, 6);
    if (!channel) return Usage("CHANNEL must be 1 to 6, not '" + std::string(operands[2]) + "'");
    long mode = 0;
    if (options.mode) {
        const auto m = ParseNumber(*options.mode, 0, 1);
        if (!m) return Usage("--mode must be 0 or 1");
        mode = *m;
    }
    return Read(pid, static_cast<int32_t>(*channel), static_cast<int32_t>(mode));
}

int RunWatch(const std::vector<std::string_view>& operands, int32_t pid, const Options& options) {
    if (operands.size() > 2) return Usage("unexpected argument '" + std::string(operands[2]) + "'");
    long count = 0;
    long interval = 500;
    if (options.count) {
        const auto n = ParseNumber(*options.count, 1, 1000000000L);
        if (!n) return Usage("--count must be a positive number");
        count = *n;
    }
    if (options.interval) {
        const auto n = ParseNumber(*options.interval, 0, 3600000L);
        if (!n) return Usage("--interval must be 0 to 3600000 milliseconds");
        interval = *n;
    }
    std::optional<kestrane::RowFormat> format;
    if (options.format) {
        format = kestrane::RowFormatFromName(*options.format);
        if (!format) return Usage("--format must be text, csv or jsonl");
    }
    return Watch(pid, count, interval, format);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::vector<std::string_view> operands;
    if (auto problem = ParseCommandLine(argc, argv, options, operands)) return Usage(*problem);
    if (options.help || (!operands.empty() && operands[0] == "help")) {
        std::printf("%s", kUsage);
        return kExitOk;
    }
    if (options.version) {
        std::printf("kestrane-board (Kestrane) %s\n", KESTRANE_VERSION);
        return kExitOk;
    }
    if (operands.empty()) return Usage("no command given");
    const std::string_view command = operands[0];
    if (command != "list" && command != "read" && command != "firmware" && command != "watch")
        return Usage("unknown command '" + std::string(command) + "'");
    if (auto foreign = ForeignOption(command, options))
        return Usage(*foreign + " does not apply to " + std::string(command));
    if (command == "list") {
        if (operands.size() != 1) return Usage("list takes no arguments");
        return List();
    }
    if (operands.size() < 2) return Usage(std::string(command) + " needs PID");
    const auto pid = ParseProductId(operands[1]);
    if (!pid)
        return Usage("PID must be 1 to 4 hexadecimal digits, e.g. 000A, not '" + std::string(operands[1]) +
                     "'");
    if (command == "firmware") {
        if (operands.size() != 2) return Usage("unexpected argument '" + std::string(operands[2]) + "'");
        return Firmware(*pid);
    }
    if (command == "read") return RunRead(operands, *pid, options);
    return RunWatch(operands, *pid, options);
}
