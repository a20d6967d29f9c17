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

// Notes how many handles were still held when each message was shown.
struct HandleCheckingSink : RecordingSink {
    std::vector<std::pair<int, int>> liveAtMessage;  // environments, connections
    void showError(const std::string& caption, const std::string& text) override {
        liveAtMessage.emplace_back(shim.liveEnvironments, shim.liveConnections);
        RecordingSink::showError(caption, text);
    }
};

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
        HandleCheckingSink sink;
        {
            SettingsDatabase db;
            EXPECT_FALSE(db.open(c.connection, sink));
            EXPECT_FALSE(db.isOpen());
            ASSERT_EQ(sink.messages.size(), 1u);
            EXPECT_EQ(sink.messages[0].first, "Morvane Kestrane Client");
            EXPECT_EQ(sink.messages[0].second, c.message);
            EXPECT_EQ(sink.liveAtMessage[0], std::make_pair(0, 0));

            // Start-up carries on: the device list then finds no statement handle.
            shim.failAt = FailAt::Nothing;
            DeviceRegistry registry(db);
            const DeviceList list = registry.list(sink);
            EXPECT_FALSE(list.ok);
            EXPECT_EQ(sink.texts(),
                      (std::vector<std::string>{c.message, "Statement handle allocation failed"}));
        }
        EXPECT_EQ(shim.liveEnvironments, 0);
        EXPECT_EQ(shim.liveConnections, 0);
    }
}

TEST(SettingsDatabaseOpen, OpeningThroughTheShimStillWorksAndClosingFreesBothHandles) {
    shim = DriverManagerShim{};
    RecordingSink sink;
    {
        SettingsDatabase db;
        ASSERT_TRUE(db.open("DRIVER=SQLite3;Database=:memory:", sink)) << db.lastDiagnostic();
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(shim.liveEnvironments, 1);
        EXPECT_EQ(shim.liveConnections, 1);
    }
    EXPECT_EQ(shim.liveEnvironments, 0);
    EXPECT_EQ(shim.liveConnections, 0);
}

}  // namespace
}  // namespace kestrane::test
