#include "logger/logger_options.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cmath>

#include "kestrane_version.h"

namespace kestrane::logger {
namespace {

constexpr const char* kDescription =
    "Polls a Kestrane voltmeter board without a window, exactly as the Kestrane client does:\n"
    "the same settings, conversion, alarm bands and per-channel log files. It can also write\n"
    "every reading as CSV or JSON Lines and keep a Prometheus metrics file for a node\n"
    "exporter's textfile collector.\n"
    "\n"
    "Exit status:\n"
    "  0  normal end: --duration elapsed, SIGTERM or SIGINT\n"
    "  1  the settings cannot be opened, the board is not registered, or an output file\n"
    "     cannot be opened\n"
    "  2  usage error";

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

std::optional<std::string> NormalizeBoardPid(const std::string& text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    std::string pid(4 - text.size(), '0');
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            pid += c;
        } else if (c >= 'a' && c <= 'f') {
            pid += static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'F') {
            pid += c;
        } else {
            return std::nullopt;
        }
    }
    return pid;
}

ParsedCommandLine ParseLoggerCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine out;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version("version", "Show the version and exit.");
    const QCommandLineOption board(
        "board", "Board to poll (product ID, e.g. 000A); default: the default board.", "PID");
    const QCommandLineOption database("database", "Settings database file (SQLite).", "FILE");
    const QCommandLineOption odbc("odbc", "Full ODBC connection string of the settings database.",
                                  "CONNECTION");
    const QCommandLineOption csv("csv", "Append one CSV row per reading to FILE.", "FILE");
    const QCommandLineOption jsonl("jsonl", "Append one JSON Lines row per reading to FILE.", "FILE");
    const QCommandLineOption metrics("metrics-dir",
                                     "Keep DIR/kestrane-<PID>.prom in the Prometheus text format.", "DIR");
    const QCommandLineOption duration("duration", "Stop after SECONDS and exit 0.", "SECONDS");
    const QCommandLineOption quiet("quiet", "Print only errors that end the program.");
    for (const auto* o :
         {&help, &version, &board, &database, &odbc, &csv, &jsonl, &metrics, &duration, &quiet})
        parser.addOption(*o);

    QStringList list;
    for (const auto& a : args) list << Q(a);
    if (list.isEmpty()) list << QStringLiteral("kestrane-logger");

    auto usage = [&out](const QString& message) {
        out.action = ParsedCommandLine::Action::UsageError;
        out.text = message.toStdString();
        return out;
    };
    if (!parser.parse(list)) {
        // "Missing value after '--board'." reads better as the house phrase.
        QString message = parser.errorText();
        if (message.startsWith(QStringLiteral("Missing value after '"))) {
            QString name = message.mid(21);
            name.chop(2);
            message = name + QStringLiteral(" needs a value");
        }
        return usage(message);
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        out.action = ParsedCommandLine::Action::Help;
        // The program's name, not the path it was started by, for help2man.
        QString text = parser.helpText();
        const qsizetype firstLineEnd = text.indexOf(QLatin1Char('\n'));
        text.replace(0, firstLineEnd, QStringLiteral("Usage: kestrane-logger [options]"));
        out.text = text.toStdString();
        return out;
    }
    if (parser.isSet(version)) {
        out.action = ParsedCommandLine::Action::Version;
        out.text = std::string("kestrane-logger ") + KESTRANE_VERSION_TEXT + "\n";
        return out;
    }
    for (const auto* o : {&board, &database, &odbc, &csv, &jsonl, &metrics, &duration}) {
        if (parser.values(*o).size() > 1)
            return usage(QStringLiteral("--%1 given twice").arg(o->names().first()));
        if (parser.isSet(*o) && parser.value(*o).isEmpty())
            return usage(QStringLiteral("--%1 needs a value").arg(o->names().first()));
    }
    LoggerOptions& o = out.options;
    if (parser.isSet(board)) {
        const auto pid = NormalizeBoardPid(parser.value(board).toStdString());
        if (!pid)
            return usage(QStringLiteral("--board needs a product ID of 1 to 4 hexadecimal digits, not \"%1\"")
                             .arg(parser.value(board)));
        o.board = *pid;
    }
    if (parser.isSet(database) && parser.isSet(odbc))
        return usage(QStringLiteral("give --database or --odbc, not both"));
    o.databaseFile = parser.value(database).toStdString();
    o.odbc = parser.value(odbc).toStdString();
    o.csvFile = parser.value(csv).toStdString();
    o.jsonlFile = parser.value(jsonl).toStdString();
    o.metricsDir = parser.value(metrics).toStdString();
    if (!o.csvFile.empty() && o.csvFile == o.jsonlFile)
        return usage(QStringLiteral("--csv and --jsonl name the same file"));
    if (parser.isSet(duration)) {
        bool ok = false;
        const double seconds = parser.value(duration).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 365.0 * 86400)
            return usage(QStringLiteral("--duration needs a positive number of seconds, not \"%1\"")
                             .arg(parser.value(duration)));
        o.durationSeconds = seconds;
    }
    o.quiet = parser.isSet(quiet);
    return out;
}

}  // namespace kestrane::logger
