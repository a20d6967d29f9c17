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
    std::string installFolder;   // empty: the default folder
    bool connect = false;        // press Connect once the window shows
    std::string screenshotPath;  // save the window as PNG before quitting
    double quitAfterSeconds = 0; // 0: run until the user closes
    bool help = false;
    std::string error;           // set when the options cannot be used
};

// Parses the options after the program name. Unknown options are an error
// rather than ignored, so a typo in a demo script is noticed.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

inline constexpr const char* kUsageText =
    "Usage: Kestrane [--install [FOLDER]] [--connect] [--screenshot PATH] [--quit-after SECONDS]\n"
    "  --install [FOLDER]    install the program, its libraries and an empty settings\n"
    "                        database into FOLDER (default ~/.local/lib/kestrane)\n"
    "  --connect             connect to the selected board once the window shows\n"
    "  --screenshot PATH     save a PNG of the main window before quitting\n"
    "  --quit-after SECONDS  close the main window after SECONDS\n";

int RunKestrane(int argc, char** argv);

}  // namespace kestrane::ui
