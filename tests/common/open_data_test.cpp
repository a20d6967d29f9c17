// The open-data rows and the metrics file: times, plain numbers, CSV and
// JSON quoting, label escaping and the atomic replacement of the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "common/metrics_file.h"
#include "common/numtext.h"
#include "common/open_data.h"
#include "volts_text.h"

namespace kestrane {
namespace {

TEST(OpenDataTest, Iso8601UtcWithMilliseconds) {
    const struct {
        int64_t ms;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {1796739388123, "2026-12-08T14:16:28.123Z"},
        {1796739388005, "2026-12-08T14:16:28.005Z"},
        {951782400999, "2000-02-29T00:00:00.999Z"},  // leap day
        {-1, "1969-12-31T23:59:59.999Z"},
        {-1000, "1969-12-31T23:59:59.000Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(Iso8601UtcMs(c.ms), c.text) << c.ms;
}

// PlainNumber writes the digits the display shows for the same value and
// precision, and agrees with PlainValue read back from that shown text.
TEST(OpenDataTest, PlainNumberMatchesTheShownText) {
    const struct {
        long double exact;
        int decimals;
        const char* shown;  // sign, then RealToText of the magnitude
        const char* plain;
    } cases[] = {
        {12.3449L, 3, "+ 12.345", "12.345"},
        {-0.5L, 1, "- 0.5", "-0.5"},
        {-0.0004L, 3, "- 0.000", "0.000"},  // no negative zero
        {-0.0L, 2, "- 0", "0"},
        {0.0L, 4, "+ 0", "0"},
        {7.5L, 0, "+ 8", "8"},  // ties to even
        {2.25L, 1, "+ 2.2", "2.2"},
        {1.0e17L, 2, "+ 1.000000000000000E+0017", "1.000000000000000E+0017"},
        {-1.0e17L, 2, "- 1.000000000000000E+0017", "-1.000000000000000E+0017"},
        {123.456789L, 20, "+ 123.4567890000000", "123.4567890000000"},  // places capped
    };
    for (const auto& c : cases) {
        const std::string plain = PlainNumber(ReadingNumber{c.exact, c.decimals});
        EXPECT_EQ(plain, c.plain) << c.shown;
        EXPECT_EQ(board::PlainValue(c.shown).value_or("none"), plain) << c.shown;
        EXPECT_EQ(std::string(c.exact < 0 || std::signbit(c.exact) ? "-" : "+") +
                      RealToText(std::fabs(c.exact), c.decimals),
                  c.shown);
    }
}

TEST(OpenDataTest, CsvQuotesOnlyWhatNeedsIt) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"House battery", "House battery"}, {"a,b", "\"a,b\""},   {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},   {"cr\r", "\"cr\r\""}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CsvField(c.in), c.out);
    ReadingRow row{1796739388123, "000A", 3, "Load, \"main\"", ReadingNumber{-0.5L, 1}, "A"};
    EXPECT_EQ(CsvHeader(), "time,board,channel,name,value,unit\r\n");
    EXPECT_EQ(CsvRow(row), "2026-12-08T14:16:28.123Z,000A,3,\"Load, \"\"main\"\"\",-0.5,A\r\n");
}

TEST(OpenDataTest, JsonEscapesAndRepairsText) {
    const struct {
        std::string in;
        const char* out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\", "\"q\\\"b\\\\\""},
        {"\n\r\t", "\"\\n\\r\\t\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001F\\u007F\""},
        {"\xC3\xA9", "\"\xC3\xA9\""},  // é kept
        {"a\xFF"
         "b",
         "\"a\xEF\xBF\xBD"
         "b\""},                                                       // stray byte
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
        {"\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // cut short
    };
    for (const auto& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.in;
    ReadingRow row{1796739388123, "000A", 1, "Bat \"1\"", ReadingNumber{12.35L, 2}, "V"};
    EXPECT_EQ(JsonLine(row),
              "{\"time\":\"2026-12-08T14:16:28.123Z\",\"board\":\"000A\",\"channel\":1,"
              "\"name\":\"Bat \\\"1\\\"\",\"value\":12.35,\"unit\":\"V\"}\n");
    row.value.reset();
    EXPECT_NE(JsonLine(row).find("\"value\":null,"), std::string::npos);
    EXPECT_NE(CsvRow(row).find(",\"Bat \"\"1\"\"\",,V\r\n"), std::string::npos) << CsvRow(row);
}

TEST(OpenDataTest, FormatNamesAndUnits) {
    EXPECT_EQ(RowFormatFromName("text"), RowFormat::Text);
    EXPECT_EQ(RowFormatFromName("csv"), RowFormat::Csv);
    EXPECT_EQ(RowFormatFromName("jsonl"), RowFormat::JsonLines);
    EXPECT_FALSE(RowFormatFromName("CSV").has_value());
    EXPECT_STREQ(UnitForMode("VDC"), "V");
    EXPECT_STREQ(UnitForMode("ADC"), "A");
    EXPECT_STREQ(UnitForMode("vdc"), "A");
    EXPECT_STREQ(UnitForMode(""), "A");
}

TEST(MetricsFileTest, LabelValuesAreEscaped) {
    EXPECT_EQ(PromLabelValue("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
    EXPECT_EQ(PromLabelValue("x\xFF"), "x\xEF\xBF\xBD");
}

TEST(MetricsFileTest, FileHoldsEverySeries) {
    BoardMetrics m;
    m.board = "000A";
    m.version = "1.2.3";
    m.product = "KESTRANEUNIT";
    m.manufacturer = "Morvane";
    m.firmware = "FW \"1\"";
    m.connected = true;
    m.lastReadingUnixMs = 1796739388123;
    m.channels = {{1, "House \"main\"", "V", ReadingNumber{12.35L, 2}},
                  {2, "Shunt", "A", ReadingNumber{-0.5L, 1}},
                  {5, "Rail", "V", ReadingNumber{-11.95L, 6}},
                  {4, "Waiting", "V", std::nullopt}};
    m.alarms = {{6, "high", true}, {6, "low", false}};
    m.counters.exchangesOk = 120;
    m.counters.exchangesFailed = 3;
    m.counters.boardLost = 2;
    m.counters.readings = {{1, 40}, {2, 0}};
    m.counters.alarmEvents = {{{6, "high", "alarm"}, 4}, {{6, "high", "return"}, 3}};
    const std::string text = FormatBoardMetrics(m);
    const char* expected[] = {
        "# TYPE kestrane_channel_volts gauge\n",
        "# TYPE kestrane_readings_total counter\n",
        "kestrane_build_info{version=\"1.2.3\"} 1\n",
        "kestrane_board_info{board=\"000A\",product=\"KESTRANEUNIT\",manufacturer=\"Morvane\",firmware=\"FW "
        "\\\"1\\\"\"} 1\n",
        "kestrane_channel_info{board=\"000A\",channel=\"1\",name=\"House \\\"main\\\"\",unit=\"V\"} 1\n",
        "kestrane_channel_info{board=\"000A\",channel=\"4\",name=\"Waiting\",unit=\"V\"} 1\n",
        "kestrane_channel_volts{board=\"000A\",channel=\"1\"} 12.35\n",
        "kestrane_channel_volts{board=\"000A\",channel=\"5\"} -11.950000\n",
        "kestrane_channel_amperes{board=\"000A\",channel=\"2\"} -0.5\n",
        "kestrane_channel_value{board=\"000A\",channel=\"1\",name=\"House \\\"main\\\"\",unit=\"V\"} 12.35\n",
        "kestrane_alarm_active{board=\"000A\",channel=\"6\",band=\"high\"} 1\n",
        "kestrane_alarm_active{board=\"000A\",channel=\"6\",band=\"low\"} 0\n",
        "kestrane_board_connected{board=\"000A\"} 1\n",
        "kestrane_last_reading_timestamp_seconds{board=\"000A\"} 1796739388.123\n",
        "kestrane_readings_total{board=\"000A\",channel=\"1\"} 40\n",
        "kestrane_readings_total{board=\"000A\",channel=\"2\"} 0\n",
        "kestrane_alarm_events_total{board=\"000A\",channel=\"6\",band=\"high\",event=\"alarm\"} 4\n",
        "kestrane_alarm_events_total{board=\"000A\",channel=\"6\",band=\"high\",event=\"return\"} 3\n",
        "kestrane_exchanges_total{board=\"000A\",result=\"ok\"} 120\n",
        "kestrane_exchanges_total{board=\"000A\",result=\"failed\"} 3\n",
        "kestrane_board_lost_total{board=\"000A\"} 2\n",
    };
    for (const char* line : expected) EXPECT_NE(text.find(line), std::string::npos) << line << text;
    // A channel without a reading, or not polled, gives no sample;
    // a unit's series never carries the other unit's channels.
    for (const char* absent :
         {"channel=\"6\"} ", "channel=\"4\"} ", "kestrane_channel_volts{board=\"000A\",channel=\"2\"}",
          "kestrane_channel_amperes{board=\"000A\",channel=\"1\"}"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << text;

    m.connected = false;
    m.lastReadingUnixMs.reset();
    const std::string lost = FormatBoardMetrics(m);
    EXPECT_NE(lost.find("kestrane_board_connected{board=\"000A\"} 0\n"), std::string::npos);
    EXPECT_EQ(lost.find("kestrane_last_reading_timestamp_seconds{"), std::string::npos);
}

// The collector refuses files whose HELP texts of one family differ, so
// every file carries the same HELP and TYPE lines, whatever it holds.
TEST(MetricsFileTest, HelpLinesAreTheSameInEveryFile) {
    const auto headers = [](const std::string& text) {
        std::string out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("# ", 0) == 0) out += line + '\n';
        return out;
    };
    BoardMetrics empty;
    empty.board = "000B";
    BoardMetrics full;
    full.board = "000A";
    full.version = "1.0";
    full.connected = true;
    full.firmware = "x";
    full.channels = {{1, "n", "V", ReadingNumber{1.0L, 0}}, {2, "m", "A", ReadingNumber{2.0L, 0}}};
    full.alarms = {{1, "low", true}};
    full.counters.readings = {{1, 1}};
    full.counters.alarmEvents = {{{1, "low", "alarm"}, 1}};
    const std::string a = headers(FormatBoardMetrics(empty));
    EXPECT_EQ(a, headers(FormatBoardMetrics(full)));
    // Thirteen families, each named once.
    EXPECT_EQ(std::count(a.begin(), a.end(), '\n'), 26) << a;
    EXPECT_NE(a.find("# HELP kestrane_channel_value "), std::string::npos);
    EXPECT_NE(a.find("deprecated"), std::string::npos);
}

TEST(MetricsFileTest, PathStaysInsideTheFolder) {
    EXPECT_EQ(MetricsFilePath("/var/lib/prom", "000A"), "/var/lib/prom/kestrane-000A.prom");
    EXPECT_EQ(MetricsFilePath("/d/", "000A"), "/d/kestrane-000A.prom");
    EXPECT_EQ(MetricsFilePath("/d", "../x"), "/d/kestrane-___x.prom");
}

TEST(MetricsFileTest, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kestrane-metrics-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "kestrane-000A.prom").string();
    const mode_t oldMask = ::umask(022);
    ASSERT_TRUE(WriteFileAtomically(path, "first\n"));
    ASSERT_TRUE(WriteFileAtomically(path, "second\n"));
    ::umask(oldMask);
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "second\n");
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 1);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read);
    // A folder that does not exist: refused, nothing left behind.
    EXPECT_FALSE(WriteFileAtomically((dir / "missing" / "x.prom").string(), "x"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrane
