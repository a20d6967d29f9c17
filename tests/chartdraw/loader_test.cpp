// Log file loading: the number reader, the line clock, the whole-file read
// and LoadSeries with its all-or-nothing replacement of the series, its
// line ends, and the days the clocks change.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "plotwick/loader.h"
#include "plotwick/raster.h"
#include "plotwick/series.h"
#include "plotwick/view.h"
#include "temp_dir.h"
#include "zone_guard.h"

namespace plotwick {
namespace {

using kestrane::test::TempDir;
using test::ZoneGuard;

int64_t Utc(int y, int mon, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return static_cast<int64_t>(::timegm(&tm));
}

TEST(ParseReal, Numbers) {
    struct Case {
        const char* text;
        float value;
        int consumed;
        bool digits;
    };
    const Case cases[] = {
        {"12.345", 12.345f, 6, true},
        {"  1.5e+2", 150.0f, 8, true},
        {"1.5e-1", 0.15f, 6, true},
        {"1.5e2", 1.5f, 5, true},     // no exponent sign: "2" is taken as the sign byte
        {"1.5E+2", 150.0f, 6, true},  // the client's own exponent form
        {"1.234567890123450E+0016", 1.23456789012345e16f, 23, true},
        {"1.5E2", 1.5f, 5, true},
        {"1.5e*7x", 1.5f, 6, true},  // unknown sign byte: digits consumed, no scaling
        {"-3", -3.0f, 2, true},
        {"\t7 x", 7.0f, 3, true},  // one trailing blank is skipped
        {"7  x", 7.0f, 2, true},
        {"0", 0.0f, 1, true},
        {"2.291516\r\n", 2.291516f, 8, true},
        {".5", 0.5f, 2, true},
        {"", 0.0f, 0, false},
        {"DISABLED", 0.0f, 0, false},
        {"  ", 0.0f, 2, false},
        {"-", -0.0f, 1, false},
        {"99999999999", 99999999999.0f, 11, true},  // no 32-bit wrap-around
        {"1.5e", 1.5f, 4, true},                    // stops at the end of the text
        {"1.5e\n2", 1.5f, 4, true},                 // never runs into the next line
        {"2.5e-400", 0.0f, 8, true},
        {"1.5e+", 1.5f, 5, true},
        {"0e+999", 0.0f, 6, true},  // zero, not 0 times infinity
        {"  e+999", 0.0f, 7, false},
    };
    for (const Case& c : cases) {
        const char* cursor = c.text;
        const ParsedReal r = ParseRealChecked(cursor);
        EXPECT_EQ(r.value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(cursor - c.text, c.consumed) << '"' << c.text << '"';
        EXPECT_EQ(r.hasDigits, c.digits) << '"' << c.text << '"';
    }
    const char* big = "1e+99";
    EXPECT_TRUE(std::isinf(ParseReal(big)));
    // The negative exponent uses the single-precision tenth.
    const char* tiny = "3e-2";
    EXPECT_EQ(ParseReal(tiny),
              static_cast<float>(3.0 * static_cast<double>(0.1f) * static_cast<double>(0.1f)));
}

TEST(LineTime, ClockAndMonths) {
    ZoneGuard zone("UTC0");
    struct Case {
        const char* line;
        int64_t want;
    };
    const Case cases[] = {
        {"07 Dec 2026;01:49:10 PM;+ 12.345", Utc(2026, 12, 7, 13, 49, 10)},
        {"07 Dec 2026;12:00:00 AM;+ 1", Utc(2026, 12, 7, 0, 0, 0)},   // midnight
        {"07 Dec 2026;12:00:00 PM;+ 1", Utc(2026, 12, 7, 12, 0, 0)},  // noon
        {"07 Dec 2026;01:00:00 PM;+ 1", Utc(2026, 12, 7, 13, 0, 0)},
        {"07 Dec 2026;11:59:59 PM;+ 1", Utc(2026, 12, 7, 23, 59, 59)},
        {"07 Dec 2026;11:59:59 AM;+ 1", Utc(2026, 12, 7, 11, 59, 59)},
        {"24 Apr 2010;05:28:32 PM;- 2.291516", Utc(2010, 4, 24, 17, 28, 32)},
        {"01 Jan 2026;00:00:00 xM;+ 1", Utc(2026, 1, 1, 0, 0, 0)},
        {"29 Feb 2028;06:30:00 AM;+ 1", Utc(2028, 2, 29, 6, 30, 0)},
        {"15 Nov 2026;01:00:00 AM;+ 1", Utc(2026, 11, 15, 1, 0, 0)},
        {"15 Dez 2026;01:00:00 AM;+ 1", Utc(2026, 12, 15, 1, 0, 0)},  // other language: December
        {"15 Mai 2026;01:00:00 AM;+ 1", Utc(2026, 12, 15, 1, 0, 0)},
        {"01 Mar 2039;01:00:00 AM;+ 1", Utc(2039, 3, 1, 1, 0, 0)},  // past 2038
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LineTime(c.line), c.want) << c.line;
    }
}

TEST(LineTime, DaylightSavingOfTheLinesOwnDate) {
    // Central European time: UTC+1 in winter, UTC+2 in summer, whatever
    // the date of the test run.
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(LineTime("15 Jan 2026;12:00:00 PM;+ 1"), Utc(2026, 1, 15, 11, 0, 0));
    EXPECT_EQ(LineTime("15 Jul 2026;12:00:00 PM;+ 1"), Utc(2026, 7, 15, 10, 0, 0));
    // The cache is keyed on the date text, so switching back is exact too.
    EXPECT_EQ(LineTime("15 Jan 2026;12:00:00 PM;+ 1"), Utc(2026, 1, 15, 11, 0, 0));
}

TEST(LineTime, DaysOfTheDaylightSavingSwitch) {
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        const char* line;
        int64_t want;
    };
    const Case cases[] = {
        {"29 Mar 2026;12:00:00 AM;+ 1", Utc(2026, 3, 28, 23, 0, 0)},
        {"29 Mar 2026;01:59:59 AM;+ 1", Utc(2026, 3, 29, 0, 59, 59)},
        {"29 Mar 2026;03:00:00 AM;+ 1", Utc(2026, 3, 29, 1, 0, 0)},  // one second later
        {"29 Mar 2026;11:59:59 PM;+ 1", Utc(2026, 3, 29, 21, 59, 59)},
        {"30 Mar 2026;12:00:00 AM;+ 1", Utc(2026, 3, 29, 22, 0, 0)},
        {"25 Oct 2026;01:00:00 AM;+ 1", Utc(2026, 10, 24, 23, 0, 0)},
        {"25 Oct 2026;11:59:59 PM;+ 1", Utc(2026, 10, 25, 22, 59, 59)},
        {"26 Oct 2026;12:00:00 AM;+ 1", Utc(2026, 10, 25, 23, 0, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LineTime(c.line), c.want) << c.line;
    }
}

class LoadSeriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitGraphContext(ctx, nullptr, 600, 240, "Channel 1");
        previousSink = SetDiagnosticSink([this](std::string_view t) { sink.emplace_back(t); });
    }
    void TearDown() override {
        ReleaseSeries(ctx);
        SetDiagnosticSink(previousSink);
    }
    int Load(std::string_view bytes) { return LoadSeries(dir.Write("log.txt", bytes).c_str(), ctx); }
    std::string Label(int i) const { return ctx.o_Labels[i]; }

