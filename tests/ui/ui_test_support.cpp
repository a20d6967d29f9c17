#include "ui_test_support.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "settings/install_record.h"
#include "settings/installer.h"
#include "settings/settings_database.h"
#include "settings/statements.h"
#include "temp_dir.h"

namespace kestrane::ui::test {
namespace {

const kestrane::test::TempDir& Root() {
    static const kestrane::test::TempDir dir("kestrane-ui");
    return dir;
}

std::string SimulationPath() { return TestRoot() + "/board.sim"; }

}  // namespace

void PrepareProcessEnvironment() {
    const std::string root = TestRoot();
    QDir().mkpath(QString::fromStdString(root + "/config"));
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    // Board owner locks of this program only.
    QDir().mkpath(QString::fromStdString(root + "/run"));
    // A runtime folder is the user's alone; Qt warns about any other mode.
    std::filesystem::permissions(root + "/run", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    setenv("KESTRANE_SIMULATION", SimulationPath().c_str(), 1);
    unsetenv("KESTRANE_ODBC");
    WriteSimulation("");
}

std::string TestRoot() { return Root().path().string(); }

void WriteSimulation(const std::string& text) {
    QSaveFile file(QString::fromStdString(SimulationPath()));
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.commit();
}

void SetInstalledProgram(const std::string& programPath) {
    SystemInstallRecord record;
    record.SetProgramPath(programPath);
}

void RemoveInstallRecord() {
    QSettings settings(QString::fromLatin1(kRecordOrganisation), QString::fromLatin1(kRecordApplication));
    settings.remove(QString::fromLatin1(kRecordKey));
    settings.sync();
}

std::string MakeInstallation(const std::vector<BoardRow>& rows, std::string& error) {
    static std::atomic<int> counter{0};
    const std::string folder = TestRoot() + "/app" + std::to_string(counter++);
    QDir().mkpath(QString::fromStdString(folder));
    const std::string program = folder + "/Kestrane";
    const std::string database = DatabasePathFor(program);
    if (!CreateSettingsDatabase(database, error)) return {};
    SettingsDatabase db;
    NullMessageSink quiet;
    if (!db.Open(DefaultConnectionString(database)).ok()) {
        error = "cannot open " + database + ": " + db.LastDiagnostic();
        return {};
    }
    for (const BoardRow& row : rows) {
        if (db.Execute(InsertStatement(kBoardVid, row.pid)) != ExecStatus::Ok) {
            error = "insert failed: " + db.LastDiagnostic();
            return {};
        }
        if (row.isDefault) db.Execute(SetDefaultStatement(db.IdentifierQuote(), kBoardVid, row.pid));
        for (int n = 1; n <= kChannelCount; ++n) {
            if (!db.SaveOptions(n, row.pid, row.settings) || !db.SaveFilter(n, row.pid, row.settings) ||
                !db.SaveLogging(n, row.pid, row.settings)) {
                error = "save failed: " + db.LastDiagnostic();
                return {};
            }
        }
    }
    return program;
}

void RecordingMessages::ShowError(const std::string& caption, const std::string& text) {
    shown.emplace_back(caption, text);
    if (whileOpen) whileOpen();
}

ChannelSettings MakeChannel(const char* enable, const char* name, const char* adj, const char* precision,
                            const char* mode) {
    ChannelSettings c;
    c.enable = enable;
    c.vmName = name;
    c.adj = adj;
    c.precision = precision;
    c.mode = mode;
    c.notes = std::string("Notes for ") + name + "\nsecond line";
    c.highEnable = "DISABLED";
    c.lowEnable = "DISABLED";
    c.highTestEvery = "One Shot";
    c.lowTestEvery = "One Shot";
    c.filterEnable = "NO";
    c.filterWeight = "20";
    c.logEnabled = "NO";
    c.logSize = "1 Megabyte";
    c.logInterval = "5 Secs";
    return c;
}

}  // namespace kestrane::ui::test
