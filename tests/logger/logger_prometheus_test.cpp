// The fleet kit on a real Prometheus: Debian's node exporter serves the
// logger's file, Prometheus scrapes it every second and evaluates the
// shipped alerting rules (only their `for:` times shortened). A simulated
// board goes away and comes back: the series arrive, the disconnected
// alert fires during the absence and resolves after the return. Then every
// expression of the shipped dashboard, its variables filled in, must
// return data.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>

#include "logger_test_support.h"

namespace kestrane::test {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string SimFile(const std::string& fault) {
    return "[device]\nproduct-id = 000A\nfault = " + fault + "\nchannel1 = 12.6\nchannel2 = 0.0375\n";
}

// Everything the tests share: three processes and their files, started
// once for the suite.
struct Fleet {
    TempDir dir{"kestrane-prometheus"};
    std::string sim;
    int exporterPort = 0;
    int prometheusPort = 0;
    QProcess exporter, prometheus, logger;
    std::string skipReason;

    ~Fleet() {
        for (QProcess* p : {&logger, &prometheus, &exporter}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
    }

    // The JSON answer of a Prometheus API call; null when it failed.
    QJsonObject Api(const std::string& target) const {
        const std::string body = HttpGet(prometheusPort, target);
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body));
        const QJsonObject o = doc.object();
        return o.value("status").toString() == "success" ? o : QJsonObject();
    }
    // The instant vector of `expr`; empty when there is none or it failed.
    QJsonArray Query(const std::string& expr) const {
        return Api("/api/v1/query?query=" + UrlEncoded(expr))
            .value("data")
            .toObject()
            .value("result")
            .toArray();
    }
    // The state of the active alert `name` ("pending", "firing"), or "".
    std::string AlertState(const std::string& name) const {
        for (const QJsonValue a : Api("/api/v1/alerts").value("data").toObject().value("alerts").toArray()) {
            const QJsonObject alert = a.toObject();
            if (alert.value("labels").toObject().value("alertname").toString().toStdString() == name)
                return alert.value("state").toString().toStdString();
        }
        return {};
    }
    std::string Logs() const {
        return "exporter:\n" + ReadText(dir.File("exporter.log")) + "\nprometheus:\n" +
               ReadText(dir.File("prometheus.log")) + "\nlogger:\n" + ReadText(dir.File("logger.log"));
    }
};

std::unique_ptr<Fleet> gFleet;

// The shipped rules with every `for:` shortened to a few seconds.
std::string ShortenedRules() {
    return std::regex_replace(ReadText(KESTRANE_RULES_FILE), std::regex(R"(for: *\S+)"), "for: 3s");
}

class LoggerPrometheusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gFleet = std::make_unique<Fleet>();
        Fleet& f = *gFleet;
        const std::string exporter = FindProgram("prometheus-node-exporter");
        const std::string prometheus = FindProgram("prometheus");
        if (exporter.empty() || prometheus.empty()) {
            f.skipReason = "prometheus and prometheus-node-exporter are not installed";
            return;
        }
        f.sim = f.dir.File("board.sim");
        WriteText(f.sim, SimFile("none"));
        BoardSettings b;
        b.channels[0] = PlainChannel("Battery", "3");
        b.channels[0].highEnable = "ENABLED";  // 12.6 is past 12.5: in alarm from the start
        b.channels[0].highTriggerMax = "12.5";
        b.channels[0].highTriggerMin = "12";
        b.channels[1] = PlainChannel("Load", "2", "ADC");
        b.channels[1].amp = "50";
        b.channels[1].millivolt = "75";
        for (int i = 2; i < kChannelCount; ++i) {
            b.channels[static_cast<std::size_t>(i)] = PlainChannel("Off", "2");
            b.channels[static_cast<std::size_t>(i)].enable = "NO";
        }
        MakeDatabase(f.dir.File("s.MDB"), {{"000A", b}});
        fs::create_directories(f.dir.File("textfiles"));
        fs::create_directories(f.dir.File("tsdb"));

        f.exporterPort = FreeLoopbackPort();
        f.prometheusPort = FreeLoopbackPort();
        ASSERT_NE(f.exporterPort, 0);
        ASSERT_NE(f.prometheusPort, 0);
        ASSERT_NE(f.exporterPort, f.prometheusPort);
        WriteText(f.dir.File("rules.yml"), ShortenedRules());
        WriteText(f.dir.File("prometheus.yml"),
                  "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                  "rule_files:\n  - " +
                      f.dir.File("rules.yml") +
                      "\nscrape_configs:\n  - job_name: node\n    static_configs:\n"
                      "      - targets: ['127.0.0.1:" +
                      std::to_string(f.exporterPort) + "']\n");

        f.exporter.setStandardOutputFile(QString::fromStdString(f.dir.File("exporter.log")));
        f.exporter.setStandardErrorFile(QString::fromStdString(f.dir.File("exporter.log")));
        f.exporter.start(
            QString::fromStdString(exporter),
            {QString("--web.listen-address=127.0.0.1:%1").arg(f.exporterPort), "--collector.disable-defaults",
             "--collector.textfile",
             QString::fromStdString("--collector.textfile.directory=" + f.dir.File("textfiles"))});
        f.prometheus.setStandardOutputFile(QString::fromStdString(f.dir.File("prometheus.log")));
        f.prometheus.setStandardErrorFile(QString::fromStdString(f.dir.File("prometheus.log")));
        f.prometheus.start(QString::fromStdString(prometheus),
                           {QString::fromStdString("--config.file=" + f.dir.File("prometheus.yml")),
                            QString::fromStdString("--storage.tsdb.path=" + f.dir.File("tsdb")),
                            QString("--web.listen-address=127.0.0.1:%1").arg(f.prometheusPort)});
        f.logger.setProcessEnvironment(ChildEnvironment(f.sim, f.dir.File("config")));
        f.logger.setStandardOutputFile(QString::fromStdString(f.dir.File("logger.log")));
        f.logger.setStandardErrorFile(QString::fromStdString(f.dir.File("logger.log")));
        f.logger.start(QString::fromStdString(LoggerProgram()),
                       {"--database", QString::fromStdString(f.dir.File("s.MDB")), "--metrics-dir",
                        QString::fromStdString(f.dir.File("textfiles"))});
        ASSERT_TRUE(f.exporter.waitForStarted(5000));
        ASSERT_TRUE(f.prometheus.waitForStarted(5000));
        ASSERT_TRUE(f.logger.waitForStarted(5000));
        ASSERT_TRUE(WaitFor([&] { return !HttpGet(f.prometheusPort, "/-/ready").empty(); }, 30000))
            << f.Logs();
    }
    static void TearDownTestSuite() { gFleet.reset(); }

    void SetUp() override {
        ASSERT_TRUE(gFleet);
        if (!gFleet->skipReason.empty()) GTEST_SKIP() << gFleet->skipReason;
        ASSERT_FALSE(gFleet->sim.empty());
    }

    // Waits until Prometheus holds the board's series.
    static bool SeriesArrived(int timeoutMs) {
        return WaitFor(
            [] { return !gFleet->Query(R"(kestrane_channel_volts{board="000A",channel="1"})").empty(); },
            timeoutMs);
    }
};

TEST_F(LoggerPrometheusTest, DisconnectedAlertFiresDuringAnAbsenceAndResolvesAfterTheReturn) {
    Fleet& f = *gFleet;
    const auto start = Clock::now();
    ASSERT_TRUE(SeriesArrived(30000)) << f.Logs();
    std::printf("series arrived %.1f s after Prometheus was ready\n", SecondsSince(start));
    // The series arrive with their values, names joined from the info series.
    const QJsonArray volts = f.Query(
        R"(kestrane_channel_volts * on (instance, job, board, channel) group_left (name) kestrane_channel_info)");
    ASSERT_EQ(volts.size(), 1) << f.Logs();
    EXPECT_EQ(volts[0].toObject().value("metric").toObject().value("name").toString(), "Battery");
    EXPECT_NEAR(volts[0].toObject().value("value").toArray()[1].toString().toDouble(), 12.6, 0.001);
    ASSERT_TRUE(
        WaitFor([&] { return !f.Query(R"(kestrane_channel_amperes{channel="2"} > 24.9)").empty(); }, 5000));
    EXPECT_EQ(f.Query(R"(kestrane_board_connected{board="000A"} == 1)").size(), 1);
    EXPECT_EQ(f.Query(R"(kestrane_board_info{product="KESTRANEUNIT"})").size(), 1);
    EXPECT_EQ(f.Query(R"(node_textfile_mtime_seconds{file=~".*kestrane-000A\\.prom"})").size(), 1);
    EXPECT_EQ(f.AlertState("KestraneBoardDisconnected"), "");
    // Channel 1 is past its high band from the start: that alert fires.
    ASSERT_TRUE(WaitFor([&] { return f.AlertState("KestraneChannelInAlarm") == "firing"; }, 15000))
        << f.Logs();

    // The board goes away.
    WriteText(f.sim, SimFile("absent"));
    const auto gone = Clock::now();
    std::string state;
    bool sawPending = false;
    ASSERT_TRUE(WaitFor(
        [&] {
            state = f.AlertState("KestraneBoardDisconnected");
            sawPending |= state == "pending";
            return state == "firing";
        },
        30000))
        << state << "\n"
        << f.Logs();
    const double firedAfter = SecondsSince(gone);
    EXPECT_TRUE(sawPending) << "the alert skipped its for: time";
    EXPECT_EQ(f.Query(R"(kestrane_board_connected{board="000A"} == 0)").size(), 1);
    EXPECT_TRUE(f.Query(R"(kestrane_channel_volts{board="000A"})").empty()) << "a lost board's value served";
    // Only the board is gone: no stale readings alert, the file is written.
    EXPECT_EQ(f.AlertState("KestraneReadingsStale"), "");
    EXPECT_EQ(f.AlertState("KestraneLoggerNotWriting"), "");

    // It comes back.
    WriteText(f.sim, SimFile("none"));
    const auto back = Clock::now();
    ASSERT_TRUE(WaitFor([&] { return f.AlertState("KestraneBoardDisconnected").empty(); }, 30000))
        << f.Logs();
    const double resolvedAfter = SecondsSince(back);
    std::printf("disconnected alert fired %.1f s into the absence, resolved %.1f s after the return\n",
                firedAfter, resolvedAfter);
    EXPECT_EQ(f.Query(R"(kestrane_board_connected{board="000A"} == 1)").size(), 1);
    ASSERT_TRUE(SeriesArrived(10000));
    EXPECT_EQ(f.Query(R"(kestrane_board_lost_total{board="000A"} == 1)").size(), 1) << f.Logs();
    EXPECT_EQ(f.Query(R"(kestrane_exchanges_total{board="000A",result="failed"} > 0)").size(), 1);
}

