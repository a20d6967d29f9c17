// Per-channel records of the client: the settings loaded from table Main
// (all texts, parsed when used) and the run-time state of each channel.
// One object per subsystem owns them, so tests can build fresh ones.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrane {

inline constexpr int kChannelCount = 6;

// Longest text each kind of field keeps, in bytes; longer stored or typed
// values are cut on a UTF-8 character boundary at or below this length.
inline constexpr std::size_t kShortFieldMax = 31;   // 32-byte fields
inline constexpr std::size_t kNotesFieldMax = 511;  // VMnNOTES
inline constexpr std::size_t kPathFieldMax = 126;   // programs, sounds, log folder
inline constexpr std::size_t kFileNameFieldMax = 62;  // VMnLOGFILENAME

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
    std::string logEnabled;      // VMnLOGENABLED: "YES" = logging on
    std::string logSize;         // VMnLOGSIZE: "1 Megabyte" ... "35 Megabytes"
    std::string logInterval;     // VMnLOGINTERVAL: "1 Secs" ... "24 Hours"
    std::string logFileName;     // VMnLOGFILENAME
    std::string logPath;         // VMnLOGPATH: folder ending with a separator
};

// The loaded row of table Main: the device fields and the six channels.
struct BoardSettings {
    std::string column1;    // key column, bound but never read
    std::string vid;        // always "0000"
    std::string pid;        // four upper-case hexadecimal digits
    std::string column4;    // bound but never read
    std::string isDefault;  // DEFAULT: "YES" or "NO"
    std::array<ChannelSettings, kChannelCount> channels;
};

}  // namespace kestrane
