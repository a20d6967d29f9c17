// Numeric identifiers of the main window's controls, menu commands and
// timers, in one table so dispatch, tests and dialogs agree on them.
// Widgets also carry them as the "controlId" property.
#pragma once

#include <array>

#include "client/core/scheduler.h"
#include "ui/session_names.h"

namespace kestrane::ui {

// Device and connection controls.
inline constexpr int kIdDeviceSelector = 1066;
inline constexpr int kIdAddDevice = 1065;
inline constexpr int kIdSetDefault = 1068;
inline constexpr int kIdDeleteDevice = 1067;
inline constexpr int kIdConnect = 1001;
inline constexpr int kIdDisconnect = 1014;
inline constexpr int kIdLogo = 1026;
inline constexpr int kIdBuildNumberLabel = 1069;
inline constexpr int kIdBuildNumber = 1070;
inline constexpr int kIdFirmwareLabel = 1072;
inline constexpr int kIdFirmware = 1071;
inline constexpr int kIdCurrentRequestLabel = 1016;
inline constexpr int kIdCurrentRequest = 1017;
inline constexpr int kIdStatusBar = 1015;

// Column headers, left to right.
inline constexpr std::array<int, 8> kIdHeaders = {1057, 1058, 1059, 1060, 1061, 1062, 1063, 1064};

// Per-channel controls, index 0 = channel 1. The ids of channels 4 to 6
// are not in row order; the table keeps them straight.
struct ChannelIds {
    int rowLabel, mode, value, gauge, name, adjust, precision, edit;
};
inline constexpr std::array<ChannelIds, 6> kChannelIds = {{
    {1003, 1025, 1002, 1027, 1033, 1039, 1045, 1051},
    {1005, 1028, 1004, 1020, 1034, 1040, 1046, 1052},
    {1007, 1029, 1006, 1021, 1035, 1041, 1047, 1053},
    {1013, 1030, 1012, 1022, 1036, 1042, 1048, 1054},
    {1011, 1031, 1010, 1023, 1037, 1043, 1049, 1055},
    {1009, 1032, 1008, 1024, 1038, 1044, 1050, 1056},
}};

// Menu commands.
inline constexpr int kMenuExit = 10001;
inline constexpr int kMenuLogging = 10002;       // popup
inline constexpr int kMenuLoggingFirst = 10003;  // .. 10008, channels 1-6
inline constexpr int kMenuGraphs = 10009;        // popup
inline constexpr int kMenuGraphsFirst = 10011;   // .. 10016, channels 1-6
inline constexpr int kMenuGraphsLiveView = 10017;
inline constexpr int kMenuAbout = 10101;

// Main window timers besides the session's (client/core/scheduler.h).
inline constexpr int kTimerCredits = 7;
inline constexpr int kCreditsPeriodMs = 2000;

// Status bar parts: right edges in pixels; the last part runs to the edge.
inline constexpr std::array<int, 3> kStatusPartRightEdges = {50, 140, 360};
inline constexpr int kStatusPartCount = 4;

}  // namespace kestrane::ui