    ZoneGuard zone{"UTC0"};
    TempDir dir;
    GraphContext ctx;
    std::vector<std::string> sink;
    DiagnosticSink previousSink;
};

std::string Record(int sec, const char* value, const char* day = "07", const char* hour = "01") {
    char text[80];
    std::snprintf(text, sizeof text, "%s Dec 2026;%s:49:%02d PM;%s\r\n", day, hour, sec, value);
    return text;
}

TEST_F(LoadSeriesTest, NewestFirstWithAgesAndThreeLineLabels) {
    ASSERT_EQ(Load(Record(10, "+ 12.345") + Record(11, "- 2.291516") + Record(13, "+ 0")), 1);
    ASSERT_EQ(ctx.pointCount, 3);
    EXPECT_EQ(std::vector<int32_t>(ctx.times.begin(), ctx.times.begin() + 3),
              (std::vector<int32_t>{0, 2, 3}));
    EXPECT_EQ(std::vector<float>(ctx.values.begin(), ctx.values.begin() + 3),
              (std::vector<float>{0.0f, -2.291516f, 12.345f}));
    EXPECT_EQ(Label(0), "07 Dec 2026\n01:49:13 PM\n+ 0");
    EXPECT_EQ(Label(1), "07 Dec 2026\n01:49:11 PM\n- 2.291516");
    EXPECT_EQ(Label(2), "07 Dec 2026\n01:49:10 PM\n+ 12.345");
    EXPECT_EQ(ctx.span, 3);
    EXPECT_EQ(ctx.viewStart, 0);
    EXPECT_EQ(ctx.viewEnd, 3);
    EXPECT_TRUE(sink.empty());
}

