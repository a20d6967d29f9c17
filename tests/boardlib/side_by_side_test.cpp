// The client and the logger polling one simulated board side by side for
// minutes, as the README invites: with exchanges that take a few
// milliseconds each, their exchange locks meet all the time, and neither
// may lose an exchange. The logger, first on the board, owns its logging
// and keeps its records at their cadence with the board's value; the
// client only views, and would say on stderr if the board stopped
// answering it. KESTRANE_SIDE_BY_SIDE_SECONDS sets the length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "logger_test_support.h"

namespace kestrane::test {
namespace {

int Seconds() {
    const char* text = std::getenv("KESTRANE_SIDE_BY_SIDE_SECONDS");
    const int n = text != nullptr ? std::atoi(text) : 0;
    return n > 0 ? n : 150;
}

BoardSettings Board(const std::string& logFolder) {
    BoardSettings b;
    for (int i = 0; i < 6; ++i) {
        auto& ch = b.channels[static_cast<std::size_t>(i)];
        ch = PlainChannel(("Ch" + std::to_string(i + 1)).c_str(), "4");
        ch.logEnabled = "YES";
        ch.logPath = logFolder;
        ch.logFileName = "ch" + std::to_string(i + 1) + ".log";
    }
    return b;
}

// The record times (seconds of the day) and values of a log file.
struct Records {
    std::vector<int> seconds;
    std::vector<std::string> values;
};

Records ReadRecords(const std::string& path) {
    static const std::regex record(R"(^\d\d [A-Z][a-z]{2} \d{4};(\d\d):(\d\d):(\d\d) ([AP])M;(.*)$)");
    Records r;
    for (const std::string& line : ReadLines(path)) {
        std::smatch m;
        if (!std::regex_match(line, m, record)) {
            ADD_FAILURE() << path << ": bad record " << line;
            continue;
        }
        const int hour = std::stoi(m[1]) % 12 + (m[4] == "P" ? 12 : 0);
        r.seconds.push_back(hour * 3600 + std::stoi(m[2]) * 60 + std::stoi(m[3]));
        r.values.push_back(m[5]);
    }
    return r;
}

TEST(SideBySide, ClientAndLoggerShareOneBoardWithoutAFailedExchange) {
    const int seconds = Seconds();
    TempDir dir("kestrane-side");
    ASSERT_FALSE(dir.path().empty());
    fs::create_directories(dir.File("config/Morvane"));
    fs::create_directories(dir.File("app"));
    fs::create_directories(dir.File("run"));
    fs::permissions(dir.File("run"), fs::perms::owner_all);
    WriteText(dir.File("config/Morvane/Kestrane.conf"),
              "[AppPaths]\nKestrane=" + dir.File("app/Kestrane") + "\n");
    // Every exchange holds the lock for 4 ms, as a USB exchange does.
    const std::string sim = dir.File("board.sim");
    WriteText(sim,
              "[device]\nproduct-id = 000A\nanswer-delay-ms = 4\nchannel1 = 12.6\nchannel2 = 5\n"
              "channel3 = -3.3\nchannel4 = 1.25\nchannel5 = -11.95\nchannel6 = 0.5\n");
    MakeDatabase(dir.File("app/Kestrane.MDB"), {{"000A", Board(dir.File("client-logs/"))}});
    MakeDatabase(dir.File("logger.MDB"), {{"000A", Board(dir.File("logger-logs/"))}});

    QProcessEnvironment env = ChildEnvironment(sim, dir.File("config"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.File("run")));
    QProcess client, logger;
    client.setProcessEnvironment(env);
    logger.setProcessEnvironment(env);
    const QString duration = QString::number(seconds);
    logger.start(QString::fromStdString(LoggerProgram()),
                 {"--database", QString::fromStdString(dir.File("logger.MDB")), "--board", "000A", "--csv",
                  QString::fromStdString(dir.File("rows.csv")), "--duration", duration});
    // The logger owns the board once it writes; the client then joins as a
    // viewer that recovers from a failed exchange and says so.
    ASSERT_TRUE(WaitFor([&] { return !ReadLines(dir.File("rows.csv")).empty(); }, 10000));
    client.start(QString::fromStdString(ClientProgram()),
                 {"--connect", "--reconnect", "--quit-after", QString::number(seconds - 5)});
    const int waitMs = (seconds + 60) * 1000;
    ASSERT_TRUE(logger.waitForFinished(waitMs));
    ASSERT_TRUE(client.waitForFinished(waitMs));
    const std::string loggerSaid = logger.readAllStandardError().toStdString();
    EXPECT_EQ(logger.exitCode(), 0) << loggerSaid;
    const std::string clientSaid = client.readAllStandardError().toStdString();
    EXPECT_EQ(client.exitCode(), 0) << clientSaid;
    EXPECT_EQ(clientSaid.find(" lost at "), std::string::npos) << clientSaid;
    // The logger says so the moment an exchange fails.
    EXPECT_EQ(loggerSaid.find("does not answer"), std::string::npos) << loggerSaid;
    // Both locks really met: the simulated board's lock file exists.
    bool lockFile = false;
    for (const auto& entry : fs::recursive_directory_iterator(dir.File("run")))
        lockFile |= entry.path().extension() == ".lock";
    EXPECT_TRUE(lockFile);

    const char* expected[] = {"+ 12.6000", "+ 5.0000", "- 3.3000", "+ 1.2500", "- 11.9500", "+ 0.5000"};
    for (int ch = 1; ch <= 6; ++ch) {
        // Each record is written once, by the board's owner.
        const std::string viewerFile = dir.File("client-logs/ch" + std::to_string(ch) + ".log");
        EXPECT_TRUE(ReadLines(viewerFile).empty()) << viewerFile;
    }
    for (const char* program : {"logger"}) {
        for (int ch = 1; ch <= 6; ++ch) {
            const std::string file =
                dir.File(std::string(program) + "-logs/ch" + std::to_string(ch) + ".log");
            const Records r = ReadRecords(file);
            // One record a second, from the first reading to the end.
            EXPECT_GE(static_cast<int>(r.values.size()), seconds - 4) << file;
            for (const std::string& v : r.values) EXPECT_EQ(v, expected[ch - 1]) << file;
            // No stretch without records: a failed exchange would end the
            // client and stop the logger's polling for its retry period.
            for (std::size_t i = 1; i < r.seconds.size(); ++i) {
                const int gap = (r.seconds[i] - r.seconds[i - 1] + 86400) % 86400;
                EXPECT_LE(gap, 2) << file << " record " << i;
            }
        }
    }
    const auto rows = ReadLines(dir.File("rows.csv"));
    EXPECT_GE(static_cast<int>(rows.size()), seconds * 3) << "the logger's rows";
}

}  // namespace
}  // namespace kestrane::test
