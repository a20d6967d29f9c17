#include "common/metrics_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "common/open_data.h"

namespace kestrane {
namespace {

std::string Labels(std::initializer_list<std::pair<const char*, std::string_view>> labels) {
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : labels) {
        if (!first) out += ',';
        first = false;
        out += key;
        out += "=\"";
        out += PromLabelValue(value);
        out += '"';
    }
    out += '}';
    return out;
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void Sample(std::string& out, const char* name, const std::string& labels, std::string_view value) {
    out += name;
    out += labels;
    out += ' ';
    out += value;
    out += '\n';
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string PromLabelValue(std::string_view text) {
    std::string out;
    for (char c : ValidUtf8(text)) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatBoardMetrics(const BoardMetrics& m) {
    std::string out;
    const std::string board = m.board;
    Header(out, "kestrane_build_info", "gauge", "Version of the program writing the board's file; always 1.");
    if (!m.version.empty()) Sample(out, "kestrane_build_info", Labels({{"version", m.version}}), "1");

    Header(out, "kestrane_board_info", "gauge",
           "What the board says of itself: USB product and manufacturer, firmware text; always 1.");
    if (!m.product.empty() || !m.manufacturer.empty() || !m.firmware.empty())
        Sample(out, "kestrane_board_info",
               Labels({{"board", board},
                       {"product", m.product},
                       {"manufacturer", m.manufacturer},
                       {"firmware", m.firmware}}),
               "1");

    Header(out, "kestrane_board_connected", "gauge", "1 while the board answers, 0 while it is lost.");
    Sample(out, "kestrane_board_connected", Labels({{"board", board}}), m.connected ? "1" : "0");

    Header(out, "kestrane_last_reading_timestamp_seconds", "gauge",
           "Time of the board's last reading, Unix seconds.");
    if (m.lastReadingUnixMs) {
        const int64_t ms = *m.lastReadingUnixMs;
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%lld.%03lld", static_cast<long long>(ms / 1000),
                      static_cast<long long>(ms % 1000 < 0 ? -(ms % 1000) : ms % 1000));
        Sample(out, "kestrane_last_reading_timestamp_seconds", Labels({{"board", board}}), buffer);
    }

    Header(out, "kestrane_channel_info", "gauge",
           "Name and unit of a polled channel, to join on board and channel; always 1.");
    for (const ChannelMetric& c : m.channels)
        Sample(out, "kestrane_channel_info",
               Labels({{"board", board},
                       {"channel", std::to_string(c.channel)},
                       {"name", c.name},
                       {"unit", c.unit}}),
               "1");

    const auto values = [&](const char* name, const char* unit) {
        for (const ChannelMetric& c : m.channels) {
            if (c.unit != unit || !c.value) continue;
            Sample(out, name, Labels({{"board", board}, {"channel", std::to_string(c.channel)}}),
                   PlainNumber(*c.value));
        }
    };
    Header(out, "kestrane_channel_volts", "gauge", "Last reading of a voltage channel, volts.");
    values("kestrane_channel_volts", "V");
    Header(out, "kestrane_channel_amperes", "gauge", "Last reading of a shunt channel, amperes.");
    values("kestrane_channel_amperes", "A");

    Header(out, "kestrane_channel_value", "gauge",
           "Last reading of a board channel, in its unit; deprecated, use kestrane_channel_volts and "
           "kestrane_channel_amperes.");
    for (const ChannelMetric& c : m.channels) {
        if (c.value)
            Sample(out, "kestrane_channel_value",
                   Labels({{"board", board},
                           {"channel", std::to_string(c.channel)},
                           {"name", c.name},
                           {"unit", c.unit}}),
                   PlainNumber(*c.value));
    }

    Header(out, "kestrane_alarm_active", "gauge",
           "1 while an alarm band of a channel has fired and not returned to normal.");
    for (const AlarmMetric& a : m.alarms)
        Sample(out, "kestrane_alarm_active",
               Labels({{"board", board}, {"channel", std::to_string(a.channel)}, {"band", a.band}}),
               a.active ? "1" : "0");

    const MetricsCounters& n = m.counters;
    Header(out, "kestrane_readings_total", "counter",
           "Readings taken from a channel since the program started.");
    for (const auto& [channel, count] : n.readings)
        Sample(out, "kestrane_readings_total",
               Labels({{"board", board}, {"channel", std::to_string(channel)}}), std::to_string(count));

    Header(out, "kestrane_alarm_events_total", "counter",
           "Alarms (a band fired or repeated) and returns to normal since the program started.");
    for (const auto& [key, count] : n.alarmEvents)
        Sample(out, "kestrane_alarm_events_total",
               Labels({{"board", board},
                       {"channel", std::to_string(key.channel)},
                       {"band", key.band},
                       {"event", key.event}}),
               std::to_string(count));

    Header(out, "kestrane_exchanges_total", "counter",
           "Command exchanges with the board since the program started, by result (ok or failed).");
    Sample(out, "kestrane_exchanges_total", Labels({{"board", board}, {"result", "ok"}}),
           std::to_string(n.exchangesOk));
    Sample(out, "kestrane_exchanges_total", Labels({{"board", board}, {"result", "failed"}}),
           std::to_string(n.exchangesFailed));

    Header(out, "kestrane_board_lost_total", "counter",
           "Times the board stopped answering since the program started.");
    Sample(out, "kestrane_board_lost_total", Labels({{"board", board}}), std::to_string(n.boardLost));
    return out;
}

std::string MetricsFilePath(std::string_view dir, std::string_view board) {
    std::string out(dir);
    if (!out.empty() && out.back() != '/') out += '/';
    out += "kestrane-";
    for (char c : board) {
        const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        out += keep ? c : '_';
    }
    out += ".prom";
    return out;
}

bool WriteFileAtomically(const std::string& path, std::string_view content) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A leading dot and no ".prom" ending: the collector skips it.
    const std::string temp = dir + "." + name + "." + std::to_string(::getpid()) + ".tmp";
    // Readable by others: the exporter usually runs as another user.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, content);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace kestrane