TEST_F(LoadSeriesTest, SignByte) {
    ASSERT_EQ(Load("07 Dec 2026;01:49:10 PM;- 2.5\r\n07 Dec 2026;01:49:11 PM;+ 2.5\r\n"
                   "07 Dec 2026;01:49:12 PM;  2.5\r\n07 Dec 2026;01:49:13 PM;x 2.5\n"),
              1);
    EXPECT_EQ(std::vector<float>(ctx.values.begin(), ctx.values.begin() + 4),
              (std::vector<float>{2.5f, 2.5f, 2.5f, -2.5f}));
}

TEST_F(LoadSeriesTest, FailuresKeepThePreviousSeries) {
    ASSERT_EQ(Load(Record(10, "+ 1.5") + Record(20, "+ 2.5")), 1);
    SetView(ctx, 3, 15);
    const int32_t* oldTimes = ctx.times.data();
    const char* oldBuffer = ctx.fileBuffer.data();
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"empty file", ""},
        {"short fragment", "07 Dec 2026;01:4"},
        {"zero byte first", std::string("\0", 1) + Record(10, "+ 1.5")},
        {"no reading on any line", Record(10, "  DISABLED") + Record(11, "")},
        {"text without line structure", std::string(200, 'x')},
        {"only line ends", "\r\n\r\n\n\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.bytes), 0) << c.name;
        EXPECT_EQ(ctx.pointCount, 2) << c.name;
        EXPECT_EQ(ctx.times.data(), oldTimes) << c.name;
        EXPECT_EQ(ctx.fileBuffer.data(), oldBuffer) << c.name;
        EXPECT_EQ(ctx.viewStart, 3) << c.name;  // the zoomed view stays
        EXPECT_EQ(ctx.viewEnd, 10) << c.name;
    }
    EXPECT_EQ(LoadSeries((dir.path() / "missing.txt").c_str(), ctx), 0);
    EXPECT_EQ(LoadSeries(dir.path().c_str(), ctx), 0);  // a directory is not a log
    EXPECT_EQ(LoadSeries("/dev/zero", ctx), 0);         // nor an endless device
    EXPECT_EQ(LoadSeries("", ctx), 0);
    EXPECT_EQ(LoadSeries(nullptr, ctx), 0);
    EXPECT_EQ(ctx.times.data(), oldTimes);
}

TEST(ReadWholeFile, ExactBytesThenFourZeros) {
    TempDir dir;
    const std::string bytes("ab\0cd\r\n", 7);
    const std::string path = dir.Write("f.bin", bytes);
    std::vector<char> buffer;
    int32_t size = -1;
    ASSERT_TRUE(ReadWholeFile(path.c_str(), &buffer, &size));
    ASSERT_EQ(size, 7);
    ASSERT_EQ(buffer.size(), 11u);
    EXPECT_EQ(std::string(buffer.data(), 7), bytes);
    EXPECT_EQ(std::string(buffer.data() + 7, 4), std::string(4, '\0'));
    EXPECT_FALSE(ReadWholeFile((dir.path() / "none").c_str(), &buffer, &size));
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(size, 0);
}

TEST_F(LoadSeriesTest, ShortLinesKeepTheNewestPoints) {
    // 31-byte records: sizing by size / 36 would lose the newest ones.
    std::string text;
    for (int s = 0; s < 50; ++s) text += Record(s, "+ 1.5");
    ASSERT_EQ(text.size(), 50u * 31u);
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(ctx.pointCount, 50);
    EXPECT_EQ(Label(0), "07 Dec 2026\n01:49:49 PM\n+ 1.5");
    EXPECT_EQ(ctx.span, 49);
    // A single short record is a series of one point.
    ASSERT_EQ(Load(Record(7, "+ 3")), 1);
    EXPECT_EQ(ctx.pointCount, 1);
    EXPECT_EQ(ctx.values[0], 3.0f);
    EXPECT_EQ(ctx.span, 0);
}

