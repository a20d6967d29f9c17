// Pure start-up helpers: what the install record allows, program directory,
// credits ticker, the product ID of the board named by the selector text,
// and the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "client/core/startup_logic.h"
#include "ui/app.h"
#include "ui/session_names.h"

namespace kestrane::ui {
namespace {

TEST(StartupLogic, ProgramDirectoryEndsWithTheSeparator) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"/opt/kestrane/Kestrane", "/opt/kestrane/"},
        {"/Kestrane", "/"},
        {"Kestrane", ""},
        {"", ""},
        {"/a/b/", "/a/b/"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProgramDirectory(c.in), c.out) << c.in;
}

TEST(StartupLogic, InstallCheckFollowsTheRecordAndTheFilesItNames) {
    using Files = std::vector<std::string>;
    const struct {
        const char* name;
        std::optional<std::string> recorded;
        bool fromSystemInstall;
        Files present;
        InstallCheck expected;
    } cases[] = {
        {"no record, build copy", std::nullopt, false, {}, InstallCheck::NotInstalled},
        {"empty record, build copy", std::string(), false, {}, InstallCheck::NotInstalled},
        {"no record, packaged program", std::nullopt, true, {}, InstallCheck::SetUpForUser},
        {"empty record, packaged program", std::string(), true, {}, InstallCheck::SetUpForUser},
        {"installed",
         std::string("/a/kestrane"),
         false,
         {"/a/kestrane", "/a/kestrane.MDB"},
         InstallCheck::Installed},
        // A copy started by hand goes by the database; from the menu the
        // record's program must be there too.
        {"database without program",
         std::string("/a/kestrane"),
         false,
         {"/a/kestrane.MDB"},
         InstallCheck::Installed},
        {"database without program, packaged program",
         std::string("/a/kestrane"),
         true,
         {"/a/kestrane.MDB"},
         InstallCheck::NotInstalled},
        {"program without database",
         std::string("/a/kestrane"),
         false,
         {"/a/kestrane"},
         InstallCheck::DatabaseMissing},
        // A stale record is never replaced by a silent new installation.
        {"record of a removed install", std::string("/gone/kestrane"), true, {}, InstallCheck::NotInstalled},
        {"record of a removed install, build copy",
         std::string("/gone/Kestrane.exe"),
         false,
         {},
         InstallCheck::NotInstalled},
    };
    for (const auto& c : cases) {
        const auto exists = [&c](const std::string& path) {
            return std::find(c.present.begin(), c.present.end(), path) != c.present.end();
        };
        EXPECT_EQ(CheckInstallation(c.recorded, c.fromSystemInstall, exists), c.expected) << c.name;
    }
}

TEST(StartupLogic, CreditsRunOneToFiveAndNeverShowLineZeroAgain) {
    int counter = 0;
    std::vector<int> shown;
    for (int tick = 0; tick < 12; ++tick) shown.push_back(CreditsTick(counter));
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2}));
    counter = -7;  // a corrupted counter restarts the run instead of indexing out
    EXPECT_EQ(CreditsTick(counter), 1);
    counter = 42;
    EXPECT_EQ(CreditsTick(counter), 1);
}

TEST(StartupLogic, CreditLinesBeginWithThreeBlanksAndCarryTheYear) {
    const struct {
        int year;
        const char* tail;
    } cases[] = {{2026, " 2026"}, {987, " 0987"}, {123456, " 9999"}, {-5, " 0000"}};
    for (const auto& c : cases) {
        const auto lines = CreditLines(c.year);
        for (const auto& line : lines) EXPECT_EQ(line.rfind("   ", 0), 0u) << line;
        const std::string& last = lines.back();
        EXPECT_EQ(last.substr(last.size() - 5), c.tail) << c.year;
        EXPECT_EQ(last.size(), CreditLines(2026).back().size());  // length never changes
    }
}

TEST(StartupLogic, ProductIdIsThePidReadAsHexadecimal) {
    const struct {
        const char* pid;
        unsigned id;
    } cases[] = {
        {"000A", 0x000A},
        {"ffff", 0xFFFF},
        {"1", 1},
        {"", 0},
        {"00-1", 0},
        {"G000", 0},
        {"00\xE2\x82\xAC"
         "1",
         0},  // a non-ASCII character matches no board
    };
    for (const auto& c : cases) EXPECT_EQ(ProductIdFromPid(c.pid), c.id) << c.pid;
}

