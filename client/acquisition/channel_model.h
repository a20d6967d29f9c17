// Per-channel run-time records of the acquisition: gauge, alarm memory and
// conversion fallbacks of each channel, beside the settings records of
// settings/board_settings.h. One object per subsystem owns them, so tests
// can build fresh ones.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/reading_number.h"
#include "settings/board_settings.h"

namespace kestrane {

// Gauge of a channel: a bar with range 0..maximum, green for a positive
// reading, red for a negative one.
struct GaugeColour {
    uint8_t red = 0;
    uint8_t green = 255;
    uint8_t blue = 0;
    friend bool operator==(const GaugeColour&, const GaugeColour&) = default;
};
inline constexpr GaugeColour kGaugePositiveColour{0, 255, 0};
inline constexpr GaugeColour kGaugeNegativeColour{255, 0, 0};

struct GaugeState {
    int32_t maximum = 100;  // always > 0
    int32_t position = 0;   // always within 0..maximum
    bool positive = true;   // polarity of the last reading
    GaugeColour colour = kGaugePositiveColour;
    friend bool operator==(const GaugeState&, const GaugeState&) = default;
};

// What the conversion remembers for one channel between readings, so an
// unreadable setting or shown text falls back to this channel's own last
// good value and never to another channel's.
struct ConversionScratch {
    long double adjustment = 1.0L;  // last readable Adjust text
    long double amp = 0.0L;         // last readable VMnAMP
    long double previous = 0.0L;    // last magnitude this channel showed
    bool hasPrevious = false;
};

// One channel's alarm memory. The flags are 32-bit 0/1 values; none of
// this is cleared by Connect or Disconnect. Each band keeps its own last
// firing time so one band's alarms never postpone another band's repeats.
struct TriggerState {
    int32_t highFired = 0;
    int32_t highArmed = 0;
    int32_t lowFired = 0;
    int32_t lowArmed = 0;
    uint32_t highLastFiring = 0;  // whole seconds of the clock
    uint32_t lowLastFiring = 0;
    friend bool operator==(const TriggerState&, const TriggerState&) = default;
};

// One channel's run-time state.
struct ChannelState {
    std::string shown;  // Value text: "+ 12.345", "  DISABLED" or empty
    // The number `shown` displays, from the same conversion; none while
    // it shows no reading.
    std::optional<ReadingNumber> number;
    GaugeState gauge;
    bool hasReading = false;      // a reading was shown since Connect
    TriggerState trigger;         // survives Disconnect
    ConversionScratch scratch;    // survives Disconnect
    int32_t lastLogPeriodMs = 0;  // last valid logging period, 0 = none yet
};

// The acquisition's run-time records for all six channels plus the
// filter's warm-up counter, which all channels share. The session owns
// one and drives it from its timers:
//   polling pass (timer 1)       ApplyReading          (conversion.h)
//   trigger timer (timer 3)      RunTriggerTick        (trigger_engine.h)
//   logging timer 10 + n         WriteLogRecord(n,...) (logging.h)
//   Connect, Logging dialog      LogIntervalToMs(text, at(n).lastLogPeriodMs) (intervals.h)
//   Disconnect                   ResetOnDisconnect     (below)
struct ChannelStates {
    std::array<ChannelState, kChannelCount> channels;
    int warmUp = 0;

    // `channel` is 1..6.
    ChannelState& at(int channel) { return channels[static_cast<std::size_t>(channel - 1)]; }
    const ChannelState& at(int channel) const { return channels[static_cast<std::size_t>(channel - 1)]; }
};

// Disconnect: empties the shown readings, sets the gauges to position 0
// (range and colour stay), clears the has-a-reading flags and restarts the
// filter warm-up. Alarm flags and conversion fallbacks are kept.
inline void ResetOnDisconnect(ChannelStates& states) {
    for (auto& ch : states.channels) {
        ch.shown.clear();
        ch.number.reset();
        ch.gauge.position = 0;
        ch.hasReading = false;
    }
    states.warmUp = 0;
}

}  // namespace kestrane