TEST_F(LoadSeriesTest, LinesWithoutAReadingAreSkippedNotMisread) {
    const std::string text = Record(10, "+ 1.25") + Record(11, "  DISABLED") + Record(12, "") +
                             Record(13, "+ 2.5") + Record(14, "- 1e+99") + Record(15, "+ 3.75");
    ASSERT_EQ(Load(text), 1);
    ASSERT_EQ(ctx.pointCount, 3);
    EXPECT_EQ(std::vector<float>(ctx.values.begin(), ctx.values.begin() + 3),
              (std::vector<float>{3.75f, 2.5f, 1.25f}));
    EXPECT_EQ(std::vector<int32_t>(ctx.times.begin(), ctx.times.begin() + 3),
              (std::vector<int32_t>{0, 2, 5}));
    EXPECT_EQ(Label(1), "07 Dec 2026\n01:49:13 PM\n+ 2.5");
}

TEST_F(LoadSeriesTest, UnfinishedLastLineIsDropped) {
    // The client ends every record with CR LF: a last line without a line
    // end is still being written, whatever its length.
    const std::string full = Record(10, "+ 1.25") + Record(11, "+ 2.5");
    struct Case {
        std::string tail;
        int32_t points;
        float newest;
    };
    const std::vector<Case> cases = {
        {"", 2, 2.5f},
        {"0", 2, 2.5f},
        {"07 Dec 2026;01:49:12 P", 2, 2.5f},
        {"07 Dec 2026;01:49:12 PM;+", 2, 2.5f},
        {"07 Dec 2026;01:49:12 PM;+ ", 2, 2.5f},
        {"07 Dec 2026;01:49:12 PM;+ 1", 2, 2.5f},       // "+ 12.345" cut inside its number
        {"07 Dec 2026;01:49:12 PM;+ 12.345", 2, 2.5f},  // complete but for the line end
        {"07 Dec 2026;01:49:12 PM;+ 12.345\r", 3, 12.345f},
        {"07 Dec 2026;01:49:12 PM;+ 12.345\n", 3, 12.345f},
        {"07 Dec 2026;01:49:12 PM;+ 12.345\r\n", 3, 12.345f},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Load(full + c.tail), 1) << c.tail;
        EXPECT_EQ(ctx.pointCount, c.points) << c.tail;
        EXPECT_EQ(ctx.values[0], c.newest) << c.tail;
    }
    // A file that is one unfinished line has no series.
    EXPECT_EQ(Load("07 Dec 2026;01:49:12 PM;+ 12.345"), 0);
}

TEST_F(LoadSeriesTest, CrLfAndCrOnlyAndLfOnlyLineEnds) {
    const char* values[] = {"+ 1.5", "- 2.25", "+ 3"};
    for (const char* end : {"\r\n", "\r", "\n"}) {
        std::string text;
        for (int i = 0; i < 3; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "07 Dec 2026;01:49:%02d PM;%s%s", 10 + i, values[i], end);
            text += line;
        }
        ASSERT_EQ(Load(text), 1) << "line end " << static_cast<int>(end[0]);
        ASSERT_EQ(ctx.pointCount, 3);
        EXPECT_EQ(std::vector<float>(ctx.values.begin(), ctx.values.begin() + 3),
                  (std::vector<float>{3.0f, -2.25f, 1.5f}));
        EXPECT_EQ(std::vector<int32_t>(ctx.times.begin(), ctx.times.begin() + 3),
                  (std::vector<int32_t>{0, 1, 2}));
        // Each hover label holds its own line and nothing of the next.
        EXPECT_EQ(Label(2), "07 Dec 2026\n01:49:10 PM\n+ 1.5");
        EXPECT_EQ(Label(1), "07 Dec 2026\n01:49:11 PM\n- 2.25");
        EXPECT_EQ(Label(0), "07 Dec 2026\n01:49:12 PM\n+ 3");
    }
    // Mixed ends, and an LF CR pair, which is two line ends with an empty line between.
    ASSERT_EQ(Load(Record(1, "+ 1") + "07 Dec 2026;01:49:02 PM;+ 2\r" + "07 Dec 2026;01:49:03 PM;+ 3\n\r" +
                   "07 Dec 2026;01:49:04 PM;+ 4\n"),
              1);
    EXPECT_EQ(std::vector<float>(ctx.values.begin(), ctx.values.begin() + 4),
              (std::vector<float>{4.0f, 3.0f, 2.0f, 1.0f}));
    EXPECT_TRUE(sink.empty());
}

