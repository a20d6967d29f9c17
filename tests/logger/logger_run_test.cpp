// The logger as a program, on the simulated bus with real SQLite settings:
// its log records against the client's, its CSV and JSON Lines rows, the
// alarm programs' environment, a board that leaves and comes back, the
// stop on SIGTERM and the exit statuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cmath>
#include <map>
#include <regex>
#include <sstream>

#include "logger_test_support.h"

namespace kestrane::test {
namespace {

constexpr const char* kChargerName = "Battery, \"main\"";

// A script that appends its KESTRANE_ variables to `out`, one block per run.
void WriteEnvScript(const std::string& script, const std::string& out) {
    WriteText(script, "#!/bin/sh\n{ env | grep '^KESTRANE_' | grep -v SIMULATION | sort; echo ---; } >> '" +
                          out + "'\n");
    fs::permissions(script, fs::perms::owner_all);
}

std::string SimFile(const std::string& channel6, const std::string& extra = "") {
    return "[device]\nproduct-id = 000A\n" + extra +
           "channel1 = 12.6\nchannel2 = 5\nchannel3 = 0.0375\nchannel5 = -11.95\nchannel6 = " + channel6 +
           "\n";
}

// Board 000A: channel 1 and 5 logged every second, 2 and 4 switched off,
// 3 a 50 A / 75 mV shunt, 6 with a high band 11.8..12.2 whose alarm and
// return run `script`.
BoardSettings Board(const std::string& logFolder, const std::string& script) {
    BoardSettings b;
    auto& ch = b.channels;
    ch[0] = PlainChannel(kChargerName, "4");
    ch[0].logEnabled = "YES";
    ch[0].logPath = logFolder;
    ch[0].logFileName = "ch1.log";
    ch[1] = PlainChannel("Off", "2");
    ch[1].enable = "NO";
    ch[2] = PlainChannel("Load", "2", "ADC");
    ch[2].amp = "50";
    ch[2].millivolt = "75";
    ch[3] = PlainChannel("Off too", "2");
    ch[3].enable = "NO";
    ch[4] = PlainChannel("Rail", "6");
    ch[4].logEnabled = "YES";
    ch[4].logPath = logFolder;
    ch[4].logFileName = "ch5.log";
    ch[5] = PlainChannel("Charger", "3");
    ch[5].highEnable = "ENABLED";
    ch[5].highTriggerMax = "12.2";
    ch[5].highTriggerMin = "11.8";
    ch[5].highTestEvery = "1 Secs";
    ch[5].highFile = script;
    ch[5].highNormFile = script;
    return b;
}

// One CSV record split by RFC 4180 (no line breaks inside fields here).
std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// The value part of every record of a log file, checking the record layout.
std::vector<std::string> RecordValues(const std::string& path) {
    static const std::regex record(R"(^\d\d [A-Z][a-z]{2} \d{4};\d\d:\d\d:\d\d [AP]M;(.*)$)");
    const std::string text = ReadText(path);
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << path << ": record without CR LF: " << text.substr(start);
            break;
        }
        const std::string line = text.substr(start, end - start);
        std::smatch m;
        if (std::regex_match(line, m, record))
            values.push_back(m[1]);
        else
            ADD_FAILURE() << path << ": bad record " << line;
        start = end + 2;
    }
    return values;
}

struct Expected {
    const char* name;
    const char* unit;
    double value;
    double tolerance;  // one count of the board, or of the shown precision
};
const std::map<int, Expected> kExpected = {
    {1, {kChargerName, "V", 12.6, 0.0001}},
    {3, {"Load", "A", 25.0, 0.01}},
    {5, {"Rail", "V", -11.95, 0.00003}},
};

class LoggerRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        fs::create_directories(dir_.File("config"));
        sim_ = dir_.File("board.sim");
        WriteText(sim_, SimFile("11 + sine(1.5, 4)"));
    }
    QProcessEnvironment Env() const { return ChildEnvironment(sim_, dir_.File("config")); }

    // The client installed with its settings, and the logger's own copy of
    // them: each logs into its own folder and starts its own alarm script.
    void InstallClientAndLogger() {
        WriteEnvScript(dir_.File("client-alarm.sh"), dir_.File("client-env.txt"));
        WriteEnvScript(dir_.File("logger-alarm.sh"), dir_.File("logger-env.txt"));
        InstallClient(dir_.path().string(),
                      {{"000A", Board(dir_.File("client-logs/"), dir_.File("client-alarm.sh"))}});
        MakeDatabase(dir_.File("logger.MDB"),
                     {{"000A", Board(dir_.File("logger-logs/"), dir_.File("logger-alarm.sh"))}});
    }

    TempDir dir_;
    std::string sim_;
};

TEST_F(LoggerRunTest, RecordsMatchTheClientAndRowsCarryTheReadings) {
    // The client with its installed settings, the logger with its own copy
    // that logs elsewhere; both poll the same simulated board at once.
    InstallClientAndLogger();
    fs::create_directories(dir_.File("metrics"));

    QProcess client, logger;
    // Each with its own runtime folder, as two users would be: each then
    // owns the board for itself and both log it.
    fs::create_directories(dir_.File("client-run"));
    QProcessEnvironment clientEnv = Env();
    clientEnv.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.File("client-run")));
    client.setProcessEnvironment(clientEnv);
    logger.setProcessEnvironment(Env());
    const int64_t startMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    client.start(QString::fromStdString(ClientProgram()), {"--connect", "--quit-after", "6"});
    logger.start(QString::fromStdString(LoggerProgram()),
                 {"--database", QString::fromStdString(dir_.File("logger.MDB")), "--board", "000A", "--csv",
                  QString::fromStdString(dir_.File("rows.csv")), "--jsonl",
                  QString::fromStdString(dir_.File("rows.jsonl")), "--metrics-dir",
                  QString::fromStdString(dir_.File("metrics")), "--duration", "6"});
    ASSERT_TRUE(logger.waitForFinished(20000));
    ASSERT_TRUE(client.waitForFinished(20000));
    EXPECT_EQ(logger.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(logger.exitCode(), 0) << logger.readAllStandardError().toStdString();
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();

    // Per-channel log files: the same records, at the same cadence.
    for (const char* name : {"ch1.log", "ch5.log"}) {
        const auto mine = RecordValues(dir_.File("logger-logs/" + std::string(name)));
        const auto theirs = RecordValues(dir_.File("client-logs/" + std::string(name)));
        EXPECT_GE(mine.size(), 4u) << name;
        EXPECT_LE(mine.size(), 7u) << name;
        EXPECT_LE(std::abs(static_cast<int>(mine.size()) - static_cast<int>(theirs.size())), 1) << name;
        // Both took their first record after the first polls: the same texts.
        for (std::size_t i = 0; i < std::min(mine.size(), theirs.size()); ++i)
            EXPECT_EQ(mine[i], theirs[i]) << name;
    }
    const auto ch1 = RecordValues(dir_.File("logger-logs/ch1.log"));
    ASSERT_FALSE(ch1.empty());
    EXPECT_EQ(ch1.back(), "+ 12.6000");

    // CSV: header, then rows of the enabled channels only, values within a count.
    const auto csv = ReadLines(dir_.File("rows.csv"));
    ASSERT_GT(csv.size(), 1u);
    EXPECT_EQ(csv[0], "time,board,channel,name,value,unit");
    static const std::regex iso(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)");
    std::map<int, int> rowsPerChannel;
    for (std::size_t i = 1; i < csv.size(); ++i) {
        const auto f = SplitCsv(csv[i]);
        ASSERT_EQ(f.size(), 6u) << csv[i];
        EXPECT_TRUE(std::regex_match(f[0], iso)) << f[0];
        EXPECT_EQ(f[1], "000A");
        const int channel = std::stoi(f[2]);
        ++rowsPerChannel[channel];
        EXPECT_EQ(f[4].find(' '), std::string::npos) << "blank in value " << f[4];
        const auto it = kExpected.find(channel);
        if (it == kExpected.end()) continue;
        EXPECT_EQ(f[3], it->second.name);
        EXPECT_EQ(f[5], it->second.unit);
        EXPECT_NEAR(std::stod(f[4]), it->second.value, it->second.tolerance) << csv[i];
    }
    EXPECT_EQ(rowsPerChannel.count(2), 0u) << "switched-off channel has rows";
    EXPECT_EQ(rowsPerChannel.count(4), 0u);
    for (int ch : {1, 3, 5, 6}) EXPECT_GE(rowsPerChannel[ch], 10) << "channel " << ch;

    // JSON Lines: the same rows, each a JSON object with a number value.
    const auto jsonl = ReadLines(dir_.File("rows.jsonl"));
    EXPECT_EQ(jsonl.size(), csv.size() - 1);
    for (const auto& line : jsonl) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        const QJsonObject o = doc.object();
        EXPECT_EQ(o.value("board").toString(), "000A");
        EXPECT_TRUE(o.value("value").isDouble()) << line;
        const int channel = o.value("channel").toInt();
        const auto it = kExpected.find(channel);
        if (it == kExpected.end()) continue;
        EXPECT_EQ(o.value("name").toString().toStdString(), it->second.name);
        EXPECT_EQ(o.value("unit").toString().toStdString(), it->second.unit);
        EXPECT_NEAR(o.value("value").toDouble(), it->second.value, it->second.tolerance);
        const auto time = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
        ASSERT_TRUE(time.isValid()) << line;
        EXPECT_GE(time.toMSecsSinceEpoch(), startMs - 1000);
    }

    // The metrics file: the logger stopped on purpose, so the file is gone
    // rather than telling of a lost board.
    EXPECT_FALSE(fs::exists(dir_.File("metrics/kestrane-000A.prom")));

    // Alarm programs of both programs ran with the alarm's context; the
    // sine crosses 12.2 and comes back below 11.8 within the run.
    for (const char* file : {"logger-env.txt", "client-env.txt"}) {
        ASSERT_TRUE(WaitFor(
            [&] { return ReadText(dir_.File(file)).find("KESTRANE_EVENT=return") != std::string::npos; },
            3000))
            << file << ":\n"
            << ReadText(dir_.File(file));
        const std::string env = ReadText(dir_.File(file));
        for (const char* line : {"KESTRANE_BOARD=000A\n", "KESTRANE_CHANNEL=6\n", "KESTRANE_NAME=Charger\n",
                                 "KESTRANE_BAND=high\n", "KESTRANE_EVENT=alarm\n"})
            EXPECT_NE(env.find(line), std::string::npos) << file << " lacks " << line << env;
        std::smatch m;
        std::string rest = env;
        while (std::regex_search(
            rest, m, std::regex(R"(KESTRANE_EVENT=(\w+)\nKESTRANE_NAME=.*\nKESTRANE_VALUE=(.*)\n)"))) {
            const double v = std::stod(m[2]);
            if (m[1] == "alarm") {
                EXPECT_GT(v, 12.2) << file;
            } else {
                EXPECT_LT(v, 11.8) << file;
            }
            rest = m.suffix();
        }
    }
}

