// The commands of kestrane-xm, apart from the process entry so tests run
// them directly: argument parsing (GNU conventions through getopt_long) and
// rendering a module to a WAV file.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane::music::tool {

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

struct Command {
    enum Kind { kRender, kPlay, kHelp, kVersion } kind = kRender;
    bool builtin = false;  // the About box's module instead of a file
    std::string song;      // module path unless builtin
    std::string output;    // WAV path (render); "-" for standard output
    std::optional<double> seconds;
};

// nullopt (and a message on `err`) for anything malformed. --help and
// --version anywhere give kHelp and kVersion, whatever else is there.
std::optional<Command> ParseCommand(const std::vector<std::string>& args, std::ostream& err);

// The module's bytes from the command's source; nullopt and a message when
// the file cannot be read or no module is built in.
std::optional<std::vector<std::uint8_t>> CommandSongBytes(const Command& command, std::ostream& err);

// Renders to command.output: the song once to its end (at most ten
// minutes), or exactly `seconds` seconds with the song looping. The closing
// report goes to `out`, or to `err` when the WAV itself goes to standard
// output.
int RunRender(const Command& command, std::span<const std::uint8_t> song, std::ostream& out,
              std::ostream& err);

// Longest render without --seconds, for songs that never reach their end.
inline constexpr double kMaxRenderSeconds = 600;

// The --help text: usage, commands, options and exit status.
std::string Usage();
// The --version text of the program named `program`: kestrane-xm, or
// kestrane-xm-play, the same commands with the desktop sound output.
std::string VersionText(std::string_view program = "kestrane-xm");

}  // namespace kestrane::music::tool
