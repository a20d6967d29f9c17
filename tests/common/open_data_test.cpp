// The open-data rows and the metrics file: times, plain numbers, CSV and
// JSON quoting, label escaping and the atomic replacement of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "common/metrics_file.h"
#include "common/numtext.h"
#include "common/open_data.h"

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

TEST(OpenDataTest, PlainValueOfShownReadings) {
    const struct {
        const char* shown;
        const char* plain;  // nullptr: no number
    } cases[] = {
        {"+ 12.345", "12.345"},
        {"- 0.5", "-0.5"},
        {"- 0.000188", "-0.000188"},
        {"+ 0", "0"},
        {"- 0", "0"},  // no negative zero
        {"- 0.000", "0.000"},
        {"+ 25", "25"},
        {"+ 1.234567890123450E+0016", "1.234567890123450E+0016"},
        {"12.5", "12.5"},
        {"  DISABLED", nullptr},
        {"", nullptr},
        {"+", nullptr},
        {"+ ", nullptr},
        {"+ 1.", nullptr},
        {"+ .5", nullptr},
        {"+ 1e", nullptr},
        {"+ -1", nullptr},
        {"+ 1,5", nullptr},
        {"+ NAN", nullptr},
        {"+ 12.3x", nullptr},
    };
    for (const auto& c : cases) {
        const auto v = PlainValue(c.shown);
        if (c.plain == nullptr) {
            EXPECT_FALSE(v.has_value()) << '"' << c.shown << '"';
        } else {
            ASSERT_TRUE(v.has_value()) << '"' << c.shown << '"';
            EXPECT_EQ(*v, c.plain);
        }
    }
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
        EXPECT_EQ(PlainValue(c.shown).value_or("none"), plain) << c.shown;
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
    m.connected = true;
    m.lastReadingUnixMs = 1796739388123;
    m.channels = {{1, "House \"main\"", "V", {12.35L, 2}}, {5, "Rail", "V", {-11.95L, 6}}};
    m.alarms = {{6, "high", true}, {6, "low", false}};
    const std::string text = FormatBoardMetrics(m);
    const char* expected[] = {
        "# TYPE kestrane_channel_value gauge\n",
        "kestrane_channel_value{board=\"000A\",channel=\"1\",name=\"House \\\"main\\\"\",unit=\"V\"} 12.35\n",
        "kestrane_channel_value{board=\"000A\",channel=\"5\",name=\"Rail\",unit=\"V\"} -11.950000\n",
        "kestrane_alarm_active{board=\"000A\",channel=\"6\",band=\"high\"} 1\n",
        "kestrane_alarm_active{board=\"000A\",channel=\"6\",band=\"low\"} 0\n",
        "kestrane_board_connected{board=\"000A\"} 1\n",
        "kestrane_last_reading_timestamp_seconds{board=\"000A\"} 1796739388.123\n",
    };
    for (const char* line : expected) EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_EQ(text.find("channel=\"6\",name"), std::string::npos) << "channel without a reading written";

    m.connected = false;
    m.lastReadingUnixMs.reset();
    const std::string lost = FormatBoardMetrics(m);
    EXPECT_NE(lost.find("kestrane_board_connected{board=\"000A\"} 0\n"), std::string::npos);
    EXPECT_EQ(lost.find("kestrane_last_reading_timestamp_seconds{"), std::string::npos);
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
