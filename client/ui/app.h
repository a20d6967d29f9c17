// The program's entry: command-line options, the one-shot install mode,
// and the run of the main window with its optional automation for demos
// (connect at once, take a screenshot, quit after a while).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrane::ui {

struct CommandLine {
    bool install = false;
    std::string installFolder;    // empty: the default folder
    bool connect = false;         // press Connect once the window shows
    bool reconnect = false;       // reconnect automatically for this run, whatever the stored choice
    std::string board;            // select this PID (four upper-case hex digits); empty: the default
    std::string screenshotPath;   // save the window as PNG before quitting
    double quitAfterSeconds = 0;  // 0: run until the user closes
    bool help = false;
    bool version = false;
    std::string helpText;  // for --help
    std::string error;     // set when the options cannot be used
};

// Parses the options after the program name; "--option value" and
// "--option=value" both work. Unknown options are an error rather than
// ignored, so a typo in a demo script is noticed.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The desktop entry's file name without ".desktop": the window's Wayland
// app ID. Under X11 the entry's StartupWMClass names the window class.
inline constexpr const char* kDesktopFileName = "com.morvane.Kestrane";

// Names the application to Qt and the desktop: its name, maker and desktop
// file name. Call once the QApplication exists.
void PrepareApplication();

// Exit status of a usage error.
inline constexpr int kUsageErrorStatus = 2;

int RunKestrane(int argc, char** argv);

}  // namespace kestrane::ui
