// Pure helpers of the client's start-up: the program directory other
// windows put files in, the credits ticker of the status bar, and the
// product ID of the board named by the device selector.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kestrane::ui {

// The folder of the program file, ending with a separator ("" when the
// path holds none).
std::string ProgramDirectory(std::string_view programFile);

// True when the exact path names an existing entry.
bool FileExists(const std::string& path);

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

}  // namespace kestrane::ui
