// The logger's command line (what runs, what is a usage error and how the
// error reads) and its row files (appended, never truncated).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "logger/logger_options.h"
#include "logger/row_file.h"

namespace kestrane::logger {
namespace {

using Action = ParsedCommandLine::Action;

ParsedCommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "kestrane-logger");
    return ParseLoggerCommandLine(args);
}

TEST(LoggerOptionsTest, UsageErrors) {
    const struct {
        std::vector<std::string> args;
        const char* message;  // part of the error text
    } cases[] = {
        {{"--board"}, "--board needs a value"},
        {{"--csv"}, "--csv needs a value"},
        {{"--board="}, "--board needs a value"},
        {{"--board", "12345"}, "1 to 4 hexadecimal digits"},
        {{"--board", "00G1"}, "1 to 4 hexadecimal digits"},
        {{"--duration", "0"}, "positive number of seconds"},
        {{"--duration", "-3"}, "positive number of seconds"},
        {{"--duration", "soon"}, "positive number of seconds"},
        {{"--duration", "inf"}, "positive number of seconds"},
        {{"--database", "a", "--odbc", "b"}, "not both"},
        {{"--csv", "x", "--jsonl", "x"}, "same file"},
        {{"--board", "000A", "--board", "000B"}, "given twice"},
        {{"--frobnicate"}, "frobnicate"},
        {{"stray"}, "unexpected argument"},
    };
    for (const auto& c : cases) {
        const ParsedCommandLine p = Parse(c.args);
        EXPECT_EQ(p.action, Action::UsageError) << c.args.front();
        EXPECT_NE(p.text.find(c.message), std::string::npos) << p.text;
    }
}

TEST(LoggerOptionsTest, RunOptionsInBothSpellings) {
    const ParsedCommandLine p = Parse({"--board=00a", "--database", "/s/K.MDB", "--csv=/o/r.csv", "--jsonl",
                                       "/o/r.jsonl", "--metrics-dir=/m", "--duration", "2.5", "--quiet"});
    ASSERT_EQ(p.action, Action::Run) << p.text;
    EXPECT_EQ(p.options.board, "000A");
    EXPECT_EQ(p.options.databaseFile, "/s/K.MDB");
    EXPECT_EQ(p.options.csvFile, "/o/r.csv");
    EXPECT_EQ(p.options.jsonlFile, "/o/r.jsonl");
    EXPECT_EQ(p.options.metricsDir, "/m");
    EXPECT_DOUBLE_EQ(p.options.durationSeconds, 2.5);
    EXPECT_TRUE(p.options.quiet);

    const ParsedCommandLine defaults = Parse({});
    ASSERT_EQ(defaults.action, Action::Run);
    EXPECT_TRUE(defaults.options.board.empty());
    EXPECT_EQ(defaults.options.durationSeconds, 0);
}

TEST(LoggerOptionsTest, HelpAndVersion) {
    const ParsedCommandLine help = Parse({"--help"});
    ASSERT_EQ(help.action, Action::Help);
    for (const char* part : {"--board <PID>", "--metrics-dir <DIR>", "Exit status:", "2  usage error"})
        EXPECT_NE(help.text.find(part), std::string::npos) << part;
    const ParsedCommandLine version = Parse({"--version"});
    ASSERT_EQ(version.action, Action::Version);
    EXPECT_EQ(version.text.rfind("kestrane-logger ", 0), 0u);
}

TEST(LoggerOptionsTest, BoardPids) {
    EXPECT_EQ(NormalizeBoardPid("a"), "000A");
    EXPECT_EQ(NormalizeBoardPid("beef"), "BEEF");
    EXPECT_EQ(NormalizeBoardPid("000A"), "000A");
    EXPECT_FALSE(NormalizeBoardPid(""));
    EXPECT_FALSE(NormalizeBoardPid("0x0A"));
    EXPECT_FALSE(NormalizeBoardPid("00 A"));
}

}  // namespace
}  // namespace kestrane::logger

namespace kestrane::logger {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RowFileTest, AppendsAndNeverTruncatesOrRepeatsTheHeader) {
    const std::string path = "/tmp/kestrane-rowfile-" + std::to_string(::getpid()) + ".csv";
    ::unlink(path.c_str());
    const ReadingRow row{1796739388123, "000A", 1, "a,b", ReadingNumber{-0.5L, 1}, "V"};
    std::string error;
    {
        RowFile f;
        ASSERT_TRUE(f.Open(path, RowFormat::Csv, error)) << error;
        ASSERT_TRUE(f.Append(row));
    }
    {
        RowFile f;  // a second run appends below the first one's rows
        ASSERT_TRUE(f.Open(path, RowFormat::Csv, error)) << error;
        ASSERT_TRUE(f.Append(row));
    }
    EXPECT_EQ(Slurp(path), CsvHeader() + CsvRow(row) + CsvRow(row));
    ::unlink(path.c_str());

    RowFile missing;
    EXPECT_FALSE(missing.Open("/nonexistent-folder/r.jsonl", RowFormat::JsonLines, error));
    EXPECT_NE(error.find("/nonexistent-folder/r.jsonl"), std::string::npos);
    EXPECT_FALSE(missing.Append(row));
}

TEST(RowFileTest, AFailedRowSaysWhyAndLeavesNothingBehind) {
    const ReadingRow row{1796739388123, "000A", 1, "a", ReadingNumber{-0.5L, 1}, "V"};
    std::string error;
    RowFile closed;
    const LogWriteResult notOpen = closed.Append(row);
    EXPECT_EQ(notOpen.step, LogWriteStep::Open);
    EXPECT_EQ(notOpen.error, EBADF);

    // A full disk: the row is refused with ENOSPC (JSON Lines has no header
    // to fail at Open first).
    RowFile full;
    ASSERT_TRUE(full.Open("/dev/full", RowFormat::JsonLines, error)) << error;
    const LogWriteResult lost = full.Append(row);
    EXPECT_EQ(lost.step, LogWriteStep::Write);
    EXPECT_EQ(lost.error, ENOSPC);

    RowFile csvFull;
    EXPECT_FALSE(csvFull.Open("/dev/full", RowFormat::Csv, error));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
}

}  // namespace
}  // namespace kestrane::logger
