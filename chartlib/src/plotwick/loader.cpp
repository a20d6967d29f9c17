#include "loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "raster.h"
#include "series.h"
#include "view.h"

namespace plotwick {
namespace {

// Largest series array, in bytes.
constexpr int64_t kSeriesMaxBytes = int64_t{1} << 30;

// Resizes a series array to `count` zero-filled elements. Arrays beyond
// kSeriesMaxBytes, or memory that cannot be had, fail with a diagnostic, so
// a damaged or huge file is refused rather than fatal.
template <class T>
bool TryResize(std::vector<T>& v, int64_t count) {
    const int64_t bytes = count * static_cast<int64_t>(sizeof(T));
    if (count >= 0 && bytes <= kSeriesMaxBytes) {
        try {
            v.assign(static_cast<size_t>(count), T{});
            return true;
        } catch (const std::bad_alloc&) {}
    }
    const int shown = bytes > INT32_MAX ? INT32_MAX : static_cast<int>(bytes);
    DebugPrintf("%s = %d", "series memory failed at size", shown);
    return false;
}

// Fixed byte positions inside a log line.
constexpr int kPosTimeSep = 11;
constexpr int kPosValueSep = 23;
constexpr int kPosSign = 24;
constexpr int kPosMagnitude = 26;
// A line shorter than this has no room for a magnitude.
constexpr int64_t kFixedFields = kPosMagnitude;
// Diagnostics per load for out-of-order times; a damaged file must not
// flood the sink with three texts per line.
constexpr int kMaxOrderReports = 10;

// The library-wide one-entry date cache.
struct DateCache {
    bool valid = false;
    char key[12] = {};
    int64_t value = 0;
    bool switchDay = false;  // daylight saving starts or ends on this date
};
DateCache g_dateCache;

inline int Digit(char c) { return static_cast<int>(static_cast<unsigned char>(c)) - '0'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

ParsedReal ParseRealChecked(const char*& cursor) {
    const char* p = cursor;
    while (*p == ' ' || *p == '\t') ++p;
    double sign = 1.0;
    if (*p == '-') {
        sign = -1.0;
        ++p;
    }
    bool digits = false;
    // The integer part accumulates in double: a long digit run must not wrap
    // around into a small, plausible-looking number.
    double integer = 0.0;
    while (IsDigit(*p)) {
        integer = integer * 10.0 + Digit(*p);
        digits = true;
        ++p;
    }
    double fraction = 0.0;
    if (*p == '.') {
        ++p;
        double factor = 0.1;
        while (IsDigit(*p)) {
            fraction += Digit(*p) * factor;
            factor *= 0.1;
            digits = true;
            ++p;
        }
    }
    double scale = 1.0;
    // The client logs values of 1e16 and beyond as " 1.234567890123450E+0016":
    // the capital letter is an exponent too, or such a reading would be
    // plotted as its bare mantissa.
    if (*p == 'e' || *p == 'E') {
        ++p;
        const char expSign = *p;
        // The sign byte is consumed whatever it is, except the end of the
        // text or of the line.
        if (expSign != '\0' && expSign != '\r' && expSign != '\n') ++p;
        int exponent = 0;
        while (IsDigit(*p)) {
            if (exponent < 100000) exponent = exponent * 10 + Digit(*p);
            ++p;
        }
        // Past 400 the scale is already 0 or infinite in double.
        const int n = exponent < 400 ? exponent : 400;
        if (expSign == '+') {
            for (int i = 0; i < n; ++i) scale *= 10.0;
        } else if (expSign == '-') {
            const double tenth = static_cast<double>(0.1f);
            for (int i = 0; i < n; ++i) scale *= tenth;
        }
    }
    if (*p == ' ' || *p == '\t') ++p;
    cursor = p;
    ParsedReal r;
    const double mantissa = integer + fraction;
    // Zero stays zero whatever the exponent: 0 times an overflowed scale
    // would be NaN.
    r.value = mantissa == 0.0 ? static_cast<float>(0.0 * sign) : static_cast<float>(mantissa * sign * scale);
    r.hasDigits = digits;
    return r;
}

float ParseReal(const char*& cursor) { return ParseRealChecked(cursor).value; }

void ResetDateCache() { g_dateCache = DateCache{}; }

namespace {

std::tm LineDate(const char* line) {
    static constexpr char kMonths[] = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec ";
    int month = 11;  // a name matching none of the first eleven is December
    for (int m = 0; m < 11; ++m) {
        if (std::memcmp(line + 3, kMonths + 4 * m, 4) == 0) {
            month = m;
            break;
        }
    }
    const int year = Digit(line[7]) * 1000 + Digit(line[8]) * 100 + Digit(line[9]) * 10 + Digit(line[10]);
    std::tm tm{};
    tm.tm_mday = Digit(line[0]) * 10 + Digit(line[1]);
    tm.tm_mon = month;
    tm.tm_year = year - 1900;
    // Let the C library decide daylight saving for the line's own date; the
    // flag of the present moment would shift half a year's dates by an hour.
    tm.tm_isdst = -1;
    return tm;
}

// Local midnight of the day `dayOffset` days after the date in tm, taken at
// 01:01:01 so a switch of daylight saving at midnight cannot move it.
int64_t Midnight(std::tm tm, int dayOffset) {
    tm.tm_mday += dayOffset;
    tm.tm_sec = 1;
    tm.tm_min = 1;
    tm.tm_hour = 1;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm)) - 3661;
}

// The line's date and 12-hour clock time as calendar fields, with
// daylight saving left to the C library.
std::tm LineClock(const char* line) {
    std::tm tm = LineDate(line);
    int hour = Digit(line[12]) * 10 + Digit(line[13]);
    const bool pm = line[21] == 'P';
    if (pm && hour < 12) hour += 12;
    if (!pm && hour >= 12) hour -= 12;
    tm.tm_hour = hour;
    tm.tm_min = Digit(line[15]) * 10 + Digit(line[16]);
    tm.tm_sec = Digit(line[18]) * 10 + Digit(line[19]);
    return tm;
}

bool SameClock(const std::tm& a, const std::tm& b) {
    return a.tm_sec == b.tm_sec && a.tm_min == b.tm_min && a.tm_hour == b.tm_hour && a.tm_mday == b.tm_mday &&
           a.tm_mon == b.tm_mon && a.tm_year == b.tm_year;
}

// The moments at which the local clock shows the given date and time,
// earliest first: one on most days, two in the hour repeated when the
// clocks go back, none in the hour skipped when they go forward. mktime
// cannot tell the two apart: with tm_isdst = -1 its pick depends on what
// it was asked before, so the two offsets of the day are tried instead.
int ClockMoments(const std::tm& clock, std::time_t moments[2]) {
    std::tm fields = clock;
    const std::time_t wall = ::timegm(&fields);
    int count = 0;
    for (const int64_t probe : {int64_t{-86400}, int64_t{86400}}) {
        const std::time_t near = static_cast<std::time_t>(wall + probe);
        std::tm around{};
        if (::localtime_r(&near, &around) == nullptr) continue;
        const std::time_t candidate = static_cast<std::time_t>(wall - around.tm_gmtoff);
        std::tm shown{};
        if (::localtime_r(&candidate, &shown) == nullptr || !SameClock(shown, clock)) continue;
        if (count == 1 && moments[0] == candidate) continue;
        moments[count++] = candidate;
    }
    if (count == 2 && moments[1] < moments[0]) std::swap(moments[0], moments[1]);
    return count;
}

// The offset from UTC in force at local noon, dayOffset days after the
// date in tm.
long NoonOffset(std::tm tm, int dayOffset) {
    tm.tm_mday += dayOffset;
    tm.tm_hour = 12;
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    std::mktime(&tm);
    return tm.tm_gmtoff;
}

}  // namespace

int64_t DateValue(const char* line) {
    if (g_dateCache.valid && std::memcmp(g_dateCache.key, line, sizeof g_dateCache.key) == 0) {
        return g_dateCache.value;
    }
    std::memcpy(g_dateCache.key, line, sizeof g_dateCache.key);
    const std::tm tm = LineDate(line);
    // Around the days daylight saving starts or ends, clock times are not
    // midnight plus the clock; LineTime looks each of them up. The offsets
    // are compared at noon, which no switch makes ambiguous (01:01:01 can
    // be, and mktime's pick there depends on its earlier calls).
    const long offset = NoonOffset(tm, 0);
    g_dateCache.switchDay = NoonOffset(tm, -1) != offset || NoonOffset(tm, 1) != offset;
    std::time_t moments[2];
    std::tm midnight = tm;
    midnight.tm_hour = midnight.tm_min = midnight.tm_sec = 0;
    const int64_t t = g_dateCache.switchDay && ClockMoments(midnight, moments) > 0
                          ? static_cast<int64_t>(moments[0])
                          : Midnight(tm, 0);
    g_dateCache.value = t;
    g_dateCache.valid = true;
    return t;
}

int64_t LineTime(const char* line) {
    const int64_t d = DateValue(line);
    const std::tm clock = LineClock(line);
    if (g_dateCache.switchDay) {
        // A repeated clock time means its first moment, in daylight saving.
        std::time_t moments[2];
        if (ClockMoments(clock, moments) > 0) return static_cast<int64_t>(moments[0]);
        std::tm tm = clock;
        return static_cast<int64_t>(std::mktime(&tm));
    }
    return d + int64_t{clock.tm_hour} * 3600 + int64_t{clock.tm_min} * 60 + clock.tm_sec;
}

bool RepeatedHourSecondPass(const char* line, int64_t* t) {
    DateValue(line);
    if (!g_dateCache.switchDay) return false;
    std::time_t moments[2];
    if (ClockMoments(LineClock(line), moments) != 2) return false;
    *t = static_cast<int64_t>(moments[1]);
    return true;
}

bool ReadWholeFile(const char* path, std::vector<char>* buffer, int32_t* size) {
    buffer->clear();
    *size = 0;
    if (path == nullptr || *path == '\0') return false;
    // Read-only and never created; other readers are unaffected.
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return false;
    struct stat st {};
    // Only regular files: a device or pipe has no size and may never end.
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_size < 0 || st.st_size > kMaxLogBytes) return false;
    const int64_t bytes = st.st_size;
    std::vector<char> block;
    if (!TryResize(block, bytes + 4)) return false;
    int64_t got = 0;
    while (got < bytes) {
        const ssize_t r = ::read(fd.get(), block.data() + got, static_cast<size_t>(bytes - got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;  // error or short file: all or nothing
        got += r;
    }
    *buffer = std::move(block);
    *size = static_cast<int32_t>(bytes);
    return true;
}

namespace {

struct LineSpan {
    int64_t contentEnd;  // first byte of the line end (or len)
    int64_t next;        // first byte of the next line
    bool terminated;     // a CR, an LF or CR LF ended the line
};

// A line ends at its first CR or LF; a CR may be followed by one LF.
LineSpan NextLine(const char* text, int64_t start, int64_t len) {
    int64_t i = start;
    while (i < len && text[i] != '\r' && text[i] != '\n') ++i;
    if (i == len) return {len, len, false};
    int64_t next = i + 1;
    if (text[i] == '\r' && next < len && text[next] == '\n') ++next;
    return {i, next, true};
}

}  // namespace

int LoadSeries(const char* path, GraphContext& ctx) {
    std::vector<char> buffer;
    int32_t size = 0;
    if (!ReadWholeFile(path, &buffer, &size)) return 0;
    return LoadSeriesFromBuffer(std::move(buffer), size, ctx);
}

int LoadSeriesFromBuffer(std::vector<char> buffer, int32_t size, GraphContext& ctx) {
    if (size <= 0 || size > kMaxLogBytes) return 0;
    // The parser may look a few bytes past the text: they must be zeros.
    try {
        buffer.resize(static_cast<size_t>(size) + 4);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::fill(buffer.begin() + size, buffer.end(), '\0');
    char* raw = buffer.data();

    // The text ends at the first zero byte, as the zero padding ends it.
    const int64_t len = static_cast<int64_t>(::strnlen(raw, static_cast<size_t>(size)));
    if (len == 0) return 0;

    // One point at most per line: the arrays follow the line count, so a
    // file of short lines still keeps its newest points. Every CR and every
    // LF may end a line, which bounds the count from above.
    int64_t capacity = 1;
    for (int64_t i = 0; i < len; ++i) {
        if (raw[i] == '\r' || raw[i] == '\n') ++capacity;
    }
    std::vector<char*> labels;
    std::vector<float> values;
    std::vector<int32_t> times;
    if (!TryResize(labels, capacity) || !TryResize(values, capacity) || !TryResize(times, capacity)) return 0;

    int64_t n = 0;
    int64_t lineNumber = 0;
    int64_t base = 0;
    int64_t previousRaw = 0;
    int orderReports = 0;
    int64_t cur = 0;
    while (cur < len && n < capacity) {
        ++lineNumber;
        char* line = raw + cur;
        const LineSpan span = NextLine(raw, cur, len);
        cur = span.next;
        // The client ends every record with its line end, so a last line
        // without one is still being written: its reading may be cut short.
        if (!span.terminated) break;
        // A line ending inside its fixed fields (an empty value) has no reading.
        if (span.contentEnd - (line - raw) < kFixedFields) continue;

        int64_t t = LineTime(line);  // before byte 11 is overwritten
        std::memset(raw + span.contentEnd, 0, static_cast<size_t>(span.next - span.contentEnd));
        const char* cursor = line + kPosMagnitude;
        const ParsedReal parsed = ParseRealChecked(cursor);
        const float sign = line[kPosSign] == '-' ? -1.0f : 1.0f;
        const float value = parsed.value * sign;
        // A reading that is not a number ("  DISABLED") or overflows is not
        // plotted; the next line is still read from its own start.
        if (!parsed.hasDigits || !std::isfinite(value)) continue;

        // In the hour repeated when the clocks go back, a clock time that
        // steps back names its second, standard-time occurrence. Asked
        // before byte 11 changes, as the date cache is keyed on it.
        int64_t standard = 0;
        if (n > 0 && t < previousRaw && RepeatedHourSecondPass(line, &standard) && standard >= previousRaw) {
            t = standard;
        }
        line[kPosTimeSep] = '\n';
        line[kPosValueSep] = '\n';

        int64_t rel;
        if (n == 0) {
            base = t;
            rel = 0;
        } else {
            if (t < previousRaw && orderReports < kMaxOrderReports) {
                ++orderReports;
                DebugPrintf("Detected bad time at line %d", static_cast<long long>(lineNumber));
                DebugPrintString("o_Labels[i-1]", labels[n - 1]);
                DebugPrintString("o_Labels[i]", line);
            }
            // Out-of-order times (a clock set back) keep the previous time,
            // so the ages stay ascending and the rest of the file loads.
            rel = std::max<int64_t>(t - base, times[n - 1]);
            if (rel > INT32_MAX) rel = INT32_MAX;
        }
        previousRaw = t;
        labels[n] = line;
        values[n] = value;
        times[n] = static_cast<int32_t>(rel);
        ++n;
    }
    if (n == 0) return 0;

    // Ages relative to the newest point, newest first.
    times.resize(static_cast<size_t>(n));
    values.resize(static_cast<size_t>(n));
    labels.resize(static_cast<size_t>(n));
    const int32_t last = times.back();
    for (int32_t& t : times) t = last - t;
    std::reverse(times.begin(), times.end());
    std::reverse(values.begin(), values.end());
    std::reverse(labels.begin(), labels.end());

    InstallSeries(ctx, std::move(buffer), std::move(times), std::move(labels), std::move(values));
    ResetRange(ctx);
    return 1;
}

}  // namespace plotwick
