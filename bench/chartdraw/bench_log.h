// The generated channel log the chart benchmarks share: one record a second
// from 2026-12-01 00:00:00 (clock times in UTC), each 36 bytes with CR LF,
// so a million records make the 35 MB of the largest log rotation size.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace chartbench {

inline constexpr int64_t kFullRecords = 1000000;
inline constexpr int64_t kSmokeRecords = 20000;
inline constexpr int64_t kRecordBytes = 36;

// Records to generate: the full million, a small log when ctest runs the
// benchmark briefly (--benchmark_min_time below 0.1 s), or the count in
// CHARTDRAW_BENCH_RECORDS when set.
inline int64_t RecordCount(int argc, char** argv) {
    int64_t records = kFullRecords;
    const char* prefix = "--benchmark_min_time=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0 &&
            std::atof(argv[i] + std::strlen(prefix)) < 0.1) {
            records = kSmokeRecords;
        }
    }
    if (const char* n = std::getenv("CHARTDRAW_BENCH_RECORDS")) records = std::max(1L, std::atol(n));
    return records;
}

// Writes `records` lines to a new temporary file and returns its path; the
// caller removes it. The clock times are UTC, so run with TZ=UTC0 for ages
// of exactly one second apart. Aborts when the file cannot be written: a
// benchmark on a partial log would measure the wrong thing.
inline std::string WriteBenchLog(int64_t records) {
    char pattern[] = "/tmp/chartdraw-bench-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) std::abort();
    std::string chunk;
    chunk.reserve(1 << 20);
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t start = 1796083200;  // 2026-12-01 00:00:00 UTC
    const auto flush = [&] {
        if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) std::abort();
        chunk.clear();
    };
    for (int64_t i = 0; i < records; ++i) {
        const time_t t = start + static_cast<time_t>(i);
        std::tm tm{};
        ::gmtime_r(&t, &tm);
        const int h12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
        char line[64];
        const int value = static_cast<int>((i * 7919) % 10000000);
        const int n =
            std::snprintf(line, sizeof line, "%02d %s %04d;%02d:%02d:%02d %s;+ %d.%06d\r\n", tm.tm_mday,
                          kMonths[tm.tm_mon], tm.tm_year + 1900, h12, tm.tm_min, tm.tm_sec,
                          tm.tm_hour >= 12 ? "PM" : "AM", value / 1000000, value % 1000000);
        chunk.append(line, static_cast<size_t>(n));
        if (chunk.size() > (1 << 20) - 64) flush();
    }
    flush();
    ::close(fd);
    return pattern;
}

}  // namespace chartbench
