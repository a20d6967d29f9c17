// Loading of a channel log file into a chart's series. Each line holds a
// date, a 12-hour clock time and a signed reading at fixed byte positions;
// the file text is kept and its lines become the points' hover labels.
#pragma once

#include <cstdint>
#include <vector>

#include "graph_context.h"

namespace plotwick {

// Reads a number at the cursor and moves the cursor past it: blanks, an
// optional "-", integer digits, an optional "." fraction, an optional "e"
// or "E" exponent with a "+" or "-" sign byte, then one blank. Never moves past a
// zero byte. The result is rounded to single precision.
float ParseReal(const char*& cursor);

// As ParseReal, and tells whether any digit was read.
struct ParsedReal {
    float value = 0.0f;
    bool hasDigits = false;
};
ParsedReal ParseRealChecked(const char*& cursor);

// Local midnight of the line's date ("dd Mon yyyy", bytes 0-10) in seconds
// since 1970. The C library decides daylight saving for that date. A month
// matching none of Jan..Nov counts as December. Reads 12 bytes; one result
// is cached by those bytes, shared by every window.
int64_t DateValue(const char* line);
// Forgets the cached date (after a change of time zone).
void ResetDateCache();

// The line's time in seconds since 1970: DateValue plus the 12-hour clock
// time at bytes 12-19 with "P" at byte 21 for the afternoon. Reads 22 bytes.
int64_t LineTime(const char* line);

// On a day the clocks go back, the clock times of the repeated hour occur
// twice and LineTime gives the first, daylight-saving moment. This gives the
// second, standard-time moment in *t; false (and *t untouched) when the
// line's clock time does not repeat on its date.
bool RepeatedHourSecondPass(const char* line, int64_t* t);

// Reads a whole regular file into `buffer`: its size bytes, then 4 zero
// bytes. All or nothing: false (and an empty buffer) when the file is
// missing, unreadable, not a regular file, too large (kMaxLogBytes) or
// shorter than it claimed.
inline constexpr int64_t kMaxLogBytes = (int64_t{1} << 30) - 4;
bool ReadWholeFile(const char* path, std::vector<char>* buffer, int32_t* size);

// Loads the log file at path into the record's series. Returns 1 when the
// series was replaced (and the view reset to the newest hour), 0 when the
// record was left untouched.
int LoadSeries(const char* path, GraphContext& ctx);

// The parsing half of LoadSeries: takes the file text (size bytes; the
// buffer is padded with zeros to size + 4, as ReadWholeFile returns it) and,
// on success, keeps it as the series' file text.
int LoadSeriesFromBuffer(std::vector<char> buffer, int32_t size, GraphContext& ctx);

}  // namespace plotwick
