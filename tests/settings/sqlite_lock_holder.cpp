// Another program holding a write transaction on an SQLite settings
// database, for the tests of bounded database waits. Usage:
//   sqlite_lock_holder DATABASE [exclusive|immediate]
// Prints "locked" once the lock is held and keeps it until its standard
// input ends, then rolls back, so the database is left as it was.
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool Run(SQLHDBC dbc, const std::string& text) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) return false;
    const bool ok =
        Succeeded(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS));
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DATABASE [exclusive|immediate]\n", argv[0]);
        return 2;
    }
    const std::string kind = argc > 2 ? argv[2] : "exclusive";
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) ||
        !Succeeded(
            SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        std::fprintf(stderr, "no ODBC handles\n");
        return 1;
    }
    // Waits as long as it takes for a lock another test left behind.
    const std::string connection = std::string("DRIVER=SQLite3;Database=") + argv[1] + ";Timeout=30000";
    if (!Succeeded(SQLDriverConnect(dbc, nullptr,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(connection.c_str())),
                                    SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
        std::fprintf(stderr, "cannot connect to %s\n", argv[1]);
        return 1;
    }
    if (!Run(dbc, kind == "immediate" ? "BEGIN IMMEDIATE" : "BEGIN EXCLUSIVE")) {
        std::fprintf(stderr, "cannot begin the transaction\n");
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {}
    Run(dbc, "ROLLBACK");
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}
