// The interval and size vocabularies shared by the alarms, the logging and
// their dialogs: the Test Every list ("One Shot", "1 Secs" ... "24 Hours"),
// the logging intervals (the same without "One Shot") and the log sizes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

inline constexpr std::size_t kTestEveryCount = 143;
inline constexpr std::size_t kLogIntervalCount = 142;
inline constexpr std::size_t kLogSizeCount = 35;
inline constexpr int64_t kMegabyte = 1048576;
inline constexpr int32_t kDefaultLogPeriodMs = 1000;

// The 143 Test Every texts in the order the Options dialog lists them.
const std::vector<std::string>& TestEveryTexts();

// Repeat interval of a Test Every text in seconds; the whole text must match
// exactly, and anything else (including "One Shot") gives 0, no repeat.
uint32_t TestEverySeconds(std::string_view text);

// The 142 logging interval texts, "1 Secs" ... "24 Hours", in dialog order.
const std::vector<std::string>& LogIntervalTexts();

// Logging period of an interval text in ms, or 0 when it is not one.
int32_t LookupLogIntervalMs(std::string_view text);

// Logging period for a channel's timer: the text's period when it is in the
// vocabulary (remembered in `lastValidMs`), else the last valid period of
// that channel, else 1000 ms. Used at Connect and by the Logging dialog.
int32_t LogIntervalToMs(std::string_view text, int32_t& lastValidMs);

// The 35 size texts, "1 Megabyte", "2 Megabytes" ... "35 Megabytes".
const std::vector<std::string>& LogSizeTexts();

// Size limit of a size text in bytes; any other text gives 1048576.
int64_t LogSizeToBytes(std::string_view text);

}  // namespace kestrane