// Grafana is not at hand: each panel's expression, with the dashboard's
// variables filled in as Grafana would, runs as a query and must answer
// with data; each variable's label query must offer the test's values.
TEST_F(LoggerPrometheusTest, EveryDashboardExpressionReturnsData) {
    Fleet& f = *gFleet;
    ASSERT_TRUE(SeriesArrived(30000)) << f.Logs();
    // Rates need two samples in their window.
    ASSERT_TRUE(WaitFor([&] { return !f.Query("rate(kestrane_readings_total[30s])").empty(); }, 10000));
    const QJsonObject dashboard =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(KESTRANE_DASHBOARD_FILE))).object();
    ASSERT_FALSE(dashboard.isEmpty()) << "the dashboard is not a JSON object";
    const std::string instance = "127.0.0.1:" + std::to_string(f.exporterPort);
    // Multi-value variables become regular expressions: "(1|2)".
    const std::vector<std::pair<std::string, std::string>> values = {
        {"$instance", instance},
        {"$board", "000A"},
        {"$channel", "(1|2)"},
        {"$__rate_interval", "30s"},
    };
    const auto fill = [&](std::string expr) {
        for (const auto& [name, value] : values)
            for (std::size_t at; (at = expr.find(name)) != std::string::npos;)
                expr.replace(at, name.size(), value);
        return expr;
    };

    std::set<std::string> variables;
    for (const QJsonValue v : dashboard.value("templating").toObject().value("list").toArray()) {
        const QJsonObject var = v.toObject();
        const std::string name = var.value("name").toString().toStdString();
        variables.insert(name);
        if (var.value("type").toString() != "query") continue;
        // label_values(SELECTOR, LABEL): the label's values among the series.
        const std::string query = var.value("definition").toString().toStdString();
        std::smatch m;
        ASSERT_TRUE(std::regex_match(query, m, std::regex(R"(label_values\((.+), *(\w+)\))"))) << query;
        const std::string target =
            "/api/v1/label/" + m[2].str() + "/values?match[]=" + UrlEncoded(fill(m[1].str()));
        const QJsonArray offered = f.Api(target).value("data").toArray();
        const std::string wanted = name == "channel" ? "1" : name == "board" ? "000A" : instance;
        EXPECT_TRUE(offered.contains(QString::fromStdString(wanted))) << name << ": " << query;
    }
    for (const char* name : {"board", "channel"}) EXPECT_EQ(variables.count(name), 1u) << name;

    int expressions = 0;
    for (const QJsonValue p : dashboard.value("panels").toArray()) {
        const QJsonObject panel = p.toObject();
        for (const QJsonValue t : panel.value("targets").toArray()) {
            const std::string expr = fill(t.toObject().value("expr").toString().toStdString());
            ++expressions;
            // After the board's return its channels come back one poll
            // after another, and a scrape may fall between two of them:
            // give each expression a few scrapes to find its series.
            QJsonObject answer;
            WaitFor(
                [&] {
                    answer = f.Api("/api/v1/query?query=" + UrlEncoded(expr));
                    return !answer.value("data").toObject().value("result").toArray().isEmpty();
                },
                10000);
            ASSERT_FALSE(answer.isEmpty()) << panel.value("title").toString().toStdString() << ": " << expr;
            EXPECT_FALSE(answer.value("data").toObject().value("result").toArray().isEmpty())
                << panel.value("title").toString().toStdString() << ": no data for " << expr;
        }
    }
    EXPECT_GE(expressions, 8);
}

}  // namespace
}  // namespace kestrane::test
