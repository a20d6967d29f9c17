#include "settings/settings_database.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "settings/table_layout.h"
#include "settings/text_cut.h"

namespace kestrane {
namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// One ODBC handle, freed on destruction.
class Handle {
public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    bool allocate(SQLSMALLINT type, SQLHANDLE parent) {
        reset();
        SQLHANDLE h = SQL_NULL_HANDLE;
        if (!Succeeded(SQLAllocHandle(type, parent, &h))) return false;
        type_ = type;
        handle_ = h;
        return true;
    }
    void reset() {
        if (handle_ != SQL_NULL_HANDLE) {
            if (type_ == SQL_HANDLE_STMT) SQLFreeStmt(handle_, SQL_CLOSE);
            SQLFreeHandle(type_, handle_);
            handle_ = SQL_NULL_HANDLE;
        }
    }
    SQLHANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// A connection string's attributes as key and value, split at the ";"
// outside braces; keys keep their case, values their braces.
std::vector<std::pair<std::string, std::string>> Attributes(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t equals = text.find('=', i);
        const std::size_t semicolon = text.find(';', i);
        if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
            if (semicolon == std::string::npos) break;
            i = semicolon + 1;  // an attribute without a value
            continue;
        }
        std::string key = text.substr(i, equals - i);
        std::size_t end = equals + 1;
        if (end < text.size() && text[end] == '{') {
            const std::size_t close = text.find('}', end);
            end = close == std::string::npos ? text.size() : close + 1;
        }
        end = std::min(text.find(';', end), text.size());
        out.emplace_back(std::move(key), text.substr(equals + 1, end - equals - 1));
        i = end + 1;
    }
    return out;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE) return {};
    std::string out;
    for (SQLSMALLINT record = 1; record <= 4; ++record) {
        SQLCHAR state[8] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRec(type, handle, record, state, &native, message, sizeof message, &length);
        if (!Succeeded(rc)) break;
        if (!out.empty()) out += "; ";
        out += "[";
        out += reinterpret_cast<const char*>(state);
        out += "] ";
        out += reinterpret_cast<const char*>(message);  // the driver terminates it, cutting if needed
    }
    return out;
}

}  // namespace

struct SettingsDatabase::Handles {
    Handle env;
    Handle dbc;
    bool connected = false;
    char quote = '"';
    std::string dbms;
    std::string diagnostic;

    // Closes the cursor and frees the statement whatever happened.
    ExecStatus PrepareAndRun(Handle& stmt, const SqlStatement& statement, std::vector<SQLLEN>& indicators) {
        if (!connected || !stmt.allocate(SQL_HANDLE_STMT, dbc.get())) {
            diagnostic = connected ? Diagnostic(SQL_HANDLE_DBC, dbc.get()) : "database not open";
            return ExecStatus::NoHandle;
        }
        // Drivers without a query timeout refuse it; they still run.
        SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kQueryTimeoutSeconds)), 0);
        indicators.assign(statement.values.size(), 0);
        for (std::size_t i = 0; i < statement.values.size(); ++i) {
            const std::string& v = statement.values[i];
            indicators[i] = static_cast<SQLLEN>(v.size());
            const SQLULEN columnSize = v.empty() ? 1 : v.size();
            const SQLRETURN rc = SQLBindParameter(
                stmt.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                columnSize, 0, const_cast<char*>(v.data()), static_cast<SQLLEN>(v.size()), &indicators[i]);
            if (!Succeeded(rc)) {
                diagnostic = Diagnostic(SQL_HANDLE_STMT, stmt.get());
                return ExecStatus::Failed;
            }
        }
        const SQLRETURN rc = SQLExecDirect(
            stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(statement.text.c_str())), SQL_NTS);
        // SQL_NO_DATA: an UPDATE or DELETE that matched no row still ran.
        if (!Succeeded(rc) && rc != SQL_NO_DATA) {
            diagnostic = Diagnostic(SQL_HANDLE_STMT, stmt.get());
            return ExecStatus::Failed;
        }
        return ExecStatus::Ok;
    }
};

std::string DefaultConnectionString(const std::string& databasePath) {
    return "DRIVER=SQLite3;Database=" + databasePath;
}

bool ConnectionStringCanCarry(const std::string& databasePath) {
    // The driver manager splits at ";" and the driver neither takes braces
    // nor keeps blanks at the ends of a value.
    if (databasePath.empty() || databasePath.find_first_of(";{}") != std::string::npos) return false;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !blank(databasePath.front()) && !blank(databasePath.back());
}

