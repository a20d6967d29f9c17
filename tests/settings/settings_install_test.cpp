// The installer and the install record: a fake program and fake libraries
// are installed into a temporary folder; XDG_CONFIG_HOME points the record
// at a temporary folder (set by the test's environment).
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <fstream>
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
    bool setProgramPath(const std::string& p) override {
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
        fs::permissions(source_ / "kestrane", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
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
    RecordingSink sink;
    ASSERT_TRUE(db.open(DefaultConnectionString(r.databasePath), sink));
    const std::vector<std::string> names = db.columnNames(ListStatement());
    ASSERT_EQ(names.size(), 191u);
    for (int p = 1; p <= kMainColumnCount; ++p) EXPECT_EQ(names[p - 1], MainColumnAt(p).name);
    DeviceRegistry registry(db);
    EXPECT_TRUE(registry.list(sink).entries.empty());
    EXPECT_TRUE(registry.add("000A - USB  KESTRANEUNIT", AddMode::FirstRun).added);
    EXPECT_TRUE(registry.add("000B - USB  KESTRANEUNIT", AddMode::Normal).added);
    BoardSettings a, b;
    ASSERT_TRUE(db.loadBoardSettings("000A", a));
    ASSERT_TRUE(db.loadBoardSettings("000B", b));
    EXPECT_FALSE(a.column1.empty());
    EXPECT_NE(a.column1, b.column1);
}

TEST_F(Installer, NeverOverwritesAnExistingDatabase) {
    ASSERT_TRUE(InstallKestrane(request_, record_).ok);
    const std::string database = DatabasePathFor(*record_.path);
    {
        SettingsDatabase db;
        RecordingSink sink;
        ASSERT_TRUE(db.open(DefaultConnectionString(database), sink));
        ASSERT_TRUE(DeviceRegistry(db).add("000A - USB  KESTRANEUNIT", AddMode::FirstRun).added);
    }
    WriteFile(source_ / "kestrane", "newer program");
    record_.path = "/somewhere/else";
    const InstallResult again = InstallKestrane(request_, record_);
    EXPECT_FALSE(again.ok);
    EXPECT_NE(again.message.find("not overwritten"), std::string::npos) << again.message;
    // Nothing at all changed: the board is still registered, the program and
    // the record are as they were.
    SettingsDatabase db;
    RecordingSink sink;
    ASSERT_TRUE(db.open(DefaultConnectionString(database), sink));
    EXPECT_EQ(DeviceRegistry(db).list(sink).entries.size(), 1u);
    EXPECT_EQ(ReadFile(fs::path(request_.folder) / "kestrane"), "#!/bin/sh\necho program\n");
    EXPECT_EQ(*record_.path, "/somewhere/else");

    std::string error;
    EXPECT_FALSE(CreateSettingsDatabase(database, error));
    EXPECT_FALSE(error.empty());
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
        RecordingSink sink;
        ASSERT_TRUE(db.open(DefaultConnectionString(path.string()), sink)) << name;
        EXPECT_EQ(db.columnNames(ListStatement()).size(), 191u) << name;
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
    ASSERT_TRUE(record.setProgramPath("/opt/Kestrane's/kestrane"));
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

}  // namespace
}  // namespace kestrane::test
