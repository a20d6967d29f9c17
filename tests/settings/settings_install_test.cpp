// The installer and the install record: a fake program and fake libraries
// are installed into a temporary folder; XDG_CONFIG_HOME points the record
// at a temporary folder (set by the test's environment).
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "settings/install_record.h"
#include "settings/installer.h"
#include "settings/table_layout.h"
#include "test_support.h"

namespace kestrane::test {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct MemoryRecord : InstallRecord {
    std::optional<std::string> path;
    bool writable = true;
    std::optional<std::string> programPath() const override { return path; }
    bool SetProgramPath(const std::string& p) override {
        if (!writable) return false;
        path = p;
        return true;
    }
};

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        temp_.emplace("kestrane-install");  // cases call SetUp again: a fresh folder each time
        root_ = temp_->path();
        ASSERT_FALSE(root_.empty());
        source_ = root_ / "build";
        fs::create_directories(source_);
        WriteFile(source_ / "kestrane", "#!/bin/sh\necho program\n");
        fs::permissions(source_ / "kestrane",
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
        // The board library as the build makes it: a file under its full
        // version and links under the linked-against and plain names.
        WriteFile(source_ / "libKestrane_DLL.so.1.0.27", "board library");
        fs::create_symlink("libKestrane_DLL.so.1.0.27", source_ / "libKestrane_DLL.so.1");
        fs::create_symlink("libKestrane_DLL.so.1", source_ / "libKestrane_DLL.so");
        WriteFile(source_ / "libKestrane_DLL.sox", "not part of the library");
        WriteFile(source_ / "libPlotwickDLL.so", "chart library");
        request_.folder = (root_ / "Apps" / "Kestrane's folder").string();
        request_.programPath = (source_ / "kestrane").string();
        request_.librarySearchDirs = {source_.string()};
        // The test program may itself have loaded the real board library.
        request_.useLoadedLibraries = false;
    }
    void TearDown() override { temp_.reset(); }

    std::optional<TempDir> temp_;
    fs::path root_;
    fs::path source_;
    InstallRequest request_;
    MemoryRecord record_;
};

TEST_F(Installer, CopiesProgramAndLibrariesAndMakesAnEmptyDatabase) {
    const InstallResult r = InstallKestrane(request_, record_);
    ASSERT_TRUE(r.ok) << r.message;
    const fs::path folder = request_.folder;
    EXPECT_EQ(r.programPath, (folder / "kestrane").string());
    EXPECT_EQ(r.databasePath, (folder / "kestrane.MDB").string());
    EXPECT_EQ(ReadFile(folder / "kestrane"), "#!/bin/sh\necho program\n");
    EXPECT_NE(fs::status(folder / "kestrane").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(ReadFile(folder / "libKestrane_DLL.so"), "board library");
    EXPECT_EQ(ReadFile(folder / "libKestrane_DLL.so.1"), "board library");
    EXPECT_TRUE(fs::is_symlink(folder / "libKestrane_DLL.so.1"));
    EXPECT_EQ(fs::read_symlink(folder / "libKestrane_DLL.so.1"), "libKestrane_DLL.so.1.0.27");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "libKestrane_DLL.so.1.0.27")));
    EXPECT_FALSE(fs::exists(folder / "libKestrane_DLL.sox"));
    EXPECT_EQ(ReadFile(folder / "libPlotwickDLL.so"), "chart library");
    ASSERT_TRUE(record_.path);
    EXPECT_EQ(*record_.path, r.programPath);
    EXPECT_EQ(DatabasePathFor(*record_.path), r.databasePath);

    // The database has table Main, empty, with the 191 columns in load order,
    // and the key numbers the rows Add Device inserts.
    SettingsDatabase db;
    ASSERT_TRUE(db.Open(DefaultConnectionString(r.databasePath)).ok());
    const std::vector<std::string> names = db.ColumnNames(ListStatement());
    ASSERT_EQ(names.size(), 191u);
    for (int p = 1; p <= kMainColumnCount; ++p) EXPECT_EQ(names[p - 1], MainColumnAt(p).name);
    DeviceRegistry registry(db);
    EXPECT_TRUE(registry.List().entries.empty());
    EXPECT_TRUE(registry.Add("000A - USB  KESTRANEUNIT", AddMode::FirstRun).added);
    EXPECT_TRUE(registry.Add("000B - USB  KESTRANEUNIT", AddMode::Normal).added);
    const QueryResult keys = db.Query({"SELECT ID FROM Main ORDER BY PID;", {}}, {1}, {31}, 3);
    ASSERT_EQ(keys.status, ExecStatus::Ok);
    ASSERT_EQ(keys.rows.size(), 2u);
    EXPECT_FALSE(keys.rows[0][0].empty());
    EXPECT_NE(keys.rows[0][0], keys.rows[1][0]);
}

// Registers a board so the database holds a row of the user's own.
void AddBoard(const std::string& database) {
    SettingsDatabase db;
    ASSERT_TRUE(db.Open(DefaultConnectionString(database)).ok());
    ASSERT_TRUE(DeviceRegistry(db).Add("000A - USB  KESTRANEUNIT", AddMode::FirstRun).added);
}

