// Pure pieces of the settings store: text bounding, the database path rule,
// statement texts, the table layout and schema, and the Add Device list.
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/device_registry.h"
#include "settings/install_record.h"
#include "settings/installer.h"
#include "settings/statements.h"
#include "settings/table_layout.h"
#include "settings/text_cut.h"
#include "test_support.h"

namespace kestrane::test {
namespace {

TEST(TextCut, CutUtf8NeverSplitsACharacterAndSurvivesBadBytes) {
    struct Case {
        std::string text;
        std::size_t max;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"abc", 2, "ab"},
        {"abc", 3, "abc"},
        {"abc", 0, ""},
        {"", 5, ""},
        {"\xC3\xA9", 1, ""},  // é needs two bytes
        {"a\xC3\xA9", 2, "a"},
        {"a\xC3\xA9", 3, "a\xC3\xA9"},
        {"\xE2\x82\xAC\xE2\x82\xAC", 5, "\xE2\x82\xAC"},
        {"\xF0\x9D\x84\x9E!", 4, "\xF0\x9D\x84\x9E"},
        {"\xF0\x9D\x84\x9E!", 3, ""},
        {"\xFF\xFE\xFD", 2, "\xFF\xFE"},  // stray bytes count singly
        {"\x80\x80", 1, "\x80"},
        {"a\xE2\x82", 2, "a"},  // truncated sequence kept whole or not at all
        {"a\xE2\x82", 3, "a\xE2\x82"},
        {"a\xE2z", 2, "a\xE2"},  // lead byte without continuation
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutUtf8(c.text, c.max), c.expected) << c.text << " / " << c.max;
    }
}

TEST(TextCut, FirstCharactersCountsCharactersNotBytes) {
    struct Case {
        std::string text;
        std::size_t count;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"000A - USB  KESTRANEUNIT", 4, "000A"},
        {"0B", 4, "0B"},
        {"", 4, ""},
        {"\xC3\xA9\xC3\xA9"
         "0A99",
         4,
         "\xC3\xA9\xC3\xA9"
         "0A"},
        {"ab\xE2\x82", 4, "ab\xE2\x82"},
    };
    for (const Case& c : cases) EXPECT_EQ(FirstCharacters(c.text, c.count), c.expected) << c.text;
}

TEST(DeviceSelector, PidIsTheFirstFourCharactersNeverPartOfOne) {
    const struct {
        const char* text;
        const char* pid;
    } cases[] = {
        {"00C1 - USB  KESTRANEUNIT", "00C1"},
        {"0B", "0B"},
        {"", ""},
        {"\xC3\x84"
         "00A - USB",
         "\xC3\x84"
         "00A"},  // two-byte character first
        {"00\xE2\x82\xAC"
         "1 - USB",
         "00\xE2\x82\xAC"
         "1"},  // 4 bytes would end inside the euro sign
        {"0\xF0\x9F\x98\x80"
         "AB - USB",
         "0\xF0\x9F\x98\x80"
         "AB"},  // four-byte character
        {"\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F"
         "X",
         "\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"\xFF\xFE"
         "00A",
         "\xFF\xFE"
         "00"},                        // stray bytes count one each
        {"0A\xE2\x82", "0A\xE2\x82"},  // a cut-off sequence stays whole
    };
    for (const auto& c : cases) EXPECT_EQ(PidFromSelectorText(c.text), c.pid) << c.text;
}

TEST(InstallRecordPath, DatabasePathRule) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\Apps\\Kestrane.exe", "C:\\Apps\\Kestrane.MDB"},
        {"/opt/app/client.EXE", "/opt/app/client.MDB"},
        {"/opt/app/prog.xyz", "/opt/app/prog.MDB"},
        {"/home/u/.local/lib/kestrane/kestrane", "/home/u/.local/lib/kestrane/kestrane.MDB"},
        {"/home/u/Kestrane", "/home/u/Kestrane.MDB"},
        {"/opt/a.b/kestrane", "/opt/a.b/kestrane.MDB"},  // a dot in a folder does not count
        {"/opt/prog.ab", "/opt/prog.ab.MDB"},
        {"/opt/prog.abcd", "/opt/prog.abcd.MDB"},
        {"kestrane.bin", "kestrane.MDB"},
        {"", ""},
    };
    for (const auto& [program, database] : cases) EXPECT_EQ(DatabasePathFor(program), database) << program;
}

