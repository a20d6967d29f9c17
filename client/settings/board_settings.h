// The settings records of one board as table Main stores them: the device
// fields the client reads and each channel's texts (parsed when used), with
// the longest text each kind of field keeps and the stored switch texts.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>

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

}  // namespace kestrane
