// Installing the client: the program and its two libraries copied into an
// application folder, an empty settings database with table Main made from
// the one schema file, and the install record; repairing and upgrading such
// a folder; the per-user set-up of a system-wide program. Also creates
// databases for demos and tests.
#pragma once

#include <string>
#include <vector>

#include "settings/install_record.h"
#include "settings/settings_database.h"

namespace kestrane {

// The libraries the program loads, copied beside it.
inline constexpr const char* kBoardLibraryFile = "libKestrane_DLL.so";
inline constexpr const char* kChartLibraryFile = "libPlotwickDLL.so";

enum class SqlDialect { SQLite, PostgreSQL };

// The CREATE TABLE statement for table Main (191 columns in load order),
// from the schema file built into the library; the key column is adapted to
// the engine so it numbers rows by itself.
std::string MainTableSchema(SqlDialect dialect);
// The dialect matching a driver's DBMS name; SQLite for unknown engines.
SqlDialect DialectForDbms(const std::string& dbmsName);

// Creates table Main on an open connection; false (with the driver's text
// in `error`) when the engine refuses.
bool CreateMainTable(SettingsDatabase& database, std::string& error);

// Creates a new SQLite settings database file with an empty table Main.
// Refuses (false) when the file already exists.
bool CreateSettingsDatabase(const std::string& databasePath, std::string& error);

// ~/.local/lib/kestrane
std::string DefaultInstallFolder();

struct InstallRequest {
    std::string folder;       // empty: DefaultInstallFolder()
    std::string programPath;  // the running program
    // Where to look for the two libraries before asking the loader which
    // files it loaded; empty: the program's own folder.
    std::vector<std::string> librarySearchDirs;
    // Whether a library missing from those folders is taken from where the
    // loader found it for the running program.
    bool useLoadedLibraries = true;
};

struct InstallResult {
    bool ok = false;
    std::string message;       // what happened, for the console
    std::string programPath;   // the installed program
    std::string databasePath;  // the settings database, new or kept
};

// Installs, repairs or upgrades. An existing settings database is never
// touched: the program and libraries are refreshed around it, the record is
// rewritten, and the message says what was kept, replaced and added.
InstallResult InstallKestrane(const InstallRequest& request, InstallRecord& record);

// $XDG_DATA_HOME/kestrane, by default ~/.local/share/kestrane.
std::string DefaultUserDataFolder();

// The per-user installation a program installed for the whole system makes
// at its first start: in `dataFolder` a link to the running program and,
// beside it, the settings database (kept when one is there), and the
// record naming the link.
InstallResult SetUpUserInstallation(const std::string& dataFolder, const std::string& runningProgram,
                                    InstallRecord& record);

}  // namespace kestrane
