// Shared pieces of the logger tests: a temporary folder with a simulated
// board file and a real SQLite settings database, the logger and client
// programs run as child processes, and small file readers.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/channel_model.h"
#include "temp_dir.h"

namespace kestrane::test {

namespace fs = std::filesystem;

// A voltmeter channel as the demo settings make them: enabled, adjustment
// 1, no alarm bands, no filter, no logging.
ChannelSettings PlainChannel(const char* name, const char* precision, const char* mode = "VDC");

// Makes a SQLite settings database at `path` with the boards given, the
// first one the default; fails the test when it cannot.
void MakeDatabase(const std::string& path, const std::vector<std::pair<std::string, BoardSettings>>& boards);

// Installs the client under `root`: its install record in root/config
// (the configHome of ChildEnvironment) and its settings database
// root/app/Kestrane.MDB with the boards given.
void InstallClient(const std::string& root, const std::vector<std::pair<std::string, BoardSettings>>& boards);

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
// The file's lines without their line ends ("\n", and a "\r" before it).
std::vector<std::string> ReadLines(const std::string& path);

// Waits up to `timeoutMs` for `done`, checking every 50 ms.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

// The environment of the child programs: the simulated bus `simFile`, an
// own configuration folder and no ODBC override.
QProcessEnvironment ChildEnvironment(const std::string& simFile, const std::string& configHome);

std::string LoggerProgram();
std::string ClientProgram();

// Runs a program to its end (at most `timeoutMs`) and returns its exit
// status; -1 when it crashed or did not end.
int RunToEnd(QProcess& process, const std::string& program, const QStringList& args, int timeoutMs);

// The full path of a program on PATH; empty when there is none.
std::string FindProgram(const char* program);

// A loopback port nobody listens on now; 0 when none could be had.
int FreeLoopbackPort();

// GET `target` ("/metrics", "/api/v1/query?query=up") from 127.0.0.1:port
// over plain HTTP/1.0: the body of a 200 answer, or empty.
std::string HttpGet(int port, const std::string& target);

// `text` percent-encoded for a URL's query part.
std::string UrlEncoded(const std::string& text);

}  // namespace kestrane::test