TEST(Statements, TextsAndValues) {
    struct Case {
        SqlStatement statement;
        std::string text;
        std::vector<std::string> values;
    };
    ChannelSettings c;
    for (int k = 0; k < kChannelBlockColumns; ++k) BlockField(c, k) = "b" + std::to_string(k);
    c.logEnabled = "YES";
    c.logSize = "1 Megabyte";
    c.logInterval = "1 Secs";
    c.logFileName = "f.log";
    c.logPath = "/p/";
    const std::vector<Case> cases = {
        {ListStatement(), "select * from Main;", {}},
        {LoadStatement("0000", "000A"), "SELECT * FROM Main WHERE VID = ? AND PID = ?;", {"0000", "000A"}},
        {InsertStatement("0000", "000A"), "INSERT INTO Main (VID,PID) VALUES (?,?);", {"0000", "000A"}},
        {DeleteStatement("0000", "000A"), "DELETE FROM Main WHERE VID = ? AND PID = ?;", {"0000", "000A"}},
        {ClearDefaultStatement('"'), "UPDATE Main SET \"DEFAULT\" = ?;", {"NO"}},
        {ClearDefaultStatement('`'), "UPDATE Main SET `DEFAULT` = ?;", {"NO"}},
        {SetDefaultStatement('"', "0000", "000B"),
         "UPDATE Main SET \"DEFAULT\" = ? WHERE VID = ? AND PID = ?;",
         {"YES", "0000", "000B"}},
        {*FilterStatement(4, c, "0000", "000A"),
         "UPDATE Main SET VM4FILTERENABLE = ?, VM4FILTERWEIGHT = ? WHERE VID = ? AND PID = ?;",
         {"b24", "b25", "0000", "000A"}},
        {*LoggingStatement(6, c, "0000", "000A"),
         "UPDATE Main SET VM6LOGENABLED = ?, VM6LOGSIZE = ?, VM6LOGINTERVAL = ?, VM6LOGFILENAME = ?, "
         "VM6LOGPATH = ? WHERE VID = ? AND PID = ?;",
         {"YES", "1 Megabyte", "1 Secs", "f.log", "/p/", "0000", "000A"}},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(k.statement.text, k.text);
        EXPECT_EQ(k.statement.values, k.values) << k.text;
    }

    const SqlStatement options = *OptionsStatement(3, c, "0000", "000A");
    EXPECT_EQ(options.text.rfind("UPDATE Main SET VM3ENABLE = ?, VM3NOTES = ?, VM3VMNAME = ?, ", 0), 0u);
    EXPECT_NE(options.text.find("VM3LOWNORMSOUND = ?, VM3LOWNORMFILE = ? WHERE VID = ? AND PID = ?;"),
              std::string::npos);
    EXPECT_EQ(options.text.find("FILTER"), std::string::npos);
    ASSERT_EQ(options.values.size(), 26u);
    EXPECT_EQ(options.values[0], "b0");
    EXPECT_EQ(options.values[23], "b23");
    EXPECT_EQ(options.values[25], "000A");

    for (int bad : {0, 7}) {
        EXPECT_FALSE(OptionsStatement(bad, c, "0000", "000A"));
        EXPECT_FALSE(FilterStatement(bad, c, "0000", "000A"));
        EXPECT_FALSE(LoggingStatement(bad, c, "0000", "000A"));
    }
}

TEST(Statements, RenderWritesValuesInAsLiterals) {
    EXPECT_EQ(RenderStatement(InsertStatement("0000", "O'B")),
              "INSERT INTO Main (VID,PID) VALUES ('0000','O''B');");
    EXPECT_EQ(RenderStatement({"UPDATE Main SET VM1NOTES = ?;", {"it's ''quoted''?"}}),
              "UPDATE Main SET VM1NOTES = 'it''s ''''quoted''''?';");
    // More markers than values: the rest stay as they are.
    EXPECT_EQ(RenderStatement({"a = ? AND b = ?", {"x"}}), "a = 'x' AND b = ?");
}

