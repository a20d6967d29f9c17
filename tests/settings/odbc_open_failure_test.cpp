// Opening the settings database when the ODBC driver manager fails at each
// step. The test program puts its own SQLAllocHandle, SQLSetEnvAttr and
// SQLFreeHandle in front of the driver manager's, failing the chosen step
// and counting live handles, so every message and every release is checked
// against the real library otherwise.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/device_registry.h"
#include "test_support.h"

namespace {

enum class FailAt { Nothing, Environment, Version, Connection };

struct DriverManagerShim {
    FailAt failAt = FailAt::Nothing;
    int liveEnvironments = 0;
    int liveConnections = 0;
};
DriverManagerShim shim;

template <typename Fn>
Fn Real(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE parent, SQLHANDLE* out) {
    if ((type == SQL_HANDLE_ENV && shim.failAt == FailAt::Environment) ||
        (type == SQL_HANDLE_DBC && shim.failAt == FailAt::Connection)) {
        if (out != nullptr) *out = SQL_NULL_HANDLE;
        return SQL_ERROR;
    }
    static const auto real = Real<SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*)>("SQLAllocHandle");
    const SQLRETURN rc = real(type, parent, out);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (type == SQL_HANDLE_ENV) ++shim.liveEnvironments;
        if (type == SQL_HANDLE_DBC) ++shim.liveConnections;
    }
    return rc;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
    if (attribute == SQL_ATTR_ODBC_VERSION && shim.failAt == FailAt::Version) return SQL_ERROR;
    static const auto real =
        Real<SQLRETURN(SQL_API*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER)>("SQLSetEnvAttr");
    return real(env, attribute, value, length);
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    static const auto real = Real<SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
    const SQLRETURN rc = real(type, handle);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (type == SQL_HANDLE_ENV) --shim.liveEnvironments;
        if (type == SQL_HANDLE_DBC) --shim.liveConnections;
    }
    return rc;
}

}  // extern "C"

namespace kestrane::test {
namespace {

struct OpenFailureCase {
    FailAt failAt;
    const char* connection;
    const char* message;
};

TEST(SettingsDatabaseOpen, EachFailingStepFreesItsHandlesThenReportsItsOwnMessage) {
    const OpenFailureCase cases[] = {
        {FailAt::Environment, "DRIVER=SQLite3;Database=:memory:", "Environment handle allocation failed"},
        {FailAt::Version, "DRIVER=SQLite3;Database=:memory:", "Cannot set desired ODBC version"},
        {FailAt::Connection, "DRIVER=SQLite3;Database=:memory:", "Connection handle allocation failed"},
        {FailAt::Nothing, "DRIVER=NoSuchKestraneDriver;Database=/tmp/none.MDB", "Connection attempt failed"},
    };
    for (const OpenFailureCase& c : cases) {
        SCOPED_TRACE(c.message);
        shim = DriverManagerShim{};
        shim.failAt = c.failAt;
        {
            SettingsDatabase db;
            const Status opened = db.Open(c.connection);
            EXPECT_FALSE(opened.ok());
            EXPECT_EQ(opened.message(), c.message);
            EXPECT_FALSE(db.isOpen());
            // Whatever the failed step had allocated is freed before the caller hears of it.
            EXPECT_EQ(std::make_pair(shim.liveEnvironments, shim.liveConnections), std::make_pair(0, 0));

            // Start-up carries on: the device list then finds no statement handle.
            shim.failAt = FailAt::Nothing;
            const DeviceList list = DeviceRegistry(db).List();
            EXPECT_FALSE(list.status.ok());
            EXPECT_EQ(list.status.message(), "Statement handle allocation failed");
            EXPECT_TRUE(list.entries.empty());
        }
        EXPECT_EQ(shim.liveEnvironments, 0);
        EXPECT_EQ(shim.liveConnections, 0);
    }
}

TEST(SettingsDatabaseOpen, OpeningThroughTheShimStillWorksAndClosingFreesBothHandles) {
    shim = DriverManagerShim{};
    {
        SettingsDatabase db;
        const Status opened = db.Open("DRIVER=SQLite3;Database=:memory:");
        ASSERT_TRUE(opened.ok()) << db.LastDiagnostic();
        EXPECT_EQ(opened.message(), "");
        EXPECT_EQ(shim.liveEnvironments, 1);
        EXPECT_EQ(shim.liveConnections, 1);
    }
    EXPECT_EQ(shim.liveEnvironments, 0);
    EXPECT_EQ(shim.liveConnections, 0);
}

}  // namespace
}  // namespace kestrane::test
