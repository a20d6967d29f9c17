// The per-user options in the client's QSettings file, pointed at a private
// folder: the choice survives a new reader, sits beside the install record
// without disturbing it, reads damaged values as off, and a file that
// cannot be written is reported.
#include "settings/user_options.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <filesystem>
#include <fstream>

#include "settings/install_record.h"
#include "temp_dir.h"

namespace kestrane {
namespace {

namespace fs = std::filesystem;

class UserOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp_.path().empty());
        const QString dir = QString::fromStdString(temp_.path().string());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
    }
    fs::path File() const { return temp_.path() / "Morvane" / "Kestrane.conf"; }
    void WriteRaw(const std::string& text) const {
        fs::create_directories(File().parent_path());
        std::ofstream(File()) << text;
    }
    test::TempDir temp_{"kestrane-useroptions"};
};

TEST_F(UserOptionsTest, TheChoiceIsKeptBesideTheInstallRecord) {
    SystemInstallRecord record;
    ASSERT_TRUE(record.SetProgramPath("/opt/k/Kestrane"));
    SystemUserOptions options;
    EXPECT_FALSE(options.reconnectAutomatically());  // off until turned on
    ASSERT_TRUE(options.SetReconnectAutomatically(true));
    EXPECT_TRUE(SystemUserOptions().reconnectAutomatically());  // a fresh reader, as at the next start
    EXPECT_TRUE(fs::exists(File()));
    EXPECT_EQ(record.programPath(), std::optional<std::string>("/opt/k/Kestrane"));
    ASSERT_TRUE(options.SetReconnectAutomatically(false));
    EXPECT_FALSE(SystemUserOptions().reconnectAutomatically());
    EXPECT_EQ(record.programPath(), std::optional<std::string>("/opt/k/Kestrane"));
}

TEST_F(UserOptionsTest, OnlyAStoredTrueTurnsItOn) {
    const struct {
        const char* stored;
        bool on;
    } cases[] = {
        {"true", true}, {"false", false},   {"1", false},          {"yes", false},
        {"", false},    {"\"true\"", true}, {"@Invalid()", false}, {"tru\\x0e", false},
    };
    for (const auto& c : cases) {
        WriteRaw(std::string("[Options]\nReconnectAutomatically=") + c.stored + "\n");
        EXPECT_EQ(SystemUserOptions().reconnectAutomatically(), c.on) << c.stored;
    }
    WriteRaw("\x01\xff garbage without sections\n[[[\n");
    EXPECT_FALSE(SystemUserOptions().reconnectAutomatically());
}

TEST_F(UserOptionsTest, AFileThatCannotBeWrittenIsReported) {
    // A folder where the file should be: no user can write it, root included.
    fs::create_directories(File());
    EXPECT_FALSE(SystemUserOptions().SetReconnectAutomatically(true));
}

TEST(ReconnectThisRun, CommandLineOrStoredChoice) {
    struct Stored final : UserOptions {
        bool on = false;
        bool reconnectAutomatically() const override { return on; }
        bool SetReconnectAutomatically(bool v) override { return (on = v), true; }
    } stored;
    EXPECT_FALSE(ReconnectThisRun(stored, false));
    EXPECT_TRUE(ReconnectThisRun(stored, true));
    stored.on = true;
    EXPECT_TRUE(ReconnectThisRun(stored, false));
}

}  // namespace
}  // namespace kestrane
