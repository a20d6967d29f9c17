// Shared pieces of the settings tests: a fresh settings database per test
// (a temporary SQLite file, or the server whose connection string the file
// named by KESTRANE_TEST_ODBC_FILE holds, passed on through KESTRANE_ODBC),
// a message recorder and a fake board directory.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "settings/device_registry.h"
#include "settings/installer.h"
#include "settings/message_sink.h"
#include "settings/settings_database.h"
#include "temp_dir.h"

namespace kestrane::test {

struct RecordingSink : MessageSink {
    std::vector<std::pair<std::string, std::string>> messages;  // caption, text
    void ShowError(const std::string& caption, const std::string& text) override {
        messages.emplace_back(caption, text);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages) out.push_back(m.second);
        return out;
    }
};

struct FakeBoards : BoardDirectory {
    bool listOk = true;
    std::string list;
    std::map<uint32_t, std::string> products;
    bool FindBoards(std::string& out) override {
        if (!listOk) return false;
        out = list;
        return true;
    }
    bool ProductString(uint32_t id, std::string& text) override {
        const auto it = products.find(id);
        if (it == products.end()) return false;
        text = it->second;
        return true;
    }
};

// A fresh, empty table Main for one test. Against SQLite it is a new file
// whose path holds an apostrophe and blanks; against a server named by
// KESTRANE_TEST_ODBC_FILE the table is dropped and made again.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* file = std::getenv("KESTRANE_TEST_ODBC_FILE");
        if (file != nullptr && *file != '\0') {
            std::ifstream in(file);
            std::string line;
            std::getline(in, line);
            if (!in && line.empty()) GTEST_SKIP() << "no connection file " << file;
            if (line.rfind("SKIP", 0) == 0) GTEST_SKIP() << line;
            // The client's own override: KESTRANE_ODBC replaces the SQLite
            // connection string, whatever the database path.
            ::setenv("KESTRANE_ODBC", line.c_str(), 1);
            connection_ = ConnectionStringFor("/nonexistent/Kestrane.MDB");
            EXPECT_EQ(connection_, line);
            server_ = true;
        } else {
            temp_.emplace("kestrane-settings");
            dir_ = temp_->path();
            ASSERT_FALSE(dir_.empty());
            databasePath_ = (dir_ / "Kestrane's settings.MDB").string();
            std::string error;
            ASSERT_TRUE(CreateSettingsDatabase(databasePath_, error)) << error;
            connection_ = DefaultConnectionString(databasePath_);
        }
        ASSERT_TRUE(db_.Open(connection_).ok()) << db_.LastDiagnostic();
        if (server_) {
            db_.Execute({"DROP TABLE IF EXISTS Main;", {}});
            std::string error;
            ASSERT_TRUE(CreateMainTable(db_, error)) << error;
        }
    }
    void TearDown() override { db_.Close(); }

    // Inserts a board row directly, as an earlier run of the client would.
    void addRow(const std::string& pid, const std::string& isDefault) {
        ASSERT_EQ(db_.Execute(InsertStatement(kBoardVid, pid)), ExecStatus::Ok) << db_.LastDiagnostic();
        if (!isDefault.empty()) {
            const char q = db_.IdentifierQuote();
            const SqlStatement s{"UPDATE Main SET " + std::string(1, q) + "DEFAULT" + std::string(1, q) +
                                     " = ? WHERE PID = ?;",
                                 {isDefault, pid}};
            ASSERT_EQ(db_.Execute(s), ExecStatus::Ok) << db_.LastDiagnostic();
        }
    }

    // Sets one named column of a row (names come from the test, not input).
    void setColumn(const std::string& pid, const std::string& column, const std::string& value) {
        const SqlStatement s{"UPDATE Main SET " + column + " = ? WHERE VID = ? AND PID = ?;",
                             {value, kBoardVid, pid}};
        ASSERT_EQ(db_.Execute(s), ExecStatus::Ok) << db_.LastDiagnostic();
    }

    // The DEFAULT column of every row, PID -> value.
    std::map<std::string, std::string> defaults() {
        std::map<std::string, std::string> out;
        const QueryResult r = db_.Query(ListStatement(), {3, 5}, {31, 31}, 1000);
        for (const auto& row : r.rows) out[row[0]] = row[1];
        return out;
    }

    bool server_ = false;
    std::optional<TempDir> temp_;
    std::filesystem::path dir_;
    std::string databasePath_;
    std::string connection_;
    RecordingSink sink_;
    SettingsDatabase db_;
};

}  // namespace kestrane::test
