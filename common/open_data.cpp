#include "common/open_data.h"

#include <cstdio>
#include <ctime>

namespace kestrane {
namespace {

// Length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t Utf8SequenceLength(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) return 1;
    std::size_t length = 0;
    uint32_t minimum = 0;
    uint32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string Iso8601UtcMs(int64_t unixMs) {
    int64_t seconds = unixMs / 1000;
    int64_t millis = unixMs % 1000;
    if (millis < 0) {
        millis += 1000;
        seconds -= 1;
    }
    const auto t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (gmtime_r(&t, &utc) == nullptr) return "1970-01-01T00:00:00.000Z";
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return buffer;
}

const char* UnitForMode(std::string_view mode) { return mode == "VDC" ? "V" : "A"; }

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = Utf8SequenceLength(text);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, n));
            text.remove_prefix(n);
        }
    }
    return out;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string CsvHeader() { return "time,board,channel,name,value,unit\r\n"; }

std::string CsvRow(const ReadingRow& row) {
    std::string out = Iso8601UtcMs(row.unixMs);
    out += ',';
    out += CsvField(row.board);
    out += ',';
    out += std::to_string(row.channel);
    out += ',';
    out += CsvField(row.name);
    out += ',';
    if (row.value) out += CsvField(PlainNumber(*row.value));
    out += ',';
    out += CsvField(row.unit);
    out += "\r\n";
    return out;
}

std::string JsonString(std::string_view text) {
    const std::string valid = ValidUtf8(text);
    std::string out = "\"";
    for (char c : valid) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04X", u);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string JsonLine(const ReadingRow& row) {
    std::string out = "{\"time\":";
    out += JsonString(Iso8601UtcMs(row.unixMs));
    out += ",\"board\":";
    out += JsonString(row.board);
    out += ",\"channel\":";
    out += std::to_string(row.channel);
    out += ",\"name\":";
    out += JsonString(row.name);
    out += ",\"value\":";
    out += row.value ? PlainNumber(*row.value) : std::string("null");
    out += ",\"unit\":";
    out += JsonString(row.unit);
    out += "}\n";
    return out;
}

std::string TextLine(const ReadingRow& row) {
    std::string out = Iso8601UtcMs(row.unixMs);
    out += "  ";
    out += row.board;
    out += "  ";
    out += std::to_string(row.channel);
    if (!row.name.empty()) {
        out += "  ";
        out += row.name;
    }
    out += "  ";
    if (row.value) out += PlainNumber(*row.value);
    out += ' ';
    out += row.unit;
    out += '\n';
    return out;
}

std::string FormatRow(const ReadingRow& row, RowFormat format) {
    switch (format) {
        case RowFormat::Csv:
            return CsvRow(row);
        case RowFormat::JsonLines:
            return JsonLine(row);
        case RowFormat::Text:
            break;
    }
    return TextLine(row);
}

std::optional<RowFormat> RowFormatFromName(std::string_view name) {
    if (name == "text") return RowFormat::Text;
    if (name == "csv") return RowFormat::Csv;
    if (name == "jsonl") return RowFormat::JsonLines;
    return std::nullopt;
}

}  // namespace kestrane
