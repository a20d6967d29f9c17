// Database waits are bounded: while another process holds a write lock on
// the SQLite settings file, every statement gives up within a bound, fails
// like any failed statement and leaves the rows as they were; once the lock
// is gone the same connection works again. On a database server (through
// KESTRANE_TEST_ODBC_FILE) a row held by another session is bounded too.
#include <chrono>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "settings/device_registry.h"
#include "settings/statements.h"
#include "sqlite_lock.h"
#include "test_support.h"

namespace kestrane::test {
namespace {

// Far below the driver's own default wait of 100 s, far above the bounded
// wait of about a second even on a loaded machine.
constexpr auto kBound = std::chrono::seconds(6);

class DatabaseWait : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        if (server_) GTEST_SKIP() << "file locks are SQLite's";
        addRow("000A", "YES");
        saved_.channels[0].vmName = "Before";
        ASSERT_TRUE(db_.SaveOptions(1, "000A", saved_));
    }

    template <typename F>
    static std::chrono::steady_clock::duration Timed(F&& f) {
        const auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::steady_clock::now() - start;
    }

    BoardSettings saved_;
    SqliteLock lock_;
};

TEST_F(DatabaseWait, EveryStatementUnderAnExclusiveLockFailsInTimeAndWritesNothing) {
    ASSERT_TRUE(lock_.Acquire(KESTRANE_SQLITE_LOCK_HOLDER, databasePath_, "exclusive"));
    BoardSettings changed;
    changed.channels[0].vmName = "After";
    BoardSettings loaded;
    loaded.channels[0].vmName = "kept";
    DeviceRegistry registry(db_);
    Status listed;
    const struct {
        const char* what;
        std::function<bool()> run;  // true when the statement ran
    } cases[] = {
        {"load", [&] { return db_.LoadBoardSettings("000A", loaded); }},
        {"options save", [&] { return db_.SaveOptions(1, "000A", changed); }},
        {"filter save", [&] { return db_.SaveFilter(1, "000A", changed); }},
        {"logging save", [&] { return db_.SaveLogging(1, "000A", changed); }},
        {"insert", [&] { return db_.Execute(InsertStatement(kBoardVid, "000C")) == ExecStatus::Ok; }},
        {"delete", [&] { return db_.Execute(DeleteStatement(kBoardVid, "000A")) == ExecStatus::Ok; }},
        {"device list",
         [&] {
             listed = registry.List().status;
             return listed.ok();
         }},
    };
    for (const auto& c : cases) {
        bool ran = true;
        EXPECT_LT(Timed([&] { ran = c.run(); }), kBound) << c.what;
        EXPECT_FALSE(ran) << c.what;
    }
    EXPECT_EQ(loaded.channels[0].vmName, "kept");  // a failed load keeps the buffers
    EXPECT_EQ(listed.message(), "Execution of SQL statement failed");

    lock_.Release();
    BoardSettings after;
    ASSERT_TRUE(db_.LoadBoardSettings("000A", after)) << db_.LastDiagnostic();
    EXPECT_EQ(after.channels[0].vmName, "Before");
    EXPECT_EQ(registry.List().entries, std::vector<std::string>{"000A - USB  KESTRANEUNIT"});
    EXPECT_TRUE(db_.SaveOptions(1, "000A", changed)) << db_.LastDiagnostic();
}

TEST_F(DatabaseWait, UnderAnotherWritersTransactionReadsGoOnAndWritesFailInTime) {
    ASSERT_TRUE(lock_.Acquire(KESTRANE_SQLITE_LOCK_HOLDER, databasePath_, "immediate"));
    BoardSettings loaded;
    EXPECT_TRUE(db_.LoadBoardSettings("000A", loaded));
    EXPECT_EQ(loaded.channels[0].vmName, "Before");
    BoardSettings changed;
    changed.channels[0].vmName = "After";
    bool saved = true;
    EXPECT_LT(Timed([&] { saved = db_.SaveOptions(1, "000A", changed); }), kBound);
    EXPECT_FALSE(saved);
}

TEST_F(DatabaseWait, OpeningUnderALockIsBoundedToo) {
    ASSERT_TRUE(lock_.Acquire(KESTRANE_SQLITE_LOCK_HOLDER, databasePath_, "exclusive"));
    SettingsDatabase second;
    DeviceRegistry registry(second);
    bool opened = false;
    Status listed;
    EXPECT_LT(Timed([&] {
                  opened = second.Open(connection_).ok();
                  listed = registry.List().status;
              }),
              kBound);
    // The connection is made; the first statement meets the lock.
    EXPECT_TRUE(opened) << second.LastDiagnostic();
    EXPECT_EQ(listed.message(), "Execution of SQL statement failed");
}

// The same bound on a database server, through the ODBC query timeout:
// another session's open transaction holds the board's row.
class ServerWait : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        if (!server_) GTEST_SKIP() << "needs a database server";
    }
};

TEST_F(ServerWait, ASaveBlockedByAnotherSessionsRowLockFailsInTime) {
    addRow("000A", "YES");
    SettingsDatabase other;
    ASSERT_TRUE(other.Open(connection_).ok()) << other.LastDiagnostic();
    ASSERT_EQ(other.Execute({"BEGIN;", {}}), ExecStatus::Ok) << other.LastDiagnostic();
    ASSERT_EQ(other.Execute({"UPDATE Main SET PID = PID WHERE PID = ?;", {"000A"}}), ExecStatus::Ok)
        << other.LastDiagnostic();
    BoardSettings changed;
    changed.channels[0].vmName = "After";
    bool saved = true;
    const auto start = std::chrono::steady_clock::now();
    saved = db_.SaveOptions(1, "000A", changed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kBound);
    EXPECT_FALSE(saved);
    ASSERT_EQ(other.Execute({"ROLLBACK;", {}}), ExecStatus::Ok) << other.LastDiagnostic();
    BoardSettings after;
    ASSERT_TRUE(db_.LoadBoardSettings("000A", after));
    EXPECT_EQ(after.channels[0].vmName, "");
    EXPECT_TRUE(db_.SaveOptions(1, "000A", changed)) << db_.LastDiagnostic();
}

}  // namespace
}  // namespace kestrane::test