TEST(TableLayout, NamesAndLimitsOfPositions) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"ID", 1},
        {"VID", 2},
        {"PID", 3},
        {"DEFAULT", 5},
        {"VM1ENABLE", 6},
        {"BOARDNOTE", 4},
        {"VM1NOTES", 7},
        {"VM1FILTERWEIGHT", 31},
        {"VM2ENABLE", 32},
        {"VM4HIGHFILE", 6 + 26 * 3 + 16},
        {"VM6FILTERWEIGHT", 161},
        {"VM1LOGENABLED", 162},
        {"VM6LOGENABLED", 167},
        {"VM1LOGSIZE", 168},
        {"VM1LOGINTERVAL", 174},
        {"VM1LOGFILENAME", 180},
        {"VM1LOGPATH", 186},
        {"VM6LOGPATH", 191},
    };
    for (const auto& [name, position] : cases) EXPECT_EQ(MainColumnAt(position).name, name) << position;
    EXPECT_EQ(MainColumnAt(0).name, "");
    EXPECT_EQ(MainColumnAt(192).name, "");

    // Limits by kind of column.
    struct Limit {
        const char* name;
        int position;
        std::size_t maxBytes;
    };
    const Limit limits[] = {
        {"VM3NOTES", 6 + 26 * 2 + 1, 511u}, {"VM3LOWNORMFILE", 6 + 26 * 2 + 23, 126u},
        {"VM3LOGFILENAME", 180 + 2, 62u},   {"VM3LOGPATH", 186 + 2, 126u},
        {"VM3LOGSIZE", 168 + 2, 31u},
    };
    for (const Limit& l : limits) {
        EXPECT_EQ(MainColumnAt(l.position).name, l.name);
        EXPECT_EQ(MainColumnAt(l.position).maxBytes, l.maxBytes) << l.name;
    }

    // The key and the board note load into no field; out-of-range positions
    // name none either, so a load never touches the record through them.
    BoardSettings s;
    for (int position : {0, 1, 4, 192}) EXPECT_EQ(FieldAt(s, position), nullptr) << position;
    EXPECT_EQ(FieldAt(s, 2), &s.vid);
    EXPECT_EQ(FieldAt(s, 191), &s.channels[5].logPath);
}

TEST(Schema, ColumnsFollowTheLoadLayoutInEveryDialect) {
    for (SqlDialect dialect : {SqlDialect::SQLite, SqlDialect::PostgreSQL}) {
        const std::string sql = MainTableSchema(dialect);
        EXPECT_EQ(sql.find("--"), std::string::npos);
        const std::size_t open = sql.find('(');
        ASSERT_NE(open, std::string::npos);
        std::vector<std::string> names;
        const std::regex column(R"re(^\s*"?([A-Za-z0-9_]+)"?\s)re");
        std::size_t start = open + 1;
        while (start < sql.size()) {
            std::size_t end = sql.find('\n', start);
            if (end == std::string::npos) end = sql.size();
            const std::string line = sql.substr(start, end - start);
            std::smatch m;
            if (std::regex_search(line, m, column)) names.push_back(m[1]);
            start = end + 1;
        }
        ASSERT_EQ(names.size(), 191u);
        for (int p = 1; p <= kMainColumnCount; ++p) EXPECT_EQ(names[p - 1], MainColumnAt(p).name) << p;
    }
    EXPECT_NE(MainTableSchema(SqlDialect::PostgreSQL).find("GENERATED BY DEFAULT AS IDENTITY"),
              std::string::npos);
    EXPECT_NE(MainTableSchema(SqlDialect::SQLite).find("ID INTEGER PRIMARY KEY,"), std::string::npos);
    EXPECT_EQ(DialectForDbms("PostgreSQL"), SqlDialect::PostgreSQL);
    EXPECT_EQ(DialectForDbms("SQLite"), SqlDialect::SQLite);
}

