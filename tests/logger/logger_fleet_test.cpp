// The fleet side for real: Debian's node exporter serves the logger's
// metrics file through its textfile collector and a scrape shows the
// series and values; promtool accepts the file; systemd accepts the unit.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "logger_test_support.h"

namespace kestrane::test {
namespace {

// GET /metrics: the body, or empty when it fails.
std::string Scrape(int port) { return HttpGet(port, "/metrics"); }

class LoggerFleetTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = dir_.File("board.sim");
        WriteText(sim_, "[device]\nproduct-id = 000A\nchannel1 = 12.6\nchannel2 = -0.5\n");
        BoardSettings b;
        b.channels[0] = PlainChannel("Battery \"A\", rack\\1", "2");
        b.channels[0].highEnable = "ENABLED";
        b.channels[0].highTriggerMax = "12.5";
        b.channels[0].highTriggerMin = "12";
        b.channels[1] = PlainChannel("Probe", "3");
        for (int i = 2; i < kChannelCount; ++i) {
            b.channels[static_cast<std::size_t>(i)] = PlainChannel("Off", "2");
            b.channels[static_cast<std::size_t>(i)].enable = "NO";
        }
        MakeDatabase(dir_.File("s.MDB"), {{"000A", b}});
        std::filesystem::create_directories(dir_.File("textfiles"));
    }
    void TearDown() override {
        for (QProcess* p : {&exporter_, &logger_}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }

    TempDir dir_;
    std::string sim_;
    QProcess logger_, exporter_;
};

TEST_F(LoggerFleetTest, NodeExporterServesTheMetrics) {
    const std::string exporter = FindProgram("prometheus-node-exporter");
    if (exporter.empty())
        GTEST_SKIP()
            << "prometheus-node-exporter is not installed (apt-get install prometheus-node-exporter)";

    logger_.setProcessEnvironment(ChildEnvironment(sim_, dir_.File("config")));
    logger_.start(QString::fromStdString(LoggerProgram()),
                  {"--database", QString::fromStdString(dir_.File("s.MDB")), "--metrics-dir",
                   QString::fromStdString(dir_.File("textfiles")), "--duration", "30", "--quiet"});
    const std::string prom = dir_.File("textfiles/kestrane-000A.prom");
    ASSERT_TRUE(WaitFor(
        [&] {
            return ReadText(prom).find("kestrane_channel_volts{board=\"000A\",channel=\"2\"}") !=
                   std::string::npos;
        },
        8000))
        << ReadText(prom);

    const std::string promtool = FindProgram("promtool");
    if (!promtool.empty()) {
        QProcess check;
        check.setStandardInputFile(QString::fromStdString(prom));
        EXPECT_EQ(RunToEnd(check, promtool, {"check", "metrics"}, 10000), 0)
            << check.readAllStandardOutput().toStdString() << check.readAllStandardError().toStdString();
    } else {
        std::printf("promtool not installed: metrics lint skipped\n");
    }

    const int port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    exporter_.start(QString::fromStdString(exporter),
                    {QString("--web.listen-address=127.0.0.1:%1").arg(port), "--collector.disable-defaults",
                     "--collector.textfile",
                     QString::fromStdString("--collector.textfile.directory=" + (dir_.File("textfiles")))});
    ASSERT_TRUE(exporter_.waitForStarted(5000));
    std::string body;
    ASSERT_TRUE(WaitFor([&] { return !(body = Scrape(port)).empty(); }, 10000))
        << exporter_.readAllStandardError().toStdString();

    const char* expected[] = {
        R"(kestrane_board_connected\{board="000A"\} 1)",
        R"(kestrane_channel_volts\{board="000A",channel="1"\} 12\.6)",
        R"(kestrane_channel_volts\{board="000A",channel="2"\} -0\.5)",
        R"(kestrane_channel_info\{board="000A",channel="1",name="Battery \\"A\\", rack\\\\1",unit="V"\} 1)",
        R"(kestrane_channel_info\{board="000A",channel="2",name="Probe",unit="V"\} 1)",
        // The old series stays for one release.
        R"(kestrane_channel_value\{board="000A",channel="1",name="Battery \\"A\\", rack\\\\1",unit="V"\} 12\.6)",
        R"(kestrane_channel_value\{board="000A",channel="2",name="Probe",unit="V"\} -0\.5)",
        R"(kestrane_alarm_active\{band="high",board="000A",channel="1"\} 1)",
        R"(kestrane_alarm_events_total\{band="high",board="000A",channel="1",event="alarm"\} 1)",
        R"(kestrane_alarm_events_total\{band="high",board="000A",channel="1",event="return"\} 0)",
        R"(kestrane_build_info\{version="\d+\.\d+\.\d+"\} 1)",
        R"(kestrane_board_info\{board="000A",firmware="KESTRANE FW 1\.00",manufacturer="Morvane",product="KESTRANEUNIT"\} 1)",
        R"(kestrane_exchanges_total\{board="000A",result="ok"\} [1-9]\d*)",
        R"(kestrane_exchanges_total\{board="000A",result="failed"\} 0)",
        R"(kestrane_readings_total\{board="000A",channel="1"\} [1-9]\d*)",
        R"(kestrane_board_lost_total\{board="000A"\} 0)",
        R"(kestrane_last_reading_timestamp_seconds\{board="000A"\} \d\.\d+e\+09)",
        R"(node_textfile_scrape_error 0)",
    };
    for (const char* pattern : expected)
        EXPECT_TRUE(std::regex_search(body, std::regex(pattern))) << pattern << "\n" << body;
    // The exporter refuses a whole file it cannot parse; no temporary file
    // of ours may be picked up either.
    EXPECT_EQ(body.find(".tmp"), std::string::npos);

    // A clean stop takes the file away, so the board is not served as lost.
    logger_.terminate();
    ASSERT_TRUE(logger_.waitForFinished(5000));
    EXPECT_EQ(logger_.exitCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(prom));
    ASSERT_TRUE(WaitFor([&] { return Scrape(port).find("kestrane_") == std::string::npos; }, 5000));
}

TEST_F(LoggerFleetTest, SystemdAcceptsTheUnit) {
    const std::string analyze = FindProgram("systemd-analyze");
    if (analyze.empty()) GTEST_SKIP() << "systemd-analyze is not installed";
    // An instance of the template, running the program just built.
    std::string unit = ReadText(KESTRANE_LOGGER_UNIT);
    ASSERT_NE(unit.find("ExecStart=/usr/bin/kestrane-logger "), std::string::npos);
    unit.replace(unit.find("/usr/bin/kestrane-logger"), std::strlen("/usr/bin/kestrane-logger"),
                 LoggerProgram());
    const std::string path = dir_.File("kestrane-logger@000A.service");
    WriteText(path, unit);
    QProcess verify;
    const int status = RunToEnd(verify, analyze, {"verify", QString::fromStdString(path)}, 30000);
    const std::string output =
        verify.readAllStandardOutput().toStdString() + verify.readAllStandardError().toStdString();
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.find("kestrane-logger@000A.service:"), std::string::npos) << output;
}

}  // namespace
}  // namespace kestrane::test