std::string ConnectionStringFor(const std::string& databasePath) {
    const char* env = std::getenv(kOdbcEnvVar);
    if (env != nullptr && *env != '\0') return env;
    return DefaultConnectionString(databasePath);
}

std::string WithBoundedWait(const std::string& connectionString) {
    bool sqlite = false;
    for (const auto& [key, value] : Attributes(connectionString)) {
        const std::string name = Lower(Trimmed(key));
        if (name == "timeout") return connectionString;  // the caller's own choice
        if (name == "driver" && Lower(value).find("sqlite") != std::string::npos) sqlite = true;
    }
    if (!sqlite) return connectionString;
    std::string out = connectionString;
    if (!out.empty() && out.back() != ';') out += ';';
    return out + "Timeout=" + std::to_string(kSqliteBusyWaitMs);
}

SettingsDatabase::SettingsDatabase() : handles_(std::make_unique<Handles>()) {}
SettingsDatabase::~SettingsDatabase() { Close(); }

Status SettingsDatabase::Open(const std::string& connectionString) {
    Close();
    Handles& h = *handles_;
    auto fail = [&](const char* message) {
        h.dbc.reset();
        h.env.reset();
        return Status::Failure(message);
    };
    if (!h.env.allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE)) {
        h.diagnostic = "no environment handle";
        return fail("Environment handle allocation failed");
    }
    if (!Succeeded(SQLSetEnvAttr(h.env.get(), SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        h.diagnostic = Diagnostic(SQL_HANDLE_ENV, h.env.get());
        return fail("Cannot set desired ODBC version");
    }
    if (!h.dbc.allocate(SQL_HANDLE_DBC, h.env.get())) {
        h.diagnostic = Diagnostic(SQL_HANDLE_ENV, h.env.get());
        return fail("Connection handle allocation failed");
    }
    // Drivers without a login timeout refuse it; they still connect.
    SQLSetConnectAttr(h.dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kLoginTimeoutSeconds)), 0);
    // The driver may complete the string but never asks the user.
    const std::string bounded = WithBoundedWait(connectionString);
    SQLCHAR completed[1024] = {};
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc =
        SQLDriverConnect(h.dbc.get(), nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(bounded.c_str())),
                         SQL_NTS, completed, sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
        h.diagnostic = Diagnostic(SQL_HANDLE_DBC, h.dbc.get());
        return fail("Connection attempt failed");
    }
    h.connected = true;

    SQLCHAR info[64] = {};
    SQLSMALLINT infoLength = 0;
    if (Succeeded(SQLGetInfo(h.dbc.get(), SQL_IDENTIFIER_QUOTE_CHAR, info, sizeof info, &infoLength)) &&
        info[0] != '\0' && info[0] != ' ') {
        h.quote = static_cast<char>(info[0]);
    }
    std::memset(info, 0, sizeof info);
    if (Succeeded(SQLGetInfo(h.dbc.get(), SQL_DBMS_NAME, info, sizeof info - 1, &infoLength))) {
        h.dbms = reinterpret_cast<const char*>(info);
    }
    return Status();
}

void SettingsDatabase::Close() {
    Handles& h = *handles_;
    if (h.connected) SQLDisconnect(h.dbc.get());
    h.connected = false;
    h.dbc.reset();
    h.env.reset();
    h.quote = '"';
    h.dbms.clear();
}

bool SettingsDatabase::isOpen() const { return handles_->connected; }
char SettingsDatabase::IdentifierQuote() const { return handles_->quote; }
std::string SettingsDatabase::DbmsName() const { return handles_->dbms; }
std::string SettingsDatabase::LastDiagnostic() const { return handles_->diagnostic; }

ExecStatus SettingsDatabase::Execute(const SqlStatement& statement) {
    Handle stmt;
    std::vector<SQLLEN> indicators;
    return handles_->PrepareAndRun(stmt, statement, indicators);
}