TEST(StartupLogic, CommandLineOptions) {
    const struct {
        std::vector<std::string> args;
        bool install, connect;
        const char* folder;
        const char* shot;
        double quit;
        bool error;
    } cases[] = {
        {{}, false, false, "", "", 0, false},
        {{"--install"}, true, false, "", "", 0, false},
        {{"--install", "/opt/k"}, true, false, "/opt/k", "", 0, false},
        {{"--install", "--connect"}, true, true, "", "", 0, false},
        {{"--connect", "--screenshot", "/tmp/a.png", "--quit-after", "2.5"},
         false,
         true,
         "",
         "/tmp/a.png",
         2.5,
         false},
        {{"--screenshot", "/tmp/a.png"}, false, false, "", "/tmp/a.png", 3, false},  // quits by itself
        {{"--screenshot"}, false, false, "", "", 0, true},
        {{"--quit-after"}, false, false, "", "", 0, true},
        {{"--quit-after", "0"}, false, false, "", "", 0, true},
        {{"--quit-after", "-1"}, false, false, "", "", 0, true},
        {{"--quit-after", "5s"}, false, false, "", "", 0, true},
        {{"--quit-after", "nan"}, false, false, "", "", 0, true},
        {{"--quit-after", "1e999"}, false, false, "", "", 0, true},
        {{"--conect"}, false, false, "", "", 0, true},
        {{"--install=/opt/k"}, true, false, "/opt/k", "", 0, false},
        {{"--quit-after=2"}, false, false, "", "", 2, false},
        {{"/opt/k"}, false, false, "", "", 0, true},  // a folder only goes with --install
        {{"--install", "/a", "/b"}, false, false, "", "", 0, true},
        {{"--quit-after", "1", "--quit-after", "2"}, false, false, "", "", 0, true},
    };
    for (const auto& c : cases) {
        const CommandLine cl = ParseCommandLine(c.args);
        std::string joined;
        for (auto& a : c.args) joined += a + " ";
        EXPECT_EQ(!cl.error.empty(), c.error) << joined << cl.error;
        if (c.error) continue;
        EXPECT_EQ(cl.install, c.install) << joined;
        EXPECT_EQ(cl.connect, c.connect) << joined;
        EXPECT_EQ(cl.installFolder, c.folder) << joined;
        EXPECT_EQ(cl.screenshotPath, c.shot) << joined;
        EXPECT_DOUBLE_EQ(cl.quitAfterSeconds, c.quit) << joined;
    }
}

TEST(StartupLogic, BoardSelectionOnTheCommandLine) {
    const struct {
        std::vector<std::string> args;
        const char* board;  // nullptr: usage error
    } cases[] = {
        {{"--board", "000A"}, "000A"}, {{"--board=b", "--connect"}, "000B"}, {{"--board", "beef"}, "BEEF"},
        {{"--board"}, nullptr},        {{"--board", "12345"}, nullptr},      {{"--board", "0x1"}, nullptr},
        {{"--board", ""}, nullptr},
    };
    for (const auto& c : cases) {
        const CommandLine cl = ParseCommandLine(c.args);
        if (c.board == nullptr) {
            EXPECT_FALSE(cl.error.empty()) << c.args.back();
            EXPECT_NE(cl.error.find("--board"), std::string::npos) << cl.error;
        } else {
            EXPECT_EQ(cl.error, "") << c.args.front();
            EXPECT_EQ(cl.board, c.board);
        }
    }
    EXPECT_EQ(ParseCommandLine({"--board"}).error, "--board needs a value");
    const CommandLine help = ParseCommandLine({"--help"});
    EXPECT_TRUE(help.help);
    EXPECT_NE(help.helpText.find("--board <PID>"), std::string::npos) << help.helpText;
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}

TEST(StartupLogic, ReconnectOnTheCommandLine) {
    const struct {
        std::vector<std::string> args;
        bool reconnect;
        bool error;
    } cases[] = {
        {{}, false, false},
        {{"--board", "000A", "--connect", "--reconnect"}, true, false},
        {{"--reconnect"}, true, false},
        {{"--reconnect", "--reconnect"}, true, false},  // a switch given twice is still on
        {{"--reconnect=yes"}, false, true},             // it takes no value
        {{"--reconect"}, false, true},
    };
    for (const auto& c : cases) {
        const CommandLine cl = ParseCommandLine(c.args);
        EXPECT_EQ(!cl.error.empty(), c.error) << cl.error;
        if (!c.error) {
            EXPECT_EQ(cl.reconnect, c.reconnect);
        }
    }
    EXPECT_NE(ParseCommandLine({"--help"}).helpText.find("--reconnect"), std::string::npos);
}

}  // namespace
}  // namespace kestrane::ui
