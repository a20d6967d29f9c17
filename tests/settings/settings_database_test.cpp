// The settings database against a real ODBC driver: opening, loading a row
// by position with its read limits, the save statements, and the device
// registry's statements. Runs on SQLite and, through KESTRANE_TEST_ODBC_FILE,
// on PostgreSQL.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/device_registry.h"
#include "settings/statements.h"
#include "settings/table_layout.h"
#include "test_support.h"

namespace kestrane::test {
namespace {

std::string Repeat(const std::string& unit, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += unit;
    return out;
}

TEST(SettingsDatabaseOpen, FailedConnectionIsReportedAndLaterStatementsFindNoHandle) {
    const std::vector<std::string> broken = {
        "DRIVER=NoSuchKestraneDriver;Database=/tmp/none.MDB",
        "this is not a connection string",
        "",
    };
    for (const std::string& connection : broken) {
        SCOPED_TRACE(connection);
        SettingsDatabase db;
        const Status opened = db.Open(connection);
        EXPECT_FALSE(opened.ok());
        EXPECT_EQ(opened.message(), "Connection attempt failed");
        EXPECT_FALSE(db.isOpen());

        // Filling the device list then reports the missing statement handle.
        const DeviceList list = DeviceRegistry(db).List();
        EXPECT_FALSE(list.status.ok());
        EXPECT_EQ(list.status.message(), "Statement handle allocation failed");
        EXPECT_TRUE(list.entries.empty());

        // A load without a connection leaves the settings as they were.
        BoardSettings settings;
        settings.channels[0].vmName = "kept";
        EXPECT_FALSE(db.LoadBoardSettings("000A", settings));
        EXPECT_EQ(settings.channels[0].vmName, "kept");
        EXPECT_EQ(db.Execute(ListStatement()), ExecStatus::NoHandle);
        EXPECT_FALSE(db.SaveOptions(1, "000A", settings));
        db.Close();  // closing a never-opened database is harmless
    }
}

// Database files made by something else: garbage, or a table Main of
// another layout. Nothing crashes and nothing reads past a field's limit.
TEST(SettingsDatabaseForeign, GarbageFilesAndOtherLayoutsAreSurvived) {
    const TempDir temp("kestrane-settings");
    const std::filesystem::path dir = temp.path();
    ASSERT_FALSE(dir.empty());
    {
        const std::filesystem::path garbage = dir / "garbage.MDB";
        std::ofstream(garbage, std::ios::binary) << std::string(5000, '\xA5') << "SQLite format 3";
        SettingsDatabase db;
        const Status opened = db.Open(DefaultConnectionString(garbage.string()));
        if (opened.ok()) {
            EXPECT_EQ(DeviceRegistry(db).List().status.message(), "Execution of SQL statement failed");
            BoardSettings s;
            s.pid = "kept";
            EXPECT_FALSE(db.LoadBoardSettings("000A", s));
            EXPECT_EQ(s.pid, "kept");
        } else {
            EXPECT_EQ(opened.message(), "Connection attempt failed");
        }
    }
    {
        const std::filesystem::path other = dir / "other.MDB";
        SettingsDatabase db;
        ASSERT_TRUE(db.Open(DefaultConnectionString(other.string())).ok());
        // Three columns only, the last one a blob with zero bytes and far
        // more than any field keeps.
        ASSERT_EQ(db.Execute({"CREATE TABLE Main (VID TEXT, PID TEXT, X BLOB);", {}}), ExecStatus::Ok);
        ASSERT_EQ(db.Execute({"INSERT INTO Main VALUES ('0000', '000A', zeroblob(4000));", {}}),
                  ExecStatus::Ok);
        ASSERT_EQ(db.Execute({"INSERT INTO Main VALUES ('0000', '000A', randomblob(4000));", {}}),
                  ExecStatus::Ok);
        BoardSettings s;
        ASSERT_TRUE(db.LoadBoardSettings("000A", s));
        EXPECT_EQ(s.vid, "000A");  // read by position, as stored
        EXPECT_LE(s.pid.size(), 31u);
        EXPECT_EQ(s.channels[5].logPath, "");
        const DeviceList list = DeviceRegistry(db).List();
        ASSERT_TRUE(list.status.ok());
        ASSERT_EQ(list.entries.size(), 2u);
        for (const std::string& e : list.entries) EXPECT_LE(e.size(), 31u + 20u);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

using SettingsLoad = DatabaseTest;

TEST_F(SettingsLoad, EveryColumnLandsInItsFieldByPosition) {
    addRow("000A", "YES");
    // Each column holds its own name, so a shifted binding shows up at once.
    SqlStatement fill{"UPDATE Main SET ", {}};
    for (int p = 4; p <= kMainColumnCount; ++p) {
        if (p == 5) continue;  // DEFAULT is set above
        if (!fill.values.empty()) fill.text += ", ";
        fill.text += MainColumnAt(p).name + " = ?";
        fill.values.push_back(MainColumnAt(p).name);
    }
    fill.text += " WHERE PID = ?;";
    fill.values.push_back("000A");
    ASSERT_EQ(db_.Execute(fill), ExecStatus::Ok) << db_.LastDiagnostic();

    BoardSettings s;
    ASSERT_TRUE(db_.LoadBoardSettings("000A", s));
    EXPECT_EQ(s.vid, "0000");
    EXPECT_EQ(s.pid, "000A");
    EXPECT_EQ(s.isDefault, "YES");

    struct Member {
        const char* suffix;
        std::string ChannelSettings::*field;
    };
    const Member members[] = {
        {"ENABLE", &ChannelSettings::enable},
        {"NOTES", &ChannelSettings::notes},
        {"VMNAME", &ChannelSettings::vmName},
        {"ADJ", &ChannelSettings::adj},
        {"PRECISION", &ChannelSettings::precision},
        {"MODE", &ChannelSettings::mode},
        {"AMP", &ChannelSettings::amp},
        {"MILLIVOLT", &ChannelSettings::millivolt},
        {"HIGHTRIGGERMAX", &ChannelSettings::highTriggerMax},
        {"HIGHTRIGGERMIN", &ChannelSettings::highTriggerMin},
        {"LOWTRIGGERMAX", &ChannelSettings::lowTriggerMax},
        {"LOWTRIGGERMIN", &ChannelSettings::lowTriggerMin},
        {"HIGHTESTEVERY", &ChannelSettings::highTestEvery},
        {"LOWTESTEVERY", &ChannelSettings::lowTestEvery},
        {"HIGHENABLE", &ChannelSettings::highEnable},
        {"LOWENABLE", &ChannelSettings::lowEnable},
        {"HIGHFILE", &ChannelSettings::highFile},
        {"LOWFILE", &ChannelSettings::lowFile},
        {"HIGHSOUND", &ChannelSettings::highSound},
        {"LOWSOUND", &ChannelSettings::lowSound},
        {"HIGHNORMSOUND", &ChannelSettings::highNormSound},
        {"HIGHNORMFILE", &ChannelSettings::highNormFile},
        {"LOWNORMSOUND", &ChannelSettings::lowNormSound},
        {"LOWNORMFILE", &ChannelSettings::lowNormFile},
        {"FILTERENABLE", &ChannelSettings::filterEnable},
        {"FILTERWEIGHT", &ChannelSettings::filterWeight},
        {"LOGENABLED", &ChannelSettings::logEnabled},
        {"LOGSIZE", &ChannelSettings::logSize},
        {"LOGINTERVAL", &ChannelSettings::logInterval},
        {"LOGFILENAME", &ChannelSettings::logFileName},
        {"LOGPATH", &ChannelSettings::logPath},
    };
    for (int n = 1; n <= kChannelCount; ++n) {
        for (const Member& m : members) {
            EXPECT_EQ(s.channels[n - 1].*m.field, "VM" + std::to_string(n) + m.suffix);
        }
    }
}

TEST_F(SettingsLoad, LongValuesAreCutToTheirLimitOnCharacterBoundaries) {
    struct Case {
        const char* column;
        std::string stored;
        std::string ChannelSettings::*field;
        std::string expected;
    };
    const std::string e = "\xC3\xA9";             // é, 2 bytes
    const std::string euro = "\xE2\x82\xAC";      // €, 3 bytes
    const std::string clef = "\xF0\x9D\x84\x9E";  // 𝄞, 4 bytes
    const std::vector<Case> cases = {
        {"VM1NOTES", std::string(600, 'n'), &ChannelSettings::notes, std::string(511, 'n')},
        {"VM2NOTES", Repeat(e, 300), &ChannelSettings::notes, Repeat(e, 255)},  // 511 would split
        {"VM3HIGHFILE", std::string(127, 'p'), &ChannelSettings::highFile, std::string(126, 'p')},
        {"VM3LOWSOUND", "x" + Repeat(euro, 50), &ChannelSettings::lowSound, "x" + Repeat(euro, 41)},
        {"VM4LOGFILENAME", std::string(63, 'f'), &ChannelSettings::logFileName, std::string(62, 'f')},
        {"VM4LOGPATH", std::string(127, '/'), &ChannelSettings::logPath, std::string(126, '/')},
        {"VM5LOGFILENAME", Repeat(clef, 20), &ChannelSettings::logFileName, Repeat(clef, 15)},
        {"VM5VMNAME", std::string(40, 'v'), &ChannelSettings::vmName, std::string(31, 'v')},
        {"VM6ADJ", "1" + Repeat(e, 16), &ChannelSettings::adj, "1" + Repeat(e, 15)},
        {"VM6NOTES", std::string(511, 'k'), &ChannelSettings::notes, std::string(511, 'k')},
        {"VM6HIGHFILE", std::string(126, 'q'), &ChannelSettings::highFile, std::string(126, 'q')},
    };
    addRow("000A", "");
    for (const Case& c : cases) setColumn("000A", c.column, c.stored);
    BoardSettings s;
    ASSERT_TRUE(db_.LoadBoardSettings("000A", s));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        const int channel = c.column[2] - '0';
        EXPECT_EQ(s.channels[channel - 1].*c.field, c.expected);
    }
}

TEST_F(SettingsLoad, NewOrMissingRowsLoadAsEmptyTexts) {
    addRow("000A", "");  // as Add Device leaves it: only VID and PID
    BoardSettings s;
    s.channels[2].notes = "previous board";
    s.channels[5].logPath = "/previous/";
    ASSERT_TRUE(db_.LoadBoardSettings("000A", s));
    EXPECT_EQ(s.pid, "000A");
    EXPECT_EQ(s.isDefault, "");
    for (const ChannelSettings& c : s.channels) {
        EXPECT_EQ(c.enable, "");
        EXPECT_EQ(c.notes, "");
        EXPECT_EQ(c.mode, "");
        EXPECT_EQ(c.logPath, "");
    }
    // No row at all, also for the empty PID of an empty selector: every
    // field is emptied.
    for (const std::string pid : {"0FFF", ""}) {
        s.channels[0].vmName = "stale";
        s.pid = "stale";
        ASSERT_TRUE(db_.LoadBoardSettings(pid, s));
        EXPECT_EQ(s.channels[0].vmName, "");
        EXPECT_EQ(s.pid, "");
    }
}

TEST_F(SettingsLoad, AFailedLoadKeepsWhatWasLoadedBefore) {
    addRow("000A", "");
    setColumn("000A", "VM1VMNAME", "Battery");
    BoardSettings s;
    ASSERT_TRUE(db_.LoadBoardSettings("000A", s));
    ASSERT_EQ(db_.Execute({"DROP TABLE Main;", {}}), ExecStatus::Ok);
    EXPECT_FALSE(db_.LoadBoardSettings("000A", s));
    EXPECT_EQ(s.channels[0].vmName, "Battery");
}

ChannelSettings DistinctChannel(int n) {
    ChannelSettings c;
    const std::string tag = std::to_string(n);
    for (int k = 0; k < kChannelBlockColumns; ++k) BlockField(c, k) = "v" + tag + "-" + std::to_string(k);
    c.enable = "YES";
    c.notes = "Line one of " + tag + "\r\nIt's the \"shunt\"; -- not SQL";
    c.vmName = "O'Brien " + tag;
    c.mode = "vdc";  // stored exactly as typed; readers decide what it means
    c.highFile = "/opt/alarm's/run " + tag + ".sh";
    c.lowNormSound = "/home/x/Don't panic.wav";
    c.filterEnable = "YES";
    c.filterWeight = "0.25";
    c.logEnabled = "YES";
    c.logSize = "2 Megabytes";
    c.logInterval = "5 Secs";
    c.logFileName = "ch" + tag + "'s.log";
    c.logPath = "/var/log/kestrane's/";
    return c;
}

using SettingsSave = DatabaseTest;

TEST_F(SettingsSave, EachSaveWritesExactlyItsColumnsAndValuesComeBackUnchanged) {
    enum Kind { Options, Filter, Logging };
    for (Kind kind : {Options, Filter, Logging}) {
        for (int n = 1; n <= kChannelCount; ++n) {
            SCOPED_TRACE("kind " + std::to_string(kind) + " channel " + std::to_string(n));
            db_.Execute(DeleteStatement(kBoardVid, "000A"));
            db_.Execute(DeleteStatement(kBoardVid, "000B"));
            addRow("000A", "");
            addRow("000B", "");
            BoardSettings in;
            for (int m = 1; m <= kChannelCount; ++m) in.channels[m - 1] = DistinctChannel(m);
            bool saved = false;
            switch (kind) {
                case Options:
                    saved = db_.SaveOptions(n, "000A", in);
                    break;
                case Filter:
                    saved = db_.SaveFilter(n, "000A", in);
                    break;
                case Logging:
                    saved = db_.SaveLogging(n, "000A", in);
                    break;
            }
            ASSERT_TRUE(saved) << db_.LastDiagnostic();

            BoardSettings out;
            ASSERT_TRUE(db_.LoadBoardSettings("000A", out));
            const ChannelSettings& want = in.channels[n - 1];
            const ChannelSettings& got = out.channels[n - 1];
            for (int k = 0; k < kChannelBlockColumns; ++k) {
                const bool written = (kind == Options && k < 24) || (kind == Filter && k >= 24);
                EXPECT_EQ(BlockField(got, k), written ? BlockField(want, k) : "") << "k=" << k;
            }
            const bool logs = kind == Logging;
            EXPECT_EQ(got.logEnabled, logs ? want.logEnabled : "");
            EXPECT_EQ(got.logSize, logs ? want.logSize : "");
            EXPECT_EQ(got.logInterval, logs ? want.logInterval : "");
            EXPECT_EQ(got.logFileName, logs ? want.logFileName : "");
            EXPECT_EQ(got.logPath, logs ? want.logPath : "");
            // Other channels and the other board are untouched.
            for (int m = 1; m <= kChannelCount; ++m) {
                if (m == n) continue;
                EXPECT_EQ(out.channels[m - 1].enable, "");
                EXPECT_EQ(out.channels[m - 1].filterWeight, "");
                EXPECT_EQ(out.channels[m - 1].logPath, "");
            }
            BoardSettings other;
            ASSERT_TRUE(db_.LoadBoardSettings("000B", other));
            EXPECT_EQ(other.channels[n - 1].enable, "");
            EXPECT_EQ(other.channels[n - 1].filterEnable, "");
            EXPECT_EQ(other.channels[n - 1].logEnabled, "");
        }
    }
}

TEST_F(SettingsSave, LongestValuesAreSavedWhole) {
    addRow("000A", "");
    BoardSettings in;
    ChannelSettings& c = in.channels[5];
    for (int k = 0; k < kChannelBlockColumns; ++k) BlockField(c, k) = std::string(31, 'a' + k % 26);
    c.notes = std::string(500, '\'') + "\xE2\x82\xAC";  // apostrophes and a 3-byte character
    for (std::string* path : {&c.highFile, &c.lowFile, &c.highSound, &c.lowSound, &c.highNormSound,
                              &c.highNormFile, &c.lowNormSound, &c.lowNormFile}) {
        *path = std::string(126, '\'');
    }
    ASSERT_TRUE(db_.SaveOptions(6, "000A", in)) << db_.LastDiagnostic();
    BoardSettings out;
    ASSERT_TRUE(db_.LoadBoardSettings("000A", out));
    for (int k = 0; k < 24; ++k) EXPECT_EQ(BlockField(out.channels[5], k), BlockField(c, k)) << k;
}

TEST_F(SettingsSave, ChannelNumbersOutsideOneToSixAreRefused) {
    addRow("000A", "");
    BoardSettings in;
    for (int channel : {0, 7, -1}) {
        EXPECT_FALSE(db_.SaveOptions(channel, "000A", in));
        EXPECT_FALSE(db_.SaveFilter(channel, "000A", in));
        EXPECT_FALSE(db_.SaveLogging(channel, "000A", in));
    }
}

using DeviceRegistryDb = DatabaseTest;

TEST_F(DeviceRegistryDb, ListGivesEntriesInTableOrderAndTheLastDefault) {
    addRow("000A", "NO");
    addRow("000B", "YES");
    addRow("00C1", "");
    DeviceRegistry registry(db_);
    DeviceList list = registry.List();
    ASSERT_TRUE(list.status.ok());
    EXPECT_EQ(list.entries, (std::vector<std::string>{"000A - USB  KESTRANEUNIT", "000B - USB  KESTRANEUNIT",
                                                      "00C1 - USB  KESTRANEUNIT"}));
    EXPECT_EQ(list.defaultIndex, 1);
    setColumn("00C1", db_.IdentifierQuote() + std::string("DEFAULT") + db_.IdentifierQuote(), "YES");
    list = registry.List();
    EXPECT_EQ(list.defaultIndex, 2);
    setColumn("00C1", db_.IdentifierQuote() + std::string("DEFAULT") + db_.IdentifierQuote(), "yes");
    list = registry.List();
    EXPECT_EQ(list.defaultIndex, 1);  // only the exact word counts
    EXPECT_TRUE(list.status.ok());
}

TEST_F(DeviceRegistryDb, EmptyTableListsNothing) {
    DeviceRegistry registry(db_);
    const DeviceList list = registry.List();
    EXPECT_TRUE(list.status.ok());
    EXPECT_TRUE(list.entries.empty());
    EXPECT_EQ(list.defaultIndex, -1);
}

TEST_F(DeviceRegistryDb, AddInBothModes) {
    DeviceRegistry registry(db_);
    // First run: no duplicate test, and the board becomes the default.
    AddOutcome a = registry.Add("000A - USB  KESTRANEUNIT", AddMode::FirstRun);
    EXPECT_TRUE(a.added);
    EXPECT_EQ(a.message, "");
    EXPECT_EQ(defaults(), (std::map<std::string, std::string>{{"000A", "YES"}}));

    // Normal mode: registered but not made the default.
    a = registry.Add("000B - USB  KESTRANEUNIT", AddMode::Normal);
    EXPECT_TRUE(a.added);
    EXPECT_EQ(defaults(), (std::map<std::string, std::string>{{"000A", "YES"}, {"000B", ""}}));
    const DeviceList list = registry.List();
    EXPECT_EQ(list.defaultIndex, 0);

    // A board already registered is refused in normal mode.
    a = registry.Add("000B - USB  KESTRANEUNIT", AddMode::Normal);
    EXPECT_FALSE(a.added);
    EXPECT_EQ(a.message, "Device Already In Database!");
    a = registry.Add("", AddMode::Normal);
    EXPECT_FALSE(a.added);
    EXPECT_EQ(a.message, "No Device Selected!");
    a = registry.Add("", AddMode::FirstRun);
    EXPECT_EQ(a.message, "No Device Selected!");
    EXPECT_EQ(registry.List().entries.size(), 2u);
}

TEST_F(DeviceRegistryDb, FailingStatementsAreReportedWithTheirValuesWrittenIn) {
    DeviceRegistry registry(db_);
    ASSERT_EQ(db_.Execute({"DROP TABLE Main;", {}}), ExecStatus::Ok);
    // Normal mode: the duplicate test cannot run, so nothing is added.
    AddOutcome a = registry.Add("000A - USB  KESTRANEUNIT", AddMode::Normal);
    EXPECT_FALSE(a.added);
    EXPECT_EQ(a.message, "SELECT * FROM Main WHERE VID = '0000' AND PID = '000A';");
    a = registry.Add("O'Ba - USB  KESTRANEUNIT", AddMode::FirstRun);
    EXPECT_FALSE(a.added);
    EXPECT_EQ(a.message, "INSERT INTO Main (VID,PID) VALUES ('0000','O''Ba');");
    const DeviceList list = registry.List();
    EXPECT_FALSE(list.status.ok());
    EXPECT_EQ(list.status.message(), "Execution of SQL statement failed");
    EXPECT_FALSE(registry.Remove("000A"));
    EXPECT_FALSE(registry.SetDefault("000A"));
}

TEST_F(DeviceRegistryDb, DeleteAndSetDefault) {
    addRow("000A", "YES");
    addRow("000B", "NO");
    addRow("000C", "NO");
    DeviceRegistry registry(db_);

    EXPECT_TRUE(registry.SetDefault("000C"));
    EXPECT_EQ(defaults(),
              (std::map<std::string, std::string>{{"000A", "NO"}, {"000B", "NO"}, {"000C", "YES"}}));

    // An unregistered PID (typed into the selector) changes nothing, so
    // the board that was the default stays the default.
    EXPECT_FALSE(registry.SetDefault("0B"));
    EXPECT_EQ(defaults(),
              (std::map<std::string, std::string>{{"000A", "NO"}, {"000B", "NO"}, {"000C", "YES"}}));

    // Deleting the default leaves no default.
    EXPECT_TRUE(registry.Remove("000C"));
    DeviceList list = registry.List();
    EXPECT_EQ(list.entries,
              (std::vector<std::string>{"000A - USB  KESTRANEUNIT", "000B - USB  KESTRANEUNIT"}));
    EXPECT_EQ(list.defaultIndex, -1);

    // Deleting a PID with an apostrophe runs (and matches nothing).
    EXPECT_TRUE(registry.Remove("O'B "));
    EXPECT_EQ(registry.List().entries.size(), 2u);
}

TEST_F(DeviceRegistryDb, TableHasTheFullLayoutInOrder) {
    const std::vector<std::string> names = db_.ColumnNames(ListStatement());
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kMainColumnCount));
    for (int p = 1; p <= kMainColumnCount; ++p) {
        std::string got = names[static_cast<std::size_t>(p - 1)];
        std::transform(got.begin(), got.end(), got.begin(),
                       [](unsigned char ch) { return std::toupper(ch); });
        EXPECT_EQ(got, MainColumnAt(p).name) << "position " << p;
    }
}

}  // namespace
}  // namespace kestrane::test