TEST(ConnectionString, DefaultAndOverride) {
    EXPECT_EQ(DefaultConnectionString("/a/Kestrane.MDB"), "DRIVER=SQLite3;Database=/a/Kestrane.MDB");
    EXPECT_EQ(DefaultConnectionString("/a/K'x=y.MDB"), "DRIVER=SQLite3;Database=/a/K'x=y.MDB");
    EXPECT_TRUE(ConnectionStringCanCarry("/a/K'x=y .MDB"));
    for (const char* bad : {"/a;b/K.MDB", "/a{/K.MDB", "/a}/K.MDB", "/a/K.MDB ", " a/K.MDB", ""}) {
        EXPECT_FALSE(ConnectionStringCanCarry(bad)) << bad;
    }
    ::setenv("KESTRANE_ODBC", "DRIVER={PostgreSQL ANSI};Database=k", 1);
    EXPECT_EQ(ConnectionStringFor("/a/K.MDB"), "DRIVER={PostgreSQL ANSI};Database=k");
    ::setenv("KESTRANE_ODBC", "", 1);
    EXPECT_EQ(ConnectionStringFor("/a/K.MDB"), "DRIVER=SQLite3;Database=/a/K.MDB");
    ::unsetenv("KESTRANE_ODBC");
}

TEST(ConnectionString, SqliteDriversGetTheBoundedLockWaitUnlessTheyChooseOne) {
    const struct {
        const char* given;
        const char* opened;
    } cases[] = {
        {"DRIVER=SQLite3;Database=/a/K.MDB", "DRIVER=SQLite3;Database=/a/K.MDB;Timeout=500"},
        {"DRIVER={SQLite3 ODBC Driver};Database=/a/K.MDB;",
         "DRIVER={SQLite3 ODBC Driver};Database=/a/K.MDB;Timeout=500"},
        {"driver=sqlite;Database=x", "driver=sqlite;Database=x;Timeout=500"},
        // The user's own wait stands, in any spelling of the key.
        {"DRIVER=SQLite3;Database=x;Timeout=20000", "DRIVER=SQLite3;Database=x;Timeout=20000"},
        {"DRIVER=SQLite3; timeout =0;Database=x", "DRIVER=SQLite3; timeout =0;Database=x"},
        // A brace keeps its ";" and "=" to itself: no key hides in a value.
        {"DRIVER=SQLite3;PWD={a;Timeout=1};Database=x",
         "DRIVER=SQLite3;PWD={a;Timeout=1};Database=x;Timeout=500"},
        // Other drivers get the ODBC timeouts instead; a DSN keeps its own.
        {"DRIVER={PostgreSQL ANSI};Database=k", "DRIVER={PostgreSQL ANSI};Database=k"},
        {"DSN=kestrane", "DSN=kestrane"},
        {"Database=/sqlite/K.MDB", "Database=/sqlite/K.MDB"},
        {"", ""},
        {";;=;DRIVER", ";;=;DRIVER"},
        {"DRIVER={SQLite3", "DRIVER={SQLite3;Timeout=500"},
    };
    for (const auto& c : cases) EXPECT_EQ(WithBoundedWait(c.given), c.opened) << c.given;
}

