#include "logger_test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "settings/installer.h"
#include "settings/settings_database.h"
#include "settings/statements.h"

namespace kestrane::test {

ChannelSettings PlainChannel(const char* name, const char* precision, const char* mode) {
    ChannelSettings c = MeasuringChannel("YES", name, "1", precision, mode);
    c.logInterval = "1 Secs";
    return c;
}

void MakeDatabase(const std::string& path, const std::vector<std::pair<std::string, BoardSettings>>& boards) {
    std::string error;
    ASSERT_TRUE(CreateSettingsDatabase(path, error)) << error;
    SettingsDatabase db;
    ASSERT_TRUE(db.Open(DefaultConnectionString(path)).ok());
    bool first = true;
    for (const auto& [pid, settings] : boards) {
        ASSERT_EQ(db.Execute(InsertStatement(kBoardVid, pid)), ExecStatus::Ok) << db.LastDiagnostic();
        if (first) {
            ASSERT_EQ(db.Execute(SetDefaultStatement(db.IdentifierQuote(), kBoardVid, pid)), ExecStatus::Ok);
        }
        first = false;
        for (int n = 1; n <= kChannelCount; ++n) {
            ASSERT_TRUE(db.SaveOptions(n, pid, settings)) << db.LastDiagnostic();
            ASSERT_TRUE(db.SaveFilter(n, pid, settings));
            ASSERT_TRUE(db.SaveLogging(n, pid, settings));
        }
    }
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

QProcessEnvironment ChildEnvironment(const std::string& simFile, const std::string& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRANE_SIMULATION", QString::fromStdString(simFile));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("KESTRANE_ODBC");
    env.remove("KESTRANE_METRICS_DIR");
    // No sound server: alarm sounds are skipped, as on a headless machine.
    env.remove("PULSE_SERVER");
    env.remove("XDG_RUNTIME_DIR");
    return env;
}

std::string LoggerProgram() { return KESTRANE_LOGGER_PROGRAM; }
std::string ClientProgram() { return KESTRANE_CLIENT_PROGRAM; }

int RunToEnd(QProcess& process, const std::string& program, const QStringList& args, int timeoutMs) {
    process.start(QString::fromStdString(program), args);
    if (!process.waitForStarted(5000)) return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return -1;
    }
    if (process.exitStatus() != QProcess::NormalExit) return -1;
    return process.exitCode();
}

}  // namespace kestrane::test