TEST_F(LoadSeriesTest, TimeGoingBackIsReportedButLoads) {
    ASSERT_EQ(Load(Record(5, "+ 1") + Record(3, "+ 2") + Record(7, "+ 3") + Record(7, "+ 4")), 1);
    ASSERT_EQ(ctx.pointCount, 4);
    // The point at :03 takes :05, the previous time; equal times pass.
    EXPECT_EQ(std::vector<int32_t>(ctx.times.begin(), ctx.times.begin() + 4),
              (std::vector<int32_t>{0, 0, 2, 2}));
    ASSERT_EQ(sink.size(), 3u);
    EXPECT_EQ(sink[0], "Detected bad time at line 2");
    EXPECT_EQ(sink[1], "o_Labels[i-1] = 07 Dec 2026\n01:49:05 PM\n+ 1");
    EXPECT_EQ(sink[2], "o_Labels[i] = 07 Dec 2026\n01:49:03 PM\n+ 2");
}

// A log written at one reading a minute across the autumn clock change, as
// the client writes it: the local 12-hour clock of each moment.
std::string MinuteLogAcross(int64_t startUtc, int minutes) {
    std::string text;
    for (int m = 0; m < minutes; ++m) {
        const std::time_t t = static_cast<std::time_t>(startUtc + 60 * m);
        std::tm local{};
        ::localtime_r(&t, &local);
        char stamp[40];
        std::strftime(stamp, sizeof stamp, "%d %b %Y;%I:%M:%S %p", &local);
        text += std::string(stamp) + ";+ " + std::to_string(m % 10) + ".5\r\n";
    }
    return text;
}

TEST(LoadSeriesZones, RepeatedHourOfTheAutumnChangeLoadsInOrder) {
    struct Case {
        const char* zone;
        int64_t startUtc;  // two hours before the clocks go back
    };
    const Case cases[] = {
        {"Europe/London", Utc(2026, 10, 24, 23, 0, 0)},  // 02:00 BST -> 01:00 GMT on 25 Oct
        {"GMT0BST,M3.5.0/1,M10.5.0", Utc(2026, 10, 24, 23, 0, 0)},
        {"America/New_York", Utc(2026, 11, 1, 4, 0, 0)},  // 02:00 EDT -> 01:00 EST on 1 Nov
        {"EST5EDT,M3.2.0,M11.1.0", Utc(2026, 11, 1, 4, 0, 0)},
    };
    for (const Case& c : cases) {
        ZoneGuard zone(c.zone);
        std::vector<std::string> sink;
        const DiagnosticSink previous = SetDiagnosticSink([&](std::string_view t) { sink.emplace_back(t); });
        TempDir dir;
        GraphContext ctx;
        InitGraphContext(ctx, nullptr, 600, 240, "Channel 1");
        const int minutes = 4 * 60;
        const std::string text = MinuteLogAcross(c.startUtc, minutes);
        ASSERT_EQ(LoadSeries(dir.Write("log.txt", text).c_str(), ctx), 1) << c.zone;
        ASSERT_EQ(ctx.pointCount, minutes) << c.zone;
        bool evenSteps = true;
        for (int32_t i = 0; i < ctx.pointCount; ++i) evenSteps = evenSteps && ctx.times[i] == 60 * i;
        EXPECT_TRUE(evenSteps) << c.zone << ": every reading one minute after the one before";
        EXPECT_EQ(ctx.span, 60 * (minutes - 1)) << c.zone;
        EXPECT_TRUE(sink.empty()) << c.zone << ": " << (sink.empty() ? "" : sink[0]);
        ReleaseSeries(ctx);
        SetDiagnosticSink(previous);
    }
}

