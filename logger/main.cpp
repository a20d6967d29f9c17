// kestrane-logger: polls a Kestrane board without a window (see
// logger_service.h); the command line is logger_options.h.
#include <QCoreApplication>

#include <cstdio>

#include "logger/logger_options.h"
#include "logger/logger_service.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrane-logger"));
    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments()) args.push_back(a.toStdString());
    using kestrane::logger::ParsedCommandLine;
    const ParsedCommandLine parsed = kestrane::logger::ParseLoggerCommandLine(args);
    switch (parsed.action) {
        case ParsedCommandLine::Action::Help:
        case ParsedCommandLine::Action::Version:
            std::fputs(parsed.text.c_str(), stdout);
            return kestrane::logger::kExitOk;
        case ParsedCommandLine::Action::UsageError:
            std::fprintf(stderr, "kestrane-logger: %s\nTry 'kestrane-logger --help' for more information.\n",
                         parsed.text.c_str());
            return kestrane::logger::kExitUsage;
        case ParsedCommandLine::Action::Run:
            break;
    }
    return kestrane::logger::RunLogger(parsed.options);
}
