#include "logger_test_support.h"

#include <QDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QStandardPaths>

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

void InstallClient(const std::string& root,
                   const std::vector<std::pair<std::string, BoardSettings>>& boards) {
    fs::create_directories(root + "/app");
    fs::create_directories(root + "/config/Morvane");
    WriteText(root + "/config/Morvane/Kestrane.conf", "[AppPaths]\nKestrane=" + root + "/app/Kestrane\n");
    MakeDatabase(root + "/app/Kestrane.MDB", boards);
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
    // A private runtime folder: the board owner locks of one test run
    // never meet those of another, and no sound server is found there.
    QDir().mkpath(QString::fromStdString(configHome));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(configHome));
    return env;
}

std::string LoggerProgram() { return KESTRANE_LOGGER_PROGRAM; }
std::string ClientProgram() { return KESTRANE_CLIENT_PROGRAM; }

std::string FindProgram(const char* program) {
    return QStandardPaths::findExecutable(QString::fromLatin1(program)).toStdString();
}

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

std::string HttpGet(int port, const std::string& target) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    // A server that accepts and never answers must not hang the test.
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string response;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
                response.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    const std::size_t body = response.find("\r\n\r\n");
    if (response.rfind("HTTP/1.0 200", 0) != 0 && response.rfind("HTTP/1.1 200", 0) != 0) return {};
    return body == std::string::npos ? std::string() : response.substr(body + 4);
}

std::string UrlEncoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' ||
            c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

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