TEST_F(LoggerRunTest, BoardLeavingAndReturningLeavesAGapAndResumes) {
    // Channel 6 held above its band: with "1 Secs" the alarm repeats every
    // second or two while the board answers, and must not while it is gone.
    WriteText(sim_, SimFile("13", "vanish-after = 60\n"));
    WriteEnvScript(dir_.File("alarm.sh"), dir_.File("env.txt"));
    MakeDatabase(dir_.File("s.MDB"), {{"000A", Board(dir_.File("logs/"), dir_.File("alarm.sh"))}});
    fs::create_directories(dir_.File("metrics"));
    const std::string prom = dir_.File("metrics/kestrane-000A.prom");

    QProcess logger;
    logger.setProcessEnvironment(Env());
    logger.start(
        QString::fromStdString(LoggerProgram()),
        {"--database", QString::fromStdString(dir_.File("s.MDB")), "--csv",
         QString::fromStdString(dir_.File("r.csv")), "--jsonl", QString::fromStdString(dir_.File("r.jsonl")),
         "--metrics-dir", QString::fromStdString(dir_.File("metrics"))});
    ASSERT_TRUE(logger.waitForStarted(5000));
    auto connectedIs = [&](int v) {
        return ReadText(prom).find("kestrane_board_connected{board=\"000A\"} " + std::to_string(v)) !=
               std::string::npos;
    };
    ASSERT_TRUE(WaitFor([&] { return connectedIs(1); }, 5000));
    // 60 exchanges at 20 per second: gone after about three seconds.
    ASSERT_TRUE(WaitFor([&] { return connectedIs(0); }, 10000)) << ReadText(prom);
    EXPECT_EQ(ReadText(prom).find("kestrane_channel_value{"), std::string::npos) << "stale value served";
    EXPECT_EQ(ReadText(prom).find("kestrane_channel_volts{"), std::string::npos) << "stale value served";
    EXPECT_NE(ReadText(prom).find("kestrane_board_lost_total{board=\"000A\"} 1\n"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto rowsAtLoss = ReadLines(dir_.File("r.csv")).size();
    const auto jsonAtLoss = ReadLines(dir_.File("r.jsonl")).size();
    const auto recordsAtLoss = ReadText(dir_.File("logs/ch1.log")).size();
    const auto alarmsAtLoss = ReadText(dir_.File("env.txt")).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_EQ(ReadLines(dir_.File("r.csv")).size(), rowsAtLoss) << "rows while the board was gone";
    EXPECT_EQ(ReadLines(dir_.File("r.jsonl")).size(), jsonAtLoss);
    EXPECT_EQ(ReadText(dir_.File("logs/ch1.log")).size(), recordsAtLoss)
        << "records while the board was gone";
    EXPECT_EQ(ReadText(dir_.File("env.txt")).size(), alarmsAtLoss) << "alarms while the board was gone";
    EXPECT_GT(alarmsAtLoss, 0u);

    // The board comes back: polling, rows and records resume on their own.
    WriteText(sim_, SimFile("13"));
    ASSERT_TRUE(WaitFor([&] { return connectedIs(1); }, 8000)) << ReadText(prom);
    ASSERT_TRUE(WaitFor([&] { return ReadLines(dir_.File("r.csv")).size() > rowsAtLoss + 6; }, 4000));
    ASSERT_TRUE(WaitFor([&] { return ReadText(dir_.File("logs/ch1.log")).size() > recordsAtLoss; }, 4000));
    // The counters kept the outage: the board lost once, the retries
    // failed, and channel 6's repeated alarms were counted.
    ASSERT_TRUE(
        WaitFor([&] { return ReadText(prom).find("kestrane_channel_volts{") != std::string::npos; }, 4000));
    const std::string counters = ReadText(prom);
    EXPECT_NE(counters.find("kestrane_board_lost_total{board=\"000A\"} 1\n"), std::string::npos) << counters;
    EXPECT_EQ(counters.find("kestrane_exchanges_total{board=\"000A\",result=\"failed\"} 0\n"),
              std::string::npos)
        << counters;
    const std::regex repeats(
        R"(kestrane_alarm_events_total\{board="000A",channel="6",band="high",event="alarm"\} ([0-9]+))");
    std::smatch repeated;
    ASSERT_TRUE(std::regex_search(counters, repeated, repeats)) << counters;
    EXPECT_GE(std::stoi(repeated[1].str()), 2) << counters;

    // SIGTERM: exit 0 with every line whole.
    logger.terminate();
    ASSERT_TRUE(logger.waitForFinished(5000));
    EXPECT_EQ(logger.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(logger.exitCode(), 0);
    const std::string err = logger.readAllStandardError().toStdString();
    EXPECT_NE(err.find("board 000A does not answer"), std::string::npos) << err;
    EXPECT_NE(err.find("board 000A is back"), std::string::npos) << err;
    for (const std::string file : {"r.csv", "r.jsonl", "logs/ch1.log", "logs/ch5.log"}) {
        const std::string text = ReadText(dir_.File(file));
        ASSERT_FALSE(text.empty()) << file;
        EXPECT_EQ(text.back(), '\n') << file << " ends inside a line";
    }
    // The gap shows in the rows' times.
    const auto csv = ReadLines(dir_.File("r.csv"));
    qint64 widest = 0, previous = 0;
    for (std::size_t i = 1; i < csv.size(); ++i) {
        const auto t = QDateTime::fromString(QString::fromStdString(SplitCsv(csv[i])[0]), Qt::ISODateWithMs);
        ASSERT_TRUE(t.isValid()) << csv[i];
        if (previous != 0) widest = std::max(widest, t.toMSecsSinceEpoch() - previous);
        previous = t.toMSecsSinceEpoch();
    }
    EXPECT_GE(widest, 3500);
}

// One board, one owner: the logger that connects first logs and alarms; a
// client started on the same board only shows the readings and names the
// owner; a second logger is refused with one line.
TEST_F(LoggerRunTest, TheFirstProgramOwnsTheBoard) {
    InstallClientAndLogger();

    QProcess logger, client, second;
    for (QProcess* p : {&logger, &client, &second}) p->setProcessEnvironment(Env());
    const QStringList loggerArgs{
        "--database", QString::fromStdString(dir_.File("logger.MDB")), "--board", "000A", "--duration", "7"};
    logger.start(QString::fromStdString(LoggerProgram()), loggerArgs);
    ASSERT_TRUE(logger.waitForStarted(5000));
    ASSERT_TRUE(WaitFor([&] { return !ReadText(dir_.File("logger-logs/ch1.log")).empty(); }, 8000));
    client.start(QString::fromStdString(ClientProgram()), {"--connect", "--quit-after", "4"});
    EXPECT_EQ(RunToEnd(second, LoggerProgram(), loggerArgs, 10000), 1);
    const std::string refusal = second.readAllStandardError().toStdString();
    EXPECT_EQ(refusal, "kestrane-logger: board 000A is already logged by kestrane-logger (process " +
                           std::to_string(logger.processId()) + ")\n");
    ASSERT_TRUE(client.waitForFinished(20000));
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    ASSERT_TRUE(logger.waitForFinished(20000));
    EXPECT_EQ(logger.exitCode(), 0);

    // Every record and alarm once: the logger's; the client viewed only.
    const auto records = RecordValues(dir_.File("logger-logs/ch1.log"));
    EXPECT_GE(records.size(), 5u);
    EXPECT_LE(records.size(), 8u);
    EXPECT_FALSE(fs::exists(dir_.File("client-logs/ch1.log")));
    EXPECT_FALSE(ReadText(dir_.File("logger-env.txt")).empty());
    EXPECT_FALSE(fs::exists(dir_.File("client-env.txt")));
}

// Nothing is lost without a word: a log folder whose name a file has taken
// and a pipe whose reader went away are told once per channel and cause
// while the failure lasts, once more when writing works again, and afresh
// when it fails again.
TEST_F(LoggerRunTest, LostRecordsAndRowsAreToldOncePerCauseAndAfterRecovery) {
    const std::string taken = dir_.File("taken");
    WriteText(taken, "");
    WriteEnvScript(dir_.File("alarm.sh"), dir_.File("env.txt"));
    MakeDatabase(dir_.File("s.MDB"), {{"000A", Board(taken + "/", dir_.File("alarm.sh"))}});
    const std::string pipe = dir_.File("rows.jsonl");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);

    QProcess logger;
    logger.setProcessEnvironment(Env());
    logger.setReadChannel(QProcess::StandardError);
    logger.start(
        QString::fromStdString(LoggerProgram()),
        {"--database", QString::fromStdString(dir_.File("s.MDB")), "--jsonl", QString::fromStdString(pipe)});
    ASSERT_TRUE(logger.waitForStarted(5000));
    std::string said;
    std::size_t rowBytes = 0;
    // Keeps the pipe drained (a full one would hold the logger) and collects stderr.
    auto pump = [&] {
        char buf[4096];
        for (ssize_t n; reader >= 0 && (n = ::read(reader, buf, sizeof buf)) > 0;)
            rowBytes += static_cast<std::size_t>(n);
        while (logger.waitForReadyRead(5)) said += logger.readAll().toStdString();
    };
    auto count = [&](const std::string& pattern) {
        pump();
        const std::regex re(pattern);
        std::size_t n = 0;
        std::istringstream lines(said);
        for (std::string line; std::getline(lines, line);) n += std::regex_match(line, re) ? 1 : 0;
        return n;
    };
    auto waitFor = [&](const std::string& pattern, std::size_t n) {
        return WaitFor([&] { return count(pattern) >= n; }, 10000);
    };
    const std::string ch1Lost = "^Channel 1 log: cannot .*/taken/ch1\\.log: .*; records are being lost$";
    const std::string ch5Lost = "^Channel 5 log: cannot .*/taken/ch5\\.log: .*; records are being lost$";
    const std::string rowsLost =
        "^JSON Lines rows: cannot write a record to " + pipe + ": Broken pipe; records are being lost$";
    ASSERT_TRUE(waitFor(ch1Lost, 1)) << said;
    ASSERT_TRUE(waitFor(ch5Lost, 1)) << said;
    ASSERT_TRUE(WaitFor([&] { return pump(), rowBytes > 0; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // records fail again, same cause
    EXPECT_EQ(count(ch1Lost), 1u) << said;
    EXPECT_EQ(count(ch5Lost), 1u) << said;
    EXPECT_EQ(count("^JSON Lines rows: .*"), 0u) << said;

    ::close(reader);
    reader = -1;
    ASSERT_TRUE(waitFor(rowsLost, 1)) << said;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // dozens of rows later
    EXPECT_EQ(count(rowsLost), 1u) << said;

    fs::remove(taken);
    fs::create_directory(taken);
    reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(
        waitFor("^Channel 1 log: writing .*/taken/ch1\\.log works again; \\d+ records? (was|were) lost$", 1))
        << said;
    EXPECT_TRUE(
        waitFor("^Channel 5 log: writing .*/taken/ch5\\.log works again; \\d+ records? (was|were) lost$", 1))
        << said;
    EXPECT_TRUE(
        waitFor("^JSON Lines rows: writing " + pipe + " works again; [1-9]\\d* records? (was|were) lost$", 1))
        << said;

    // A new failure after the recovery is told again.
    fs::remove_all(taken);
    WriteText(taken, "");
    EXPECT_TRUE(waitFor(ch1Lost, 2)) << said;
    logger.terminate();
    ASSERT_TRUE(logger.waitForFinished(10000));
    EXPECT_EQ(logger.exitCode(), 0) << said;
    pump();
    ::close(reader);
    EXPECT_EQ(count(ch1Lost), 2u) << said;
    EXPECT_EQ(count(rowsLost), 1u) << said;
}

TEST_F(LoggerRunTest, ClientSelectsItsBoardAndKeepsTheMetricsFile) {
    // Two boards, 000A the default: "--board 000B --connect" polls 000B.
    WriteText(sim_, SimFile("11") + "[device]\nproduct-id = 000B\nchannel1 = 3.3\n");
    fs::create_directories(dir_.File("app"));
    fs::create_directories(dir_.File("config/Morvane"));
    fs::create_directories(dir_.File("metrics"));
    WriteText(dir_.File("config/Morvane/Kestrane.conf"),
              "[AppPaths]\nKestrane=" + (dir_.File("app/Kestrane")) + "\n");
    BoardSettings b = Board(dir_.File("b-logs/"), "");
    b.channels[0].vmName = "Logic";
    MakeDatabase(dir_.File("app/Kestrane.MDB"), {{"000A", Board(dir_.File("a-logs/"), "")}, {"000B", b}});

    QProcessEnvironment env = Env();
    env.insert("KESTRANE_METRICS_DIR", QString::fromStdString(dir_.File("metrics")));
    QProcess client;
    client.setProcessEnvironment(env);
    client.start(QString::fromStdString(ClientProgram()),
                 {"--board", "000b", "--connect", "--quit-after", "4"});
    ASSERT_TRUE(client.waitForStarted(5000));
    // While it runs, the client's file shows board 000B's reading.
    const std::string prom = dir_.File("metrics/kestrane-000B.prom");
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string m = ReadText(prom);
            return m.find(
                       "kestrane_channel_value{board=\"000B\",channel=\"1\",name=\"Logic\",unit=\"V\"} "
                       "3.3000\n") != std::string::npos &&
                   m.find("kestrane_board_connected{board=\"000B\"} 1\n") != std::string::npos;
        },
        8000))
        << ReadText(prom);
    // The client counts its exchanges and readings too.
    const std::string running = ReadText(prom);
    EXPECT_TRUE(std::regex_search(
        running, std::regex(R"(kestrane_exchanges_total\{board="000B",result="ok"\} [1-9])")))
        << running;
    EXPECT_TRUE(std::regex_search(running,
                                  std::regex(R"(kestrane_readings_total\{board="000B",channel="1"\} [1-9])")))
        << running;
    ASSERT_TRUE(client.waitForFinished(20000));
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    EXPECT_FALSE(fs::exists(dir_.File("a-logs/ch1.log")));
    const auto records = RecordValues(dir_.File("b-logs/ch1.log"));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back(), "+ 3.3000");
    // The client ended: the file is gone, so no connected board is claimed.
    EXPECT_FALSE(fs::exists(prom));

    QProcess unknown;
    unknown.setProcessEnvironment(Env());
    EXPECT_EQ(RunToEnd(unknown, ClientProgram(), {"--board", "000C"}, 20000), 1);
    EXPECT_NE(unknown.readAllStandardError().indexOf("000C is not registered"), -1);
}

TEST_F(LoggerRunTest, ExitStatuses) {
    MakeDatabase(dir_.File("s.MDB"), {{"000A", Board(dir_.File("logs/"), "")}});
    const QString db = QString::fromStdString(dir_.File("s.MDB"));
    const struct {
        QStringList args;
        int status;
        const char* message;  // on stderr
    } cases[] = {
        {{"--board"}, 2, "--board needs a value"},
        {{"--duration", "x"}, 2, "--duration"},
        {{"--database", QString::fromStdString(dir_.File("missing.MDB")), "--duration", "1"}, 1, "not found"},
        {{"--database", db, "--board", "000B", "--duration", "1"}, 1, "000B is not registered"},
        {{"--duration", "1"}, 1, "not installed"},  // no install record in this configuration
        {{"--database", db, "--csv", QString::fromStdString(dir_.File("no/such/dir/r.csv")), "--duration",
          "1"},
         1,
         "r.csv"},
        {{"--database", db, "--duration", "1", "--quiet"}, 0, ""},
    };
    for (const auto& c : cases) {
        QProcess p;
        p.setProcessEnvironment(Env());
        EXPECT_EQ(RunToEnd(p, LoggerProgram(), c.args, 10000), c.status) << c.args.join(' ').toStdString();
        const std::string err = p.readAllStandardError().toStdString();
        if (*c.message) {
            EXPECT_NE(err.find(c.message), std::string::npos) << err;
        } else {
            EXPECT_EQ(err, "");
        }
    }
    QProcess help;
    EXPECT_EQ(RunToEnd(help, LoggerProgram(), {"--help"}, 5000), 0);
    EXPECT_NE(help.readAllStandardOutput().indexOf("Exit status:"), -1);
}

// Settings from a shared database (--odbc) may not start a program that
// others could have changed; the reading is still logged and the refusal
// said once. The user's own database file changes nothing.
TEST_F(LoggerRunTest, SharedSettingsRefuseAnAlarmProgramOthersMayWrite) {
    WriteText(sim_, SimFile("13"));  // channel 6 held in alarm, repeating every second or two
    const std::string script = dir_.File("alarm.sh");
    const std::string env = dir_.File("env.txt");
    WriteEnvScript(script, env);
    const std::string db = dir_.File("s.MDB");
    MakeDatabase(db, {{"000A", Board(dir_.File("logs/"), script)}});
    const QString shared = QString::fromStdString("DRIVER=SQLite3;Database=" + db);
    const QString own = QString::fromStdString(db);
    struct Case {
        const char* what;
        QStringList settings;
        fs::perms mode;
        bool runs;
    } cases[] = {
        {"shared, group may write", {"--odbc", shared}, fs::perms::owner_all | fs::perms::group_all, false},
        {"shared, owner only", {"--odbc", shared}, fs::perms::owner_all, true},
        {"own file, group may write", {"--database", own}, fs::perms::owner_all | fs::perms::group_all, true},
    };
    for (const Case& c : cases) {
        fs::permissions(script, c.mode);
        fs::remove(env);
        fs::remove(dir_.File("r.csv"));
        QProcess logger;
        logger.setProcessEnvironment(Env());
        EXPECT_EQ(RunToEnd(logger, LoggerProgram(),
                           c.settings + QStringList{"--csv", QString::fromStdString(dir_.File("r.csv")),
                                                    "--duration", "4", "--quiet"},
                           20000),
                  0)
            << c.what;
        const std::string err = logger.readAllStandardError().toStdString();
        EXPECT_GT(ReadLines(dir_.File("r.csv")).size(), 10u) << c.what;
        EXPECT_EQ(fs::exists(env), c.runs) << c.what << "\n" << err;
        if (c.runs) {
            EXPECT_EQ(err, "") << c.what;
        } else {
            EXPECT_EQ(err, "kestrane-logger: alarm program " + script +
                               " not started: the settings database is shared and " + script +
                               " is writable by group or others\n")
                << c.what;
        }
    }
}

// The client with KESTRANE_ODBC: the same refusal, once, on stderr (the
// status bar shows it too); its own file's readings are still logged.
TEST_F(LoggerRunTest, ClientWithSharedSettingsRefusesAnAlarmProgramOthersMayWrite) {
    WriteText(sim_, SimFile("13"));
    fs::create_directories(dir_.File("app"));
    fs::create_directories(dir_.File("config/Morvane"));
    WriteText(dir_.File("config/Morvane/Kestrane.conf"),
              "[AppPaths]\nKestrane=" + (dir_.File("app/Kestrane")) + "\n");
    const std::string script = dir_.File("alarm.sh");
    WriteEnvScript(script, dir_.File("env.txt"));
    fs::permissions(script, fs::perms::owner_all | fs::perms::others_write);
    // The install record's database must exist; the settings come from the lab's.
    MakeDatabase(dir_.File("app/Kestrane.MDB"), {{"000A", Board(dir_.File("own-logs/"), "")}});
    const std::string db = dir_.File("lab.MDB");
    MakeDatabase(db, {{"000A", Board(dir_.File("logs/"), script)}});
    QProcessEnvironment env = Env();
    env.insert("KESTRANE_ODBC", QString::fromStdString("DRIVER=SQLite3;Database=" + db));
    QProcess client;
    client.setProcessEnvironment(env);
    EXPECT_EQ(RunToEnd(client, ClientProgram(), {"--connect", "--quit-after", "4"}, 30000), 0);
    const std::string err = client.readAllStandardError().toStdString();
    const std::string refusal = "Kestrane: alarm program " + script +
                                " not started: the settings database is shared and " + script +
                                " is writable by group or others\n";
    EXPECT_NE(err.find(refusal), std::string::npos) << err;
    EXPECT_EQ(err.find(refusal), err.rfind(refusal)) << "said more than once\n" << err;
    EXPECT_FALSE(fs::exists(dir_.File("env.txt")));
    EXPECT_FALSE(RecordValues(dir_.File("logs/ch1.log")).empty());
}

}  // namespace
}  // namespace kestrane::test
