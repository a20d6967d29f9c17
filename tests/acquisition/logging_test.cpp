// Log records: the byte layout the chart reads, the size-limit restart and
// the failures that must lose only the one record.
#include "acquisition/logging.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "acquisition/intervals.h"
#include "temp_dir.h"

namespace kestrane {
namespace {

namespace fs = std::filesystem;

std::tm MakeTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

class FixedTime final : public LocalTimeSource {
public:
    std::tm LocalNow() override { return now; }
    std::tm now = MakeTime(2026, 12, 7, 13, 49, 10);
};

TEST(LogRecord, FixedLayoutWhateverTheHour) {
    struct R {
        std::tm time;
        const char* shown;
        const char* record;
    };
    const R cases[] = {
        {MakeTime(2026, 12, 7, 13, 49, 10), "+ 12.345", "07 Dec 2026;01:49:10 PM;+ 12.345\r\n"},
        {MakeTime(2026, 1, 1, 0, 0, 0), "- 0", "01 Jan 2026;12:00:00 AM;- 0\r\n"},
        {MakeTime(2026, 6, 30, 12, 0, 5), "+ 0", "30 Jun 2026;12:00:05 PM;+ 0\r\n"},
        {MakeTime(1999, 9, 9, 23, 59, 59), "  DISABLED", "09 Sep 1999;11:59:59 PM;  DISABLED\r\n"},
        {MakeTime(2026, 5, 3, 11, 5, 0), "", "03 May 2026;11:05:00 AM;\r\n"},
        {MakeTime(2026, 2, 28, 1, 2, 3), "+ 1.234567", "28 Feb 2026;01:02:03 AM;+ 1.234567\r\n"},
        // Fields out of range are clamped rather than shifting the layout.
        {MakeTime(12026, 13, 40, 25, 61, 61), "+ 1", "31 Dec 9999;11:59:59 PM;+ 1\r\n"},
        {MakeTime(2026, 0, 0, -1, -1, -1), "+ 1", "01 Jan 2026;12:00:00 AM;+ 1\r\n"},
        // The value field keeps at most 31 characters.
        {MakeTime(2026, 3, 4, 5, 6, 7), "+ 1234567890123456789012345678901234",
         "04 Mar 2026;05:06:07 AM;+ 12345678901234567890123456789\r\n"},
    };
    for (const auto& c : cases) {
        const std::string r = BuildLogRecord(c.time, c.shown);
        EXPECT_EQ(r, c.record);
        ASSERT_GE(r.size(), 26u);
        EXPECT_EQ(r[11], ';');
        EXPECT_EQ(r[23], ';');
        EXPECT_EQ(r.substr(24, r.size() - 26), std::string(c.shown).substr(0, 31));
    }
    EXPECT_EQ(BuildLogRecord(MakeTime(2026, 2, 28, 1, 2, 3), "+ 1.234567").size(), 36u);
}

TEST(LogRecord, PathsJoinWithoutASeparator) {
    ChannelSettings s;
    s.logPath = "/data/logs/";
    s.logFileName = "ch1.txt";
    EXPECT_EQ(LogFilePath(s), "/data/logs/ch1.txt");
    s.logPath = "/data/logs";
    EXPECT_EQ(LogFilePath(s), "/data/logsch1.txt");
    EXPECT_EQ(DefaultLogFolder("/opt/kestrane/", "000A"), "/opt/kestrane/000A/");
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.path();
        ASSERT_FALSE(dir_.empty());
    }
    ChannelSettings Channel(const std::string& folder, const std::string& name) const {
        ChannelSettings s;
        s.logEnabled = "YES";
        s.logSize = "1 Megabyte";
        s.logPath = folder;
        s.logFileName = name;
        return s;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    test::TempDir temp_{"kestrane-log"};
    fs::path dir_;
    FixedTime time_;
};

TEST_F(LogFileTest, CreatesOneFolderLevelAndAppends) {
    const ChannelSettings s = Channel(dir_.string() + "/logs/", "ch1.txt");
    EXPECT_TRUE(WriteLogRecord(s, "+ 12.345", time_));
    time_.now.tm_sec = 11;
    EXPECT_TRUE(WriteLogRecord(s, "", time_));
    EXPECT_EQ(Read(dir_ / "logs" / "ch1.txt"),
              "07 Dec 2026;01:49:10 PM;+ 12.345\r\n07 Dec 2026;01:49:11 PM;\r\n");

    // Two missing levels: the record is lost, nothing half-made remains.
    const ChannelSettings deep = Channel(dir_.string() + "/a/b/", "ch1.txt");
    EXPECT_FALSE(WriteLogRecord(deep, "+ 1", time_));
    EXPECT_FALSE(fs::exists(dir_ / "a"));
}

TEST_F(LogFileTest, FolderWithoutFinalSeparatorJoinsTheName) {
    const ChannelSettings s = Channel(dir_.string() + "/logs", "ch1.txt");
    EXPECT_TRUE(WriteLogRecord(s, "+ 1", time_));
    EXPECT_TRUE(fs::is_directory(dir_ / "logs"));
    EXPECT_TRUE(fs::exists(dir_ / "logsch1.txt"));
}

TEST_F(LogFileTest, FolderWithApostropheAndBlanks) {
    const ChannelSettings s = Channel(dir_.string() + "/Bob's \"logs\" here/", "it's ch1.txt");
    EXPECT_TRUE(WriteLogRecord(s, "- 0.500", time_));
    EXPECT_EQ(Read(dir_ / "Bob's \"logs\" here" / "it's ch1.txt"), "07 Dec 2026;01:49:10 PM;- 0.500\r\n");
}

TEST_F(LogFileTest, TwoChannelsShareOneFile) {
    BoardSettings board;
    board.channels[0] = Channel(dir_.string() + "/", "shared.txt");
    board.channels[1] = Channel(dir_.string() + "/", "shared.txt");
    ChannelStates states;
    states.at(1).shown = "+ 1.00";
    states.at(2).shown = "  DISABLED";
    EXPECT_TRUE(WriteLogRecord(1, board, states, time_));
    EXPECT_TRUE(WriteLogRecord(2, board, states, time_));
    EXPECT_TRUE(WriteLogRecord(1, board, states, time_));
    EXPECT_FALSE(WriteLogRecord(7, board, states, time_));
    EXPECT_EQ(Read(dir_ / "shared.txt"),
              "07 Dec 2026;01:49:10 PM;+ 1.00\r\n07 Dec 2026;01:49:10 PM;  DISABLED\r\n"
              "07 Dec 2026;01:49:10 PM;+ 1.00\r\n");
}

TEST_F(LogFileTest, FileBeyondTheLimitRestarts) {
    const ChannelSettings s = Channel(dir_.string() + "/", "ch1.txt");
    const fs::path file = dir_ / "ch1.txt";
    const std::string record = BuildLogRecord(time_.now, "+ 1");
    {
        std::ofstream out(file, std::ios::binary);
        out << std::string(static_cast<std::size_t>(kMegabyte), 'x');
    }
    // Exactly the limit: kept, one more record appended.
    EXPECT_TRUE(WriteLogRecord(s, "+ 1", time_));
    EXPECT_EQ(fs::file_size(file), static_cast<uintmax_t>(kMegabyte) + record.size());
    // Now beyond it: deleted, and this tick's record begins the new file.
    EXPECT_TRUE(WriteLogRecord(s, "+ 1", time_));
    EXPECT_EQ(Read(file), record);

    // A larger limit keeps the big file.
    ChannelSettings big = s;
    big.logSize = "2 Megabytes";
    fs::resize_file(file, static_cast<uintmax_t>(kMegabyte) + 5);
    EXPECT_TRUE(WriteLogRecord(big, "+ 1", time_));
    EXPECT_EQ(fs::file_size(file), static_cast<uintmax_t>(kMegabyte) + 5 + record.size());
}

TEST_F(LogFileTest, SizeBeyondFourGibibytesIsNotMistakenForSmall) {
    const ChannelSettings s = Channel(dir_.string() + "/", "huge.txt");
    const fs::path file = dir_ / "huge.txt";
    { std::ofstream out(file, std::ios::binary); }
    std::error_code ec;
    fs::resize_file(file, (uintmax_t{1} << 32) + 10, ec);  // sparse: no real space used
    if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
    EXPECT_TRUE(WriteLogRecord(s, "+ 1", time_));
    EXPECT_EQ(Read(file), BuildLogRecord(time_.now, "+ 1"));
}

TEST_F(LogFileTest, UnwritableTargetsLoseOnlyTheRecord) {
    // A folder that cannot exist because a file has its name.
    {
        std::ofstream out(dir_ / "plain");
        out << "keep";
    }
    EXPECT_FALSE(WriteLogRecord(Channel(dir_.string() + "/plain/", "ch1.txt"), "+ 1", time_));
    EXPECT_EQ(Read(dir_ / "plain"), "keep");

    // A full device: the write fails and the device is never deleted.
    if (fs::exists("/dev/full")) {
        ChannelSettings full = Channel("/dev/", "full");
        full.logSize = "junk";
        EXPECT_FALSE(WriteLogRecord(full, "+ 1", time_));
        EXPECT_TRUE(fs::exists("/dev/full"));
    }

    // A FIFO nobody reads must not block the client.
    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(WriteLogRecord(Channel(dir_.string() + "/", "fifo"), "+ 1", time_));

    // A directory where the file should be.
    fs::create_directory(dir_ / "adir");
    EXPECT_FALSE(WriteLogRecord(Channel(dir_.string() + "/", "adir"), "+ 1", time_));

    // After all that, a good target still works.
    EXPECT_TRUE(WriteLogRecord(Channel(dir_.string() + "/", "ok.txt"), "+ 1", time_));
}

}  // namespace
}  // namespace kestrane
