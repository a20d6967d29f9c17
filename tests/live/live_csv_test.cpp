// CSV export: the logger's header and columns, rows of several channels in
// time order, the decimals of the shown text kept, only the chosen range
// and channels, and the file read back row by row.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/open_data.h"
#include "live/live_csv.h"
#include "live/live_recorder.h"
#include "shown_decimals.h"
#include "temp_dir.h"
#include "volts_text.h"

using namespace kestrane;
using namespace kestrane::live;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        if (end == std::string::npos) {
            out.push_back(text.substr(at));
            break;
        }
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// The fields of one CSV line, quotes undone.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            out.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

CsvExport AllChannels(int64_t from, int64_t to) {
    CsvExport what;
    what.fromMs = from;
    what.toMs = to;
    what.board = "000A";
    what.names = {"House battery", "Rail, 5 V", "Shunt \"main\"", "Four", "Five", "Six"};
    what.channels.fill(true);
    return what;
}

}  // namespace

TEST(LiveCsv, RowsInTimeOrderWithTheShownDecimals) {
    LiveRecorder r;
    const int64_t t0 = 1'796'739'388'123LL;  // 2026-12-08T14:16:28.123Z
    r.Add({1, t0, 12.35, Unit::Volts, DecimalsOfShown("+ 12.350")});
    r.Add({3, t0 + 50, -25.0, Unit::Amperes, DecimalsOfShown("- 25.00")});
    r.Add({2, t0 + 100, 0.0, Unit::Volts, DecimalsOfShown("- 0.000")});
    r.Add({1, t0 + 300, 12.4, Unit::Volts, DecimalsOfShown("+ 12.4")});
    r.Add({4, t0 + 400, 1.5e20, Unit::Volts, DecimalsOfShown("+ 1.500000000000000E+0020")});
    r.Add({5, t0 + 5000, 1.0, Unit::Volts, DecimalsOfShown("+ 1")});  // outside the range

    std::ostringstream out;
    ASSERT_EQ(WriteCsv(r.store(), AllChannels(t0, t0 + 5000), out), 5);
    const std::vector<std::string> want = {
        "time,board,channel,name,value,unit",
        "2026-12-08T14:16:28.123Z,000A,1,House battery,12.350,V",
        "2026-12-08T14:16:28.173Z,000A,3,\"Shunt \"\"main\"\"\",-25.00,A",
        "2026-12-08T14:16:28.223Z,000A,2,\"Rail, 5 V\",0,V",  // zero as the display writes it
        "2026-12-08T14:16:28.423Z,000A,1,House battery,12.4,V",
        "2026-12-08T14:16:28.523Z,000A,4,Four,1.500000000000000E+0020,V",
    };
    EXPECT_EQ(Lines(out.str()), want);
    // Each row is the one the logger writes for the same reading.
    ReadingRow logged{t0, "000A", 1, "House battery", ReadingNumber{12.35L, 3}, "V"};
    EXPECT_NE(out.str().find(CsvRow(logged)), std::string::npos);
}

TEST(LiveCsv, OnlyTheChosenChannelsAndAnEmptyRange) {
    LiveRecorder r;
    for (int n = 1; n <= 6; ++n) r.Add({n, 1000 + n, n * 1.0, Unit::Volts, 0});
    CsvExport what = AllChannels(0, 10'000);
    what.channels = {false, true, false, false, false, true};
    std::ostringstream out;
    ASSERT_EQ(WriteCsv(r.store(), what, out), 2);
    EXPECT_EQ(Lines(out.str()).size(), 3U);

    std::ostringstream none;
    EXPECT_EQ(WriteCsv(r.store(), AllChannels(5000, 5000), none), 0);
    EXPECT_EQ(none.str(), CsvHeader());
}

TEST(LiveCsv, FileRoundTrip) {
    // Many readings of every channel written to a file and parsed back:
    // the same count, times, channels and values.
    LiveRecorder r;
    const int64_t t0 = 1'800'000'000'000LL;
    for (int i = 0; i < 3000; ++i) {
        const int n = 1 + i % 6;
        const double v = (i % 200) * 0.125 - 12.0;
        std::ostringstream shown;
        shown << (v < 0 ? "- " : "+ ") << std::fixed;
        shown.precision(3);
        shown << std::fabs(v);
        ASSERT_TRUE(
            r.Add({n, t0 + i * 50, v, n == 3 ? Unit::Amperes : Unit::Volts, DecimalsOfShown(shown.str())}));
    }
    test::TempDir dir("live-csv");
    const std::string path = dir.File("live.csv");
    {
        std::ofstream file(path, std::ios::binary);
        ASSERT_EQ(WriteCsv(r.store(), AllChannels(t0, t0 + 3000 * 50), file), 3000);
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const auto lines = Lines(text.str());
    ASSERT_EQ(lines.size(), 3001U);
    for (int i = 0; i < 3000; ++i) {
        const std::string& line = lines[static_cast<std::size_t>(i + 1)];
        const std::vector<std::string> f = Fields(line);
        ASSERT_EQ(f.size(), 6U) << line;
        const int n = 1 + i % 6;
        EXPECT_EQ(f[0], Iso8601UtcMs(t0 + i * 50));
        EXPECT_EQ(f[1], "000A");
        EXPECT_EQ(std::stoi(f[2]), n);
        EXPECT_EQ(f[3], AllChannels(0, 0).names[static_cast<std::size_t>(n - 1)]);
        EXPECT_DOUBLE_EQ(std::stod(f[4]), (i % 200) * 0.125 - 12.0);
        if (f[4] != "0") {  // a zero is written as the display writes it
            EXPECT_EQ(f[4].size() - f[4].find('.') - 1, 3U) << line;
        }
        EXPECT_EQ(f[5], n == 3 ? "A" : "V");
    }
}

TEST(LiveCsv, NumbersAsTheLoggerWritesThem) {
    struct Case {
        double value;
        const char* shown;
        const char* want;
    };
    const Case cases[] = {
        {12.345, "+ 12.345", "12.345"},
        {-0.5, "- 0.5", "-0.5"},
        {0.0, "- 0", "0"},
        {-0.0, "- 0.00", "0.00"},
        {25.0, "+ 25.00", "25.00"},
        {1e-6, "+ 0.000001", "0.000001"},
        {3.0, "+ 3", "3"},
        {-7.25, "- 7.250000", "-7.250000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlainNumber(c.value, DecimalsOfShown(c.shown)), c.want) << c.shown;
        EXPECT_EQ(PlainNumber(c.value, DecimalsOfShown(c.shown)), *board::PlainValue(c.shown)) << c.shown;
    }
}
