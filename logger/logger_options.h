// The logger's command line: which settings and board, which open-data
// outputs, how long to run. Parsed with QCommandLineParser into a plain
// record, so tests check every usage error without starting a program.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrane::logger {

inline constexpr int kExitOk = 0;
inline constexpr int kExitSettings = 1;  // settings cannot be opened, board not registered, output refused
inline constexpr int kExitUsage = 2;

struct LoggerOptions {
    std::string board;         // four upper-case hex digits; empty: the default board
    std::string databaseFile;  // --database
    std::string odbc;          // --odbc connection string
    std::string csvFile;
    std::string jsonlFile;
    std::string metricsDir;
    double durationSeconds = 0;  // 0: until SIGTERM or SIGINT
    bool quiet = false;
};

struct ParsedCommandLine {
    enum class Action { Run, Help, Version, UsageError } action = Action::Run;
    LoggerOptions options;
    std::string text;  // help or version text for stdout, or the usage error
};

// `args` includes the program name first, as QCoreApplication::arguments().
ParsedCommandLine ParseLoggerCommandLine(const std::vector<std::string>& args);

// The board argument as a registered PID: 1 to 4 hexadecimal digits of any
// case, padded to four and upper-cased ("a" -> "000A"); nothing otherwise.
std::optional<std::string> NormalizeBoardPid(const std::string& text);

}  // namespace kestrane::logger
