// Turns one reading word of the board into the channel's shown reading and
// gauge: polarity and count decoding, scaling to volts, adjustment, shunt
// conversion to amperes, rounding to the channel's precision, averaging.
#pragma once

#include <string>
#include <string_view>

#include "acquisition/channel_model.h"

namespace kestrane {

// Conversion constants of the board's front end.
inline constexpr long double kFullScaleCount = 16777215.0L;
inline constexpr long double kGainFactor1 = 4.089L;
inline constexpr long double kGainFactor2 = 49.56505L;
inline constexpr long double kZeroOffset = 0.000212034L;
inline constexpr long double kShuntNoiseFloor = 0.00025L;  // volts
inline constexpr int kFilterWarmUpReadings = 10;
inline constexpr long double kDefaultFilterWeight = 0.05L;

struct ConversionResult {
    std::string shown;   // "+ 12.345" / "- 0.188": sign, then the magnitude text
    double value = 0.0;  // the number shown, sign included
    GaugeState gauge;
};

// Polarity and magnitude count of a reading word (bit 30 set = positive;
// bit 31 never matters).
struct DecodedWord {
    bool positive = true;
    uint32_t count = 0;
};
DecodedWord DecodeWord(std::string_view wordText);

// The averaging weight from the VMnFILTERWEIGHT text: the value itself when
// strictly between 0 and 1, its reciprocal when above 1, else 0.05.
long double FilterWeight(std::string_view weightText);

// Runs the whole chain for one reading of one channel.
//   wordText      decimal text of the reading word (board mode 0)
//   settings      the channel's settings (mode, amp, millivolt, filter)
//   adjustText    text of the channel's Adjust column (shows VMnADJ)
//   precisionText text of the channel's Precision column (shows VMnPRECISION)
//   currentShown  the channel's Value text now; the filter blends with it
//   scratch       this channel's fallbacks; updated with every good value
//   warmUp        filter warm-up counter shared by all six channels
// Unreadable adjustment, amp rating or shown text fall back to this
// channel's last good value (adjustment 1, amp 0 before any); a zero or
// unreadable millivolt rating gives 0 A; the result is always finite.
ConversionResult ConvertReading(std::string_view wordText, const ChannelSettings& settings,
                                std::string_view adjustText, std::string_view precisionText,
                                std::string_view currentShown, ConversionScratch& scratch, int& warmUp);

// The polling pass's call for channel 1..6: converts, stores the shown
// reading and gauge in the channel's state and sets its has-a-reading flag.
// The caller copies `states.at(channel).shown` and `.gauge` to the window.
void ApplyReading(ChannelStates& states, int channel, const ChannelSettings& settings,
                  std::string_view wordText, std::string_view adjustText, std::string_view precisionText);

}  // namespace kestrane
