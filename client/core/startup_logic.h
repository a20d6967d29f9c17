// Pure helpers of the client's start-up: what the install record allows,
// the program directory other windows put files in, the credits ticker of
// the status bar, and the product ID of the board named by the device
// selector.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrane::core {

// The folder of the program file, ending with a separator ("" when the
// path holds none).
std::string ProgramDirectory(std::string_view programFile);

// True when the exact path names an existing entry.
bool FileExists(const std::string& path);

// What start-up does about the installation.
enum class InstallCheck {
    Installed,        // open the database beside the recorded program
    SetUpForUser,     // no record yet and the program runs from its system-wide
                      // install: make the per-user installation, then go on
    NotInstalled,     // "Pogram not installed!"
    DatabaseMissing,  // "Shazbot !  Database not found!"
};

// `recorded` is the program the install record names (empty or none: no
// record). A record whose program and database are both gone is an
// installation that was removed: not installed, not a missing database; so
// is a record whose program is gone when the system-wide program starts.
// `exists` tests a path (following links, so a dangling link is gone).
InstallCheck CheckInstallation(const std::optional<std::string>& recorded, bool runsFromSystemInstall,
                               const std::function<bool(const std::string&)>& exists);

// True when `running` is the same file as the system-wide program
// `installed` (both must exist).
bool IsSameProgram(const std::string& running, const std::string& installed);

inline constexpr int kCreditLineCount = 6;

// The six status-bar credit lines, each beginning with three blanks; the
// last one ends with the given year (four digits; other years are clamped
// into 0..9999 so the line keeps its length).
std::array<std::string, kCreditLineCount> CreditLines(int year);

// One credits tick: advances the counter and returns the line to show,
// 1..5 in turn; line 0 is shown only at start.
int CreditsTick(int& counter);

// The product ID of a PID (PidFromSelectorText of the device registry)
// read as hexadecimal, or 0 when it is not hexadecimal (matching no board).
unsigned ProductIdFromPid(std::string_view pid);

}  // namespace kestrane::core
