// Per-channel records of the client: the settings loaded from table Main
// (all texts, parsed when used) and the run-time state of each channel.
// One object per subsystem owns them, so tests can build fresh ones.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "common/reading_number.h"

namespace kestrane {

inline constexpr int kChannelCount = 6;

// Longest text each kind of field keeps, in bytes; longer stored or typed
// values are cut on a UTF-8 character boundary at or below this length.
inline constexpr std::size_t kShortFieldMax = 31;     // 32-byte fields
inline constexpr std::size_t kNotesFieldMax = 511;    // VMnNOTES
inline constexpr std::size_t kPathFieldMax = 126;     // programs, sounds, log folder
inline constexpr std::size_t kFileNameFieldMax = 62;  // VMnLOGFILENAME

// The stored switch texts. Only the exact "on" text counts as on; anything
// else a row may hold reads as off.
inline constexpr const char* kYesText = "YES";
inline constexpr const char* kNoText = "NO";
inline constexpr const char* kVoltmeterModeText = "VDC";
inline constexpr const char* kShuntModeText = "ADC";
inline constexpr const char* kBandEnabledText = "ENABLED";
inline constexpr const char* kBandDisabledText = "DISABLED";

// True when an alarm band's enable text switches the band on.
inline bool BandEnabled(const std::string& enableText) { return enableText == kBandEnabledText; }

// One channel's configuration. The first 26 members follow the column order
// of a channel block in table Main; the last five are the logging columns.
struct ChannelSettings {
    std::string enable;          // VMnENABLE: "YES" = polled
    std::string notes;           // VMnNOTES
    std::string vmName;          // VMnVMNAME
    std::string adj;             // VMnADJ
    std::string precision;       // VMnPRECISION
    std::string mode;            // VMnMODE: "VDC" = voltmeter, else shunt
    std::string amp;             // VMnAMP
    std::string millivolt;       // VMnMILLIVOLT
    std::string highTriggerMax;  // VMnHIGHTRIGGERMAX
    std::string highTriggerMin;  // VMnHIGHTRIGGERMIN
    std::string lowTriggerMax;   // VMnLOWTRIGGERMAX
    std::string lowTriggerMin;   // VMnLOWTRIGGERMIN
    std::string highTestEvery;   // VMnHIGHTESTEVERY
    std::string lowTestEvery;    // VMnLOWTESTEVERY
    std::string highEnable;      // VMnHIGHENABLE: "ENABLED" = band active
    std::string lowEnable;       // VMnLOWENABLE
    std::string highFile;        // VMnHIGHFILE
    std::string lowFile;         // VMnLOWFILE
    std::string highSound;       // VMnHIGHSOUND
    std::string lowSound;        // VMnLOWSOUND
    std::string highNormSound;   // VMnHIGHNORMSOUND
    std::string highNormFile;    // VMnHIGHNORMFILE
    std::string lowNormSound;    // VMnLOWNORMSOUND
    std::string lowNormFile;     // VMnLOWNORMFILE
    std::string filterEnable;    // VMnFILTERENABLE: "YES" = filter on
    std::string filterWeight;    // VMnFILTERWEIGHT
    // Logging columns, stored after all six channel blocks.
    std::string logEnabled;   // VMnLOGENABLED: "YES" = logging on
    std::string logSize;      // VMnLOGSIZE: "1 Megabyte" ... "35 Megabytes"
    std::string logInterval;  // VMnLOGINTERVAL: "1 Secs" ... "24 Hours"
    std::string logFileName;  // VMnLOGFILENAME
    std::string logPath;      // VMnLOGPATH: folder ending with a separator

    bool IsPolled() const { return enable == kYesText; }
    bool IsShunt() const { return mode != kVoltmeterModeText; }
    bool HighBandEnabled() const { return BandEnabled(highEnable); }
    bool LowBandEnabled() const { return BandEnabled(lowEnable); }
    bool FilterEnabled() const { return filterEnable == kYesText; }
    bool LoggingEnabled() const { return logEnabled == kYesText; }

    void SetPolled(bool on) { enable = on ? kYesText : kNoText; }
    void SetShunt(bool shunt) { mode = shunt ? kShuntModeText : kVoltmeterModeText; }
    void SetHighBandEnabled(bool on) { highEnable = on ? kBandEnabledText : kBandDisabledText; }
    void SetLowBandEnabled(bool on) { lowEnable = on ? kBandEnabledText : kBandDisabledText; }
    void SetFilterEnabled(bool on) { filterEnable = on ? kYesText : kNoText; }
    void SetLoggingEnabled(bool on) { logEnabled = on ? kYesText : kNoText; }
};

// A channel that only measures: no shunt rating, no alarm band, no filter,
// no logging (its stored texts as a new row of the settings would hold
// them). The demo settings and tests start from it and change what they
// need.
inline ChannelSettings MeasuringChannel(std::string enable, std::string name, std::string adj,
                                        std::string precision, std::string mode) {
    ChannelSettings c;
    c.enable = std::move(enable);
    c.vmName = std::move(name);
    c.adj = std::move(adj);
    c.precision = std::move(precision);
    c.mode = std::move(mode);
    c.amp = "0";
    c.millivolt = "0";
    c.highTriggerMax = "0";
    c.highTriggerMin = "0";
    c.lowTriggerMax = "0";
    c.lowTriggerMin = "0";
    c.highTestEvery = "One Shot";
    c.lowTestEvery = "One Shot";
    c.highEnable = kBandDisabledText;
    c.lowEnable = kBandDisabledText;
    c.filterEnable = "NO";
    c.filterWeight = "20";
    c.logEnabled = "NO";
    c.logSize = "1 Megabyte";
    c.logInterval = "5 Secs";
    return c;
}

// The loaded row of table Main: the device fields the client reads and the
// six channels.
struct BoardSettings {
    std::string vid;        // always "0000"
    std::string pid;        // four upper-case hexadecimal digits
    std::string isDefault;  // DEFAULT: "YES" or "NO"
    std::array<ChannelSettings, kChannelCount> channels;
};

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
