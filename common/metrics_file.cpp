#include "common/metrics_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

void Header(std::string& out, const char* name, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += " gauge\n";
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
    Header(out, "kestrane_channel_value", "Last reading of a board channel, in its unit.");
    for (const ChannelMetric& c : m.channels) {
        const std::string channel = std::to_string(c.channel);
        out += "kestrane_channel_value";
        out += Labels({{"board", m.board}, {"channel", channel}, {"name", c.name}, {"unit", c.unit}});
        out += ' ';
        out += PlainNumber(c.value);
        out += '\n';
    }
    Header(out, "kestrane_alarm_active",
           "1 while an alarm band of a channel has fired and not returned to normal.");
    for (const AlarmMetric& a : m.alarms) {
        const std::string channel = std::to_string(a.channel);
        out += "kestrane_alarm_active";
        out += Labels({{"board", m.board}, {"channel", channel}, {"band", a.band}});
        out += a.active ? " 1\n" : " 0\n";
    }
    Header(out, "kestrane_board_connected", "1 while the board answers, 0 while it is lost.");
    out += "kestrane_board_connected";
    out += Labels({{"board", m.board}});
    out += m.connected ? " 1\n" : " 0\n";
    if (m.lastReadingUnixMs) {
        Header(out, "kestrane_last_reading_timestamp_seconds",
               "Time of the board's last reading, Unix seconds.");
        const int64_t ms = *m.lastReadingUnixMs;
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%lld.%03lld", static_cast<long long>(ms / 1000),
                      static_cast<long long>(ms % 1000 < 0 ? -(ms % 1000) : ms % 1000));
        out += "kestrane_last_reading_timestamp_seconds";
        out += Labels({{"board", m.board}});
        out += ' ';
        out += buffer;
        out += '\n';
    }
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