TEST(AttachedBoards, OnlyKestraneUnitsInLibraryOrder) {
    struct Case {
        const char* name;
        bool listOk;
        std::string list;
        std::map<uint32_t, std::string> products;
        std::vector<std::string> expected;
    };
    const std::string k = "KESTRANEUNIT";
    const std::vector<Case> cases = {
        {"two boards",
         true,
         "000A|000B|",
         {{0xA, k}, {0xB, k}},
         {"000A - USB  KESTRANEUNIT", "000B - USB  KESTRANEUNIT"}},
        {"library order kept",
         true,
         "000B|000A|",
         {{0xA, k}, {0xB, k}},
         {"000B - USB  KESTRANEUNIT", "000A - USB  KESTRANEUNIT"}},
        {"case differs", true, "000A|000B|", {{0xA, "KestraneUnit"}, {0xB, k}}, {"000B - USB  KESTRANEUNIT"}},
        {"trailing blank", true, "000A|", {{0xA, k + " "}}, {}},
        {"other product", true, "000A|", {{0xA, "JOYSTICK"}}, {}},
        {"no product string", true, "000A|", {}, {}},
        {"text after last bar", true, "000A|000B", {{0xA, k}, {0xB, k}}, {"000A - USB  KESTRANEUNIT"}},
        {"no board", true, "", {}, {}},
        {"enumeration failed", false, "000A|", {{0xA, k}}, {}},
        {"garbage items", true, "zz|0A|00000A||0x0A|000A|", {{0xA, k}}, {"000A - USB  KESTRANEUNIT"}},
        {"upper 16 bits", true, "FFFF|", {{0xFFFF, k}}, {"FFFF - USB  KESTRANEUNIT"}},
    };
    for (const Case& c : cases) {
        FakeBoards boards;
        boards.listOk = c.listOk;
        boards.list = c.list;
        boards.products = c.products;
        EXPECT_EQ(AttachedKestraneEntries(boards), c.expected) << c.name;
    }
    EXPECT_EQ(DeviceEntryText("000A"), "000A - USB  KESTRANEUNIT");
}

// Well-formed UTF-8 (no stray, overlong-lead or truncated sequences).
bool ValidUtf8(const std::string& t) {
    for (std::size_t i = 0; i < t.size();) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        std::size_t len = c < 0x80                   ? 1
                          : (c >= 0xC2 && c <= 0xDF) ? 2
                          : (c >= 0xE0 && c <= 0xEF) ? 3
                          : (c >= 0xF0 && c <= 0xF4) ? 4
                                                     : 0;
        if (len == 0 || i + len > t.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

// Arbitrary bytes from the database or the board library: every helper
// stays bounded, and valid text stays valid after a cut.
TEST(OutsideBytes, RandomInputsStayBoundedAndWellFormed) {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    const std::string pieces[] = {"|",
                                  "0",
                                  "A",
                                  "f",
                                  "\xC3\xA9",
                                  "\xE2\x82\xAC",
                                  "\xF0\x9D\x84\x9E",
                                  "\xFF",
                                  "\x80",
                                  "KESTRANEUNIT",
                                  ";",
                                  "=",
                                  "{",
                                  "}",
                                  "DRIVER=SQLite3",
                                  "Timeout"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int parts = static_cast<int>(next() % 40);
        for (int i = 0; i < parts; ++i) {
            if (next() % 3 == 0)
                text += static_cast<char>(next() & 0xFF);
            else
                text += pieces[next() % std::size(pieces)];
        }
        const std::size_t max = next() % 48;
        const std::string cut = CutUtf8(text, max);
        ASSERT_LE(cut.size(), max);
        ASSERT_EQ(text.compare(0, cut.size(), cut), 0);
        if (ValidUtf8(text)) {
            ASSERT_TRUE(ValidUtf8(cut)) << round;
            // Nothing more fits: the next character would pass the limit.
            if (cut.size() < text.size()) {
                ASSERT_GT(cut.size() + CutUtf8(text.substr(cut.size()), 4).size(), max);
            }
        }
        const std::string pid = PidFromSelectorText(text);
        ASSERT_LE(pid.size(), 16u);
        ASSERT_EQ(text.compare(0, pid.size(), pid), 0);

        // A connection string from the environment only ever gains the wait.
        const std::string opened = WithBoundedWait(text);
        ASSERT_EQ(opened.compare(0, text.size(), text), 0);
        ASSERT_LE(opened.size(), text.size() + 16);

        FakeBoards boards;
        boards.list = text;
        for (uint32_t id = 0; id < 16; ++id)
            boards.products[id] = next() % 2 ? "KESTRANEUNIT" : "kestraneunit";
        for (const std::string& entry : AttachedKestraneEntries(boards)) {
            ASSERT_EQ(entry.size(), 4u + std::string(kEntrySuffix).size());
            ASSERT_EQ(entry.substr(4), kEntrySuffix);
        }
    }
}

}  // namespace
}  // namespace kestrane::test