// A second install into a folder that holds a settings database repairs or
// upgrades it: the database's bytes stay as they are, the program and the
// libraries are refreshed, older library versions go, the record is
// rewritten and the summary says what was kept and replaced.
TEST_F(Installer, RepairsAndUpgradesAroundTheKeptDatabase) {
    struct Case {
        const char* name;
        const char* firstLibraryVersion;  // what the older copy carried
        const char* firstProgramName;
        bool loseRecord;
        const char* expectProgramName;
        std::vector<std::string> expectInMessage;
        const char* expectGone;  // a file of the older copy that must go
    };
    const Case cases[] = {
        {"repair after the record was deleted",
         "1.0.27",
         "kestrane",
         true,
         "kestrane",
         {"Kept the settings database", "unchanged", "Replaced: kestrane"},
         nullptr},
        {"upgrade over an older copy",
         "1.0.20",
         "kestrane",
         false,
         "kestrane",
         {"Kept the settings database", "Replaced: kestrane", "Added: libKestrane_DLL.so.1.0.27",
          "Removed older: libKestrane_DLL.so.1.0.20"},
         "libKestrane_DLL.so.1.0.20"},
        {"upgrade over a copy named Kestrane",
         "1.0.27",
         "Kestrane",
         false,
         "Kestrane",
         {"Kept the settings database", "Kestrane.MDB"},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        // The older copy, installed from a build of its own.
        const fs::path older = root_ / "older";
        fs::create_directories(older);
        const std::string oldLibrary = std::string("libKestrane_DLL.so.") + c.firstLibraryVersion;
        WriteFile(older / c.firstProgramName, "older program");
        WriteFile(older / oldLibrary, "older board library");
        fs::create_symlink(oldLibrary, older / "libKestrane_DLL.so.1");
        fs::create_symlink("libKestrane_DLL.so.1", older / "libKestrane_DLL.so");
        WriteFile(older / "libPlotwickDLL.so", "older chart library");
        InstallRequest first = request_;
        first.programPath = (older / c.firstProgramName).string();
        first.librarySearchDirs = {older.string()};
        const InstallResult fresh = InstallKestrane(first, record_);
        ASSERT_TRUE(fresh.ok) << fresh.message;
        EXPECT_NE(fresh.message.find("Installed "), std::string::npos) << fresh.message;
        AddBoard(fresh.databasePath);
        const std::string databaseBytes = ReadFile(fresh.databasePath);
        ASSERT_FALSE(databaseBytes.empty());

        if (c.loseRecord)
            record_.path.reset();
        else
            record_.path = "/somewhere/else";
        const InstallResult again = InstallKestrane(request_, record_);
        ASSERT_TRUE(again.ok) << again.message;
        const fs::path folder = request_.folder;
        EXPECT_EQ(again.programPath, (folder / c.expectProgramName).string());
        EXPECT_EQ(again.databasePath, fresh.databasePath);
        EXPECT_EQ(ReadFile(again.databasePath), databaseBytes);
        ASSERT_TRUE(record_.path);
        EXPECT_EQ(*record_.path, again.programPath);
        EXPECT_EQ(ReadFile(again.programPath), "#!/bin/sh\necho program\n");
        EXPECT_EQ(ReadFile(folder / "libKestrane_DLL.so.1"), "board library");
        EXPECT_EQ(ReadFile(folder / "libPlotwickDLL.so"), "chart library");
        for (const std::string& text : c.expectInMessage) {
            EXPECT_NE(again.message.find(text), std::string::npos) << "missing \"" << text << "\" in\n"
                                                                   << again.message;
        }
        if (c.expectGone != nullptr) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(folder / c.expectGone)));
        }
        // No scratch copies are left behind.
        for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
            EXPECT_EQ(e.path().filename().string().find(".new"), std::string::npos) << e.path();
        }
        // The kept database still works.
        SettingsDatabase db;
        ASSERT_TRUE(db.Open(DefaultConnectionString(again.databasePath)).ok());
        EXPECT_EQ(DeviceRegistry(db).List().entries.size(), 1u);
        db.Close();
        TearDown();
    }
}

TEST_F(Installer, ADatabasePathThatIsNoFileIsNotTouched) {
    fs::create_directories(fs::path(request_.folder) / "kestrane.MDB");
    const InstallResult r = InstallKestrane(request_, record_);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("not a file"), std::string::npos) << r.message;
    EXPECT_FALSE(fs::exists(fs::path(request_.folder) / "kestrane"));
    EXPECT_FALSE(record_.path);
}

