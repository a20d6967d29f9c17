// Readings as open data: ISO 8601 UTC times with milliseconds, CSV rows
// (RFC 4180) and JSON Lines rows with the same six fields, and the plain
// number of a shown reading. Shared by the logger, the client and the
// board tool, so every output names and formats a reading the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/reading_number.h"

namespace kestrane {

// One reading as the open-data outputs carry it.
struct ReadingRow {
    int64_t unixMs = 0;                  // time the reading was taken, milliseconds since 1970 UTC
    std::string board;                   // product ID text, "000A"
    int channel = 0;                     // 1..6
    std::string name;                    // the channel's name; may hold commas and quotes
    std::optional<ReadingNumber> value;  // none: the reading was no number
    std::string unit;                    // "V" or "A"
};

enum class RowFormat { Text, Csv, JsonLines };

// "2026-12-08T14:16:28.123Z". Times before 1970 work too.
std::string Iso8601UtcMs(int64_t unixMs);

// "V" for a voltmeter channel (mode exactly "VDC"), "A" for a shunt.
const char* UnitForMode(std::string_view mode);

// The text with every invalid UTF-8 sequence replaced by U+FFFD, so JSON
// readers and metric scrapers never refuse a row for one stray byte.
std::string ValidUtf8(std::string_view text);

// One CSV field: quoted, with quotes doubled, when it holds a comma, a
// quote, CR or LF; as it is otherwise.
std::string CsvField(std::string_view text);

// "time,board,channel,name,value,unit" and CR LF.
std::string CsvHeader();

// One row with CR LF at its end; a row without a number has an empty value.
std::string CsvRow(const ReadingRow& row);

// A JSON string literal, quotes included: ", \ and control characters
// escaped, invalid UTF-8 replaced.
std::string JsonString(std::string_view text);

// {"time":"...","board":"000A","channel":1,"name":"...","value":12.345,"unit":"V"}
// and LF; the value is a JSON number, or null for a row without one.
std::string JsonLine(const ReadingRow& row);

// "2026-12-08T14:16:28.123Z  000A  1  House battery  12.35 V" and LF.
std::string TextLine(const ReadingRow& row);

// The row in the given format (the CSV header is not included).
std::string FormatRow(const ReadingRow& row, RowFormat format);

// "text", "csv" or "jsonl".
std::optional<RowFormat> RowFormatFromName(std::string_view name);

}  // namespace kestrane
