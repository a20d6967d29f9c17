// The settings database: one ODBC connection (SQLite3 driver by default, any
// driver through KESTRANE_ODBC), loading a board's row of table Main into
// BoardSettings by position, and running the catalogue's statements.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "settings/board_settings.h"
#include "settings/statements.h"

namespace kestrane {

// Environment variable holding a full ODBC connection string that replaces
// the default one, e.g. "DRIVER={PostgreSQL ANSI};Servername=...;".
inline constexpr const char* kOdbcEnvVar = "KESTRANE_ODBC";

// "DRIVER=SQLite3;Database=<path>".
std::string DefaultConnectionString(const std::string& databasePath);
// False for paths the SQLite driver cannot be given in a connection string:
// empty, holding ";", "{" or "}", or beginning or ending with a blank.
bool ConnectionStringCanCarry(const std::string& databasePath);
// KESTRANE_ODBC when set and not empty, otherwise the default string.
std::string ConnectionStringFor(const std::string& databasePath);

// How long the SQLite driver waits for another program's lock before a
// statement fails. The driver may wait twice within one write (once to
// prepare it, once to run it), so a statement gives up within about a
// second and the GUI thread's timers are held up no longer than that.
inline constexpr int kSqliteBusyWaitMs = 500;
// The limits given to other drivers: a statement's run time and the wait
// for the connection to be made, in seconds.
inline constexpr int kQueryTimeoutSeconds = 1;
inline constexpr int kLoginTimeoutSeconds = 3;

// The connection string as opened: one naming an SQLite driver gets the
// driver's lock wait ("Timeout=" in milliseconds) unless it sets one itself.
std::string WithBoundedWait(const std::string& connectionString);

enum class ExecStatus {
    NoHandle,  // no statement handle (database not open)
    Failed,    // the driver refused the statement
    Ok,
};

struct QueryResult {
    ExecStatus status = ExecStatus::NoHandle;
    // One entry per fetched row, one text per requested column; NULL reads
    // as the empty text, long texts are cut to the requested size.
    std::vector<std::vector<std::string>> rows;
};

class SettingsDatabase {
public:
    SettingsDatabase();
    ~SettingsDatabase();
    SettingsDatabase(const SettingsDatabase&) = delete;
    SettingsDatabase& operator=(const SettingsDatabase&) = delete;

    // Allocates the environment, sets ODBC 3, allocates the connection and
    // connects without ever prompting, with bounded waits (WithBoundedWait,
    // the login and query timeouts): a statement that cannot get past
    // another program's lock in that time fails like any other. On failure
    // frees what it allocated and returns the failure "Environment handle
    // allocation failed", "Cannot set desired ODBC version", "Connection
    // handle allocation failed" or "Connection attempt failed" (shown by
    // the caller, caption kClientCaption); every later statement then fails
    // for want of a handle.
    Status Open(const std::string& connectionString);
    // Disconnects and frees the handles; safe to call at any time.
    void Close();
    bool isOpen() const;

    // The driver's identifier quote ('"' when it names none).
    char IdentifierQuote() const;
    // The engine's name as the driver reports it, e.g. "SQLite", "PostgreSQL".
    std::string DbmsName() const;
    // The driver's last diagnostic text, for logs and test failures.
    std::string LastDiagnostic() const;

    // Runs one statement on a fresh statement handle and frees it.
    ExecStatus Execute(const SqlStatement& statement);
    // Runs a query and fetches up to `maxRows` rows, reading the result
    // columns at `positions` (1-based) cut to the matching `maxBytes`.
    QueryResult Query(const SqlStatement& statement, const std::vector<int>& positions,
                      const std::vector<std::size_t>& maxBytes, std::size_t maxRows);

    // The result column names of a query, in order (empty when it fails).
    std::vector<std::string> ColumnNames(const SqlStatement& statement);

    // Load board settings: the row of VID "0000" and `pid` read by position.
    // When the statement cannot run, `settings` is left as it was and false
    // is returned; otherwise every field is emptied and, when a row comes
    // back, filled from it (each cut to its column's limit) and true is
    // returned (also when no row was found).
    bool LoadBoardSettings(const std::string& pid, BoardSettings& settings);

    // The save statements of the option, filter and logging dialogs for
    // channel 1 to 6 of the board `pid`; false when the save failed.
    bool SaveOptions(int channel, const std::string& pid, const BoardSettings& settings);
    bool SaveFilter(int channel, const std::string& pid, const BoardSettings& settings);
    bool SaveLogging(int channel, const std::string& pid, const BoardSettings& settings);

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

}  // namespace kestrane