// The per-user installation a system-wide program makes at its first start:
// a link to the program and the database beside it, found again through
// the record by the usual database path rule.
TEST_F(Installer, UserInstallationLinksTheProgramAndKeepsAnExistingDatabase) {
    const fs::path data = root_ / "share" / "kestrane";
    const InstallResult first = SetUpUserInstallation(data.string(), request_.programPath, record_);
    ASSERT_TRUE(first.ok) << first.message;
    EXPECT_EQ(first.programPath, (data / "kestrane").string());
    EXPECT_TRUE(fs::is_symlink(data / "kestrane"));
    EXPECT_EQ(fs::read_symlink(data / "kestrane"), fs::path(request_.programPath));
    ASSERT_TRUE(record_.path);
    EXPECT_EQ(DatabasePathFor(*record_.path), (data / "kestrane.MDB").string());
    AddBoard(first.databasePath);
    const std::string bytes = ReadFile(first.databasePath);

    // Set up again after the record was lost: the database is kept.
    record_.path.reset();
    const InstallResult again = SetUpUserInstallation(data.string(), request_.programPath, record_);
    ASSERT_TRUE(again.ok) << again.message;
    EXPECT_NE(again.message.find("Kept"), std::string::npos) << again.message;
    EXPECT_EQ(ReadFile(again.databasePath), bytes);
    EXPECT_TRUE(record_.path);

    // Something else under the link's name is left alone.
    fs::remove(data / "kestrane");
    WriteFile(data / "kestrane", "a user's file");
    record_.path.reset();
    const InstallResult blocked = SetUpUserInstallation(data.string(), request_.programPath, record_);
    EXPECT_FALSE(blocked.ok);
    EXPECT_EQ(ReadFile(data / "kestrane"), "a user's file");
    EXPECT_FALSE(record_.path);
}

TEST_F(Installer, StopsBeforeChangingAnythingWhenAPieceIsMissing) {
    struct Case {
        const char* name;
        const char* removeFromSource;  // file taken away before installing
        bool emptyProgram;
    };
    const Case cases[] = {
        {"no board library", "libKestrane_DLL.so.1.0.27", false},  // links left dangling
        {"no chart library", "libPlotwickDLL.so", false},
        {"no program", "kestrane", false},
        {"program not named", nullptr, true},
    };
    for (const Case& c : cases) {
        SetUp();
        if (c.removeFromSource != nullptr) fs::remove(source_ / c.removeFromSource);
        InstallRequest request = request_;
        if (c.emptyProgram) request.programPath.clear();
        MemoryRecord record;
        const InstallResult r = InstallKestrane(request, record);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_FALSE(r.message.empty()) << c.name;
        EXPECT_FALSE(record.path) << c.name;
        EXPECT_FALSE(fs::exists(fs::path(request.folder) / "kestrane.MDB")) << c.name;
        TearDown();
    }
}

TEST_F(Installer, FailedRecordIsReported) {
    record_.writable = false;
    const InstallResult r = InstallKestrane(request_, record_);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Cannot write the install record");
}

TEST_F(Installer, DatabaseFileNamesThatNeedQuotingInTheConnectionString) {
    for (const char* name : {"x=y.MDB", " lead.MDB", "Kestrane's \"db\".MDB", "caf\xC3\xA9.MDB"}) {
        const fs::path path = root_ / name;
        std::string error;
        ASSERT_TRUE(CreateSettingsDatabase(path.string(), error)) << name << ": " << error;
        EXPECT_TRUE(fs::is_regular_file(path)) << name;
        SettingsDatabase db;
        ASSERT_TRUE(db.Open(DefaultConnectionString(path.string())).ok()) << name;
        EXPECT_EQ(db.ColumnNames(ListStatement()).size(), 191u) << name;
    }
}

TEST_F(Installer, PathsTheDriverCannotBeGivenAreRefusedUpFront) {
    for (const char* name : {"a;b.MDB", "{braced}.MDB", "c}.MDB", "trail.MDB "}) {
        std::string error;
        EXPECT_FALSE(CreateSettingsDatabase((root_ / name).string(), error)) << name;
        EXPECT_NE(error.find("may not contain"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(root_ / name)) << name;
    }
    request_.folder = (root_ / "semi;colon").string();
    const InstallResult r = InstallKestrane(request_, record_);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(fs::exists(root_ / "semi;colon"));
    EXPECT_FALSE(record_.path);
}

TEST(SystemInstallRecordTest, RoundTripsThroughTheConfigFile) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr) << "the test runs with XDG_CONFIG_HOME set to a scratch folder";
    const fs::path file = fs::path(config) / "Morvane" / "Kestrane.conf";
    std::error_code ec;
    fs::remove(file, ec);

    SystemInstallRecord record;
    EXPECT_FALSE(record.programPath());
    ASSERT_TRUE(record.SetProgramPath("/opt/Kestrane's/kestrane"));
    EXPECT_EQ(record.programPath(), std::optional<std::string>("/opt/Kestrane's/kestrane"));
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_NE(ReadFile(file).find("[AppPaths]"), std::string::npos);
    fs::remove(file, ec);
}

TEST(InstallFolder, DefaultIsUnderTheHomeFolder) {
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(DefaultInstallFolder(), (fs::path(home) / ".local/lib/kestrane").string());
}

TEST(InstallFolder, UserDataFolderFollowsXdgDataHome) {
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DefaultUserDataFolder(), (fs::path(home) / ".local/share/kestrane").string());
    setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(DefaultUserDataFolder(), (fs::path(home) / ".local/share/kestrane").string());
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(DefaultUserDataFolder(), "/data/kestrane");
    if (saved != nullptr)
        setenv("XDG_DATA_HOME", restore.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace kestrane::test
