// The install record: where the installed program lives, kept by QSettings
// (organisation "Morvane", application "Kestrane"; on Linux an INI file
// under $XDG_CONFIG_HOME/Morvane/Kestrane.conf, key "AppPaths/Kestrane"),
// and the rule that derives the settings database's path from it.
#pragma once

#include <optional>
#include <string>

namespace kestrane {

inline constexpr const char* kRecordOrganisation = "Morvane";
inline constexpr const char* kRecordApplication = "Kestrane";
inline constexpr const char* kRecordKey = "AppPaths/Kestrane";

// The database beside the program: a file name ending in a dot and three
// characters has those three replaced by "MDB" (Kestrane.exe ->
// Kestrane.MDB); any other name gets ".MDB" appended (kestrane ->
// kestrane.MDB). Only the last path component is looked at.
std::string DatabasePathFor(const std::string& programPath);

class InstallRecord {
public:
    virtual ~InstallRecord() = default;
    // The installed program's path; std::nullopt when not installed.
    virtual std::optional<std::string> programPath() const = 0;
    virtual bool SetProgramPath(const std::string& path) = 0;
};

// The record in QSettings. Needs no QCoreApplication.
class SystemInstallRecord final : public InstallRecord {
public:
    std::optional<std::string> programPath() const override;
    bool SetProgramPath(const std::string& path) override;
};

}  // namespace kestrane