QueryResult SettingsDatabase::Query(const SqlStatement& statement, const std::vector<int>& positions,
                                    const std::vector<std::size_t>& maxBytes, std::size_t maxRows) {
    QueryResult result;
    Handle stmt;
    std::vector<SQLLEN> parameterIndicators;
    result.status = handles_->PrepareAndRun(stmt, statement, parameterIndicators);
    if (result.status != ExecStatus::Ok) return result;

    SQLSMALLINT columnCount = 0;
    if (!Succeeded(SQLNumResultCols(stmt.get(), &columnCount))) columnCount = 0;

    // Each buffer has room past the limit, so the cut after the fetch can
    // see where the character at the limit ends and never splits one.
    constexpr std::size_t kSlack = 8;
    const std::size_t n = positions.size();
    std::vector<std::vector<char>> buffers(n);
    std::vector<SQLLEN> indicators(n, SQL_NULL_DATA);
    std::vector<bool> bound(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t limit = i < maxBytes.size() ? maxBytes[i] : kShortFieldMax;
        buffers[i].assign(limit + kSlack, '\0');
        // A table with fewer columns than expected leaves the rest empty.
        if (positions[i] < 1 || positions[i] > columnCount) continue;
        bound[i] =
            Succeeded(SQLBindCol(stmt.get(), static_cast<SQLUSMALLINT>(positions[i]), SQL_C_CHAR,
                                 buffers[i].data(), static_cast<SQLLEN>(buffers[i].size()), &indicators[i]));
    }
    while (result.rows.size() < maxRows) {
        for (std::size_t i = 0; i < n; ++i) {
            std::fill(buffers[i].begin(), buffers[i].end(), '\0');
            indicators[i] = SQL_NULL_DATA;
        }
        const SQLRETURN rc = SQLFetch(stmt.get());
        if (!Succeeded(rc)) {
            if (rc != SQL_NO_DATA) handles_->diagnostic = Diagnostic(SQL_HANDLE_STMT, stmt.get());
            break;
        }
        std::vector<std::string> row(n);
        for (std::size_t i = 0; i < n; ++i) {
            if (!bound[i] || indicators[i] == SQL_NULL_DATA) continue;
            const std::size_t limit = i < maxBytes.size() ? maxBytes[i] : kShortFieldMax;
            const std::size_t length = ::strnlen(buffers[i].data(), buffers[i].size() - 1);
            row[i] = CutUtf8(std::string_view(buffers[i].data(), length), limit);
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

std::vector<std::string> SettingsDatabase::ColumnNames(const SqlStatement& statement) {
    std::vector<std::string> names;
    Handle stmt;
    std::vector<SQLLEN> indicators;
    if (handles_->PrepareAndRun(stmt, statement, indicators) != ExecStatus::Ok) return names;
    SQLSMALLINT count = 0;
    if (!Succeeded(SQLNumResultCols(stmt.get(), &count))) return names;
    for (SQLSMALLINT c = 1; c <= count; ++c) {
        SQLCHAR name[256] = {};
        SQLSMALLINT length = 0;
        if (!Succeeded(SQLColAttribute(stmt.get(), static_cast<SQLUSMALLINT>(c), SQL_DESC_NAME, name,
                                       sizeof name - 1, &length, nullptr))) {
            name[0] = '\0';
        }
        names.emplace_back(reinterpret_cast<const char*>(name));
    }
    return names;
}

bool SettingsDatabase::LoadBoardSettings(const std::string& pid, BoardSettings& settings) {
    std::vector<int> positions(kMainColumnCount);
    std::vector<std::size_t> limits(kMainColumnCount);
    for (int p = 1; p <= kMainColumnCount; ++p) {
        positions[static_cast<std::size_t>(p - 1)] = p;
        limits[static_cast<std::size_t>(p - 1)] = MainColumnAt(p).maxBytes;
    }
    QueryResult r = Query(LoadStatement(kBoardVid, pid), positions, limits, 1);
    if (r.status != ExecStatus::Ok) return false;
    settings = BoardSettings{};
    if (!r.rows.empty()) {
        for (int p = 1; p <= kMainColumnCount; ++p) {
            if (std::string* field = FieldAt(settings, p)) {
                *field = std::move(r.rows.front()[static_cast<std::size_t>(p - 1)]);
            }
        }
    }
    return true;
}

bool SettingsDatabase::SaveOptions(int channel, const std::string& pid, const BoardSettings& settings) {
    if (channel < 1 || channel > kChannelCount) return false;
    const auto s =
        OptionsStatement(channel, settings.channels[static_cast<std::size_t>(channel - 1)], kBoardVid, pid);
    return s && Execute(*s) == ExecStatus::Ok;
}

bool SettingsDatabase::SaveFilter(int channel, const std::string& pid, const BoardSettings& settings) {
    if (channel < 1 || channel > kChannelCount) return false;
    const auto s =
        FilterStatement(channel, settings.channels[static_cast<std::size_t>(channel - 1)], kBoardVid, pid);
    return s && Execute(*s) == ExecStatus::Ok;
}

bool SettingsDatabase::SaveLogging(int channel, const std::string& pid, const BoardSettings& settings) {
    if (channel < 1 || channel > kChannelCount) return false;
    const auto s =
        LoggingStatement(channel, settings.channels[static_cast<std::size_t>(channel - 1)], kBoardVid, pid);
    return s && Execute(*s) == ExecStatus::Ok;
}

}  // namespace kestrane