TEST(LoadSeriesZones, StepBackOnTheSwitchDayOutsideTheRepeatedHourIsStillReported) {
    ZoneGuard zone("Europe/London");
    std::vector<std::string> sink;
    const DiagnosticSink previous = SetDiagnosticSink([&](std::string_view t) { sink.emplace_back(t); });
    TempDir dir;
    GraphContext ctx;
    InitGraphContext(ctx, nullptr, 600, 240, "Channel 1");
    // 00:30 exists only in summer time: going back to it from 01:10 is a
    // clock set back, not the second pass of the repeated hour.
    const std::string text =
        "25 Oct 2026;01:10:00 AM;+ 1\r\n25 Oct 2026;12:30:00 AM;+ 2\r\n"
        "25 Oct 2026;03:00:00 AM;+ 3\r\n";
    ASSERT_EQ(LoadSeries(dir.Write("log.txt", text).c_str(), ctx), 1);
    ASSERT_FALSE(sink.empty());
    EXPECT_EQ(sink[0], "Detected bad time at line 2");
    // 01:10 BST to 03:00 GMT is two hours fifty minutes.
    EXPECT_EQ(ctx.span, 2 * 3600 + 50 * 60);
    int64_t standard = 0;
    EXPECT_FALSE(RepeatedHourSecondPass("25 Oct 2026;12:30:00 AM;+ 2", &standard));
    EXPECT_FALSE(RepeatedHourSecondPass("24 Oct 2026;01:30:00 AM;+ 2", &standard));
    EXPECT_FALSE(RepeatedHourSecondPass("29 Mar 2026;03:30:00 AM;+ 2", &standard));
    ASSERT_TRUE(RepeatedHourSecondPass("25 Oct 2026;01:30:00 AM;+ 2", &standard));
    EXPECT_EQ(standard, Utc(2026, 10, 25, 1, 30, 0));
    ReleaseSeries(ctx);
    SetDiagnosticSink(previous);
}

TEST_F(LoadSeriesTest, BadTimeNamesTheFileLineAndReportsAreBounded) {
    std::string text = Record(5, "+ 1") + Record(6, "  DISABLED") + Record(4, "+ 2");
    for (int i = 0; i < 100; ++i) text += Record(i % 2 == 0 ? 9 : 8, "+ 3");
    ASSERT_EQ(Load(text), 1);
    ASSERT_GE(sink.size(), 3u);
    EXPECT_EQ(sink[0], "Detected bad time at line 3");
    EXPECT_EQ(sink.size(), 30u);  // ten reports of three texts
    for (int32_t i = 1; i < ctx.pointCount; ++i) ASSERT_LE(ctx.times[i - 1], ctx.times[i]);
}

TEST_F(LoadSeriesTest, DaysMonthsAndLineEndings) {
    const std::string text =
        "31 Dec 2025;11:59:58 PM;+ 1\n"
        "01 Jan 2026;12:00:01 AM;+ 2\n"
        "01 Jan 2026;12:00:02 AM;+ 3\r\n"
        "01 Jan 2026;01:00:02 PM;+ 4\r";
    ASSERT_EQ(Load(text), 1);
    ASSERT_EQ(ctx.pointCount, 4);
    EXPECT_EQ(std::vector<int32_t>(ctx.times.begin(), ctx.times.begin() + 4),
              (std::vector<int32_t>{0, 13 * 3600, 13 * 3600 + 1, 13 * 3600 + 4}));
    EXPECT_EQ(Label(3), "31 Dec 2025\n11:59:58 PM\n+ 1");
}

TEST_F(LoadSeriesTest, ReloadReplacesSeriesAndResetsView) {
    std::string text;
    for (int m = 0; m < 120; ++m) {
        char line[64];
        std::snprintf(line, sizeof line, "07 Dec 2026;%02d:%02d:00 PM;+ %d.5\r\n", 1 + m / 60, m % 60,
                      m % 10);
        text += line;
    }
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(ctx.span, 119 * 60);
    EXPECT_EQ(ctx.viewEnd, 3600);
    SetView(ctx, 600, 900);
    ASSERT_EQ(Load(text + "07 Dec 2026;03:00:00 PM;+ 7\r\n"), 1);
    EXPECT_EQ(ctx.times.size(), 121u) << "the previous series is replaced, not kept";
    EXPECT_EQ(ctx.pointCount, 121);
    EXPECT_EQ(ctx.viewStart, 0);
    EXPECT_EQ(ctx.viewEnd, 3600);
    EXPECT_EQ(ctx.values[0], 7.0f);
}

TEST_F(LoadSeriesTest, GarbageFieldsStayInsideTheBuffer) {
    // Every byte value in the fixed fields; the loader must neither fault
    // nor produce an unordered series.
    std::string text;
    for (int b = 0; b < 256; ++b) {
        if (b == 0 || b == '\n') continue;
        std::string line = Record(10, "+ 1.5");
        for (int pos : {0, 1, 3, 7, 8, 12, 15, 18, 21, 24}) line[pos] = static_cast<char>(b);
        text += line;
    }
    Load(text);
    for (int32_t i = 1; i < ctx.pointCount; ++i) ASSERT_LE(ctx.times[i - 1], ctx.times[i]);
}

}  // namespace
}  // namespace plotwick
