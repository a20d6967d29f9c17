#include "client/core/startup_logic.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/numtext.h"
#include "settings/install_record.h"

namespace kestrane::core {

std::string ProgramDirectory(std::string_view programFile) {
    const auto cut = programFile.find_last_of('/');
    if (cut == std::string_view::npos) return {};
    return std::string(programFile.substr(0, cut + 1));
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec) && !ec;
}

InstallCheck CheckInstallation(const std::optional<std::string>& recorded, bool runsFromSystemInstall,
                               const std::function<bool(const std::string&)>& exists) {
    if (!recorded || recorded->empty()) {
        return runsFromSystemInstall ? InstallCheck::SetUpForUser : InstallCheck::NotInstalled;
    }
    const bool programThere = exists(*recorded);
    // Started from the menu with a record whose program is gone, the user
    // is told rather than silently given a second installation.
    if (runsFromSystemInstall && !programThere) return InstallCheck::NotInstalled;
    if (exists(DatabasePathFor(*recorded))) return InstallCheck::Installed;
    return programThere ? InstallCheck::DatabaseMissing : InstallCheck::NotInstalled;
}

bool IsSameProgram(const std::string& running, const std::string& installed) {
    if (running.empty() || installed.empty()) return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(running, installed, ec);
    return same && !ec;
}

std::array<std::string, kCreditLineCount> CreditLines(int year) {
    year = std::clamp(year, 0, 9999);
    char yearText[8] = {};
    std::snprintf(yearText, sizeof yearText, "%04d", year);
    return {
        "   Morvane Kestrane six-channel voltmeter client", "   Live readings from isolated inputs",
        "   Alarm bands start programs and play sounds",    "   Per-channel log files and charts",
        "   About box music: a FastTracker 2 module",       std::string("   Copyright Morvane ") + yearText,
    };
}

int CreditsTick(int& counter) {
    if (counter < 0 || counter >= kCreditLineCount - 1) counter = 0;
    ++counter;
    const int line = counter;
    if (counter == kCreditLineCount - 1) counter = 0;
    return line;
}

unsigned ProductIdFromPid(std::string_view pid) {
    const auto value = HexToInt(pid);
    return value ? *value : 0u;
}

}  // namespace kestrane::core
