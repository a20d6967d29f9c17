// The channel dialogs' checks of typed text and the line ends of stored
// notes, which decide what reaches the settings database.
#include "validators/validators.h"

#include <gtest/gtest.h>

namespace kestrane {
namespace {

TEST(BandLimitsValid, OnlyTwoNumbersWithMaxAboveMinPass) {
    struct Case {
        const char* max;
        const char* min;
        bool valid;
    };
    const Case cases[] = {
        {"12.5", "12", true}, {"12", "12", false}, {"12.000", "12", false}, {"11.9", "12", false},
        {"-1", "-2", true},   {"-2", "-1", false}, {"1e3", "999", true},    {"", "1", false},
        {"2", "", false},     {"2 V", "1", false}, {"abc", "1", false},     {"0.0001", "0", true},
        {"+5", "-5", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.max) + " > " + c.min);
        EXPECT_EQ(BandLimitsValid(c.max, c.min), c.valid);
    }
}

TEST(FilterWeightAcceptable, AnyNumberButOne) {
    const std::pair<const char*, bool> cases[] = {
        {"0.5", true},  {"2", true},      {"0", true}, {"-3", true}, {"1", false},
        {"1.0", false}, {"1.000", false}, {"", false}, {"x", false}, {"1x", false},
    };
    for (const auto& [text, ok] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FilterWeightAcceptable(text), ok);
    }
}

TEST(LogFolderFromChosen, AppendsThePidAsAFolderOfItsOwn) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"/home/ann/logs", "000A", "/home/ann/logs/000A/"},
        {"/home/ann/logs/", "000A", "/home/ann/logs/000A/"},
        {"/", "0FFF", "/0FFF/"},
        {"", "0001", "/0001/"},
    };
    for (const auto& [folder, pid, expected] : cases) EXPECT_EQ(LogFolderFromChosen(folder, pid), expected);
}

TEST(FindEntryStartingWith, FirstEntryWithThePrefixIgnoringCase) {
    const std::vector<std::string> entries = {"1 Secs", "5 Secs", "10 Secs", "1 Mins", "1 Hours"};
    const std::pair<const char*, int> cases[] = {
        {"1 Secs", 0}, {"1 mins", 3}, {"1 ", 0}, {"10", 2},
        {"1 H", 4},    {"", 0},       {"2", -1}, {"1 Secs and more", -1},
    };
    for (const auto& [prefix, index] : cases) {
        SCOPED_TRACE(prefix);
        EXPECT_EQ(FindEntryStartingWith(entries, prefix), index);
    }
    EXPECT_EQ(FindEntryStartingWith({}, "1"), -1);
}

TEST(Notes, EditShowsPlainLineFeeds) {
    EXPECT_EQ(NotesForEdit("a\r\nb\r\n"), "a\nb\n");
    EXPECT_EQ(NotesForEdit("a\nb"), "a\nb");
    EXPECT_EQ(NotesForEdit("a\rb\r"), "a\rb\r");  // a lone CR is no CR LF
    EXPECT_EQ(NotesForEdit(""), "");
}

TEST(Notes, UnchangedNotesAreStoredByteForByte) {
    // Whatever the stored bytes, notes the user did not touch come back as
    // they were, even when the edit box shows them differently.
    const char* stored[] = {"line 1\r\nline 2\r\n", "line 1\nline 2", "mixed\r\nends\nhere", "lone\rcr", ""};
    for (const char* s : stored) {
        const std::string shown = NotesForEdit(s);
        EXPECT_EQ(NotesForStore(shown, shown, s, 511), s);
    }
}

TEST(Notes, EditedNotesKeepTheStoredLineEnds) {
    struct Case {
        const char* edited;
        const char* stored;
        const char* expected;
    };
    const Case cases[] = {
        {"a\nb", "old\r\nnotes", "a\r\nb"},  // CR LF stays CR LF
        {"a\nb", "", "a\r\nb"},              // new notes: CR LF
        {"a\nb", "single line", "a\r\nb"},
        {"a\nb", "old\nnotes", "a\nb"},          // plain line feeds stay plain
        {"a\r\nb\nc", "x\r\ny", "a\r\nb\r\nc"},  // no CR doubled
        {"\n", "", "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edited);
        EXPECT_EQ(NotesForStore(c.edited, "shown before", c.stored, 511), c.expected);
    }
}

TEST(Notes, CutNotesNeverEndInsideALineEndOrACharacter) {
    // 4 bytes of text, then a line feed that becomes CR LF at bytes 4 and 5.
    EXPECT_EQ(NotesForStore("abcd\nef", "", "", 5), "abcd");
    EXPECT_EQ(NotesForStore("abcd\nef", "", "", 6), "abcd\r\n");
    EXPECT_EQ(NotesForStore("ab\xC3\xA9", "", "", 3), "ab");  // é is two bytes
    EXPECT_EQ(NotesForStore(std::string(600, 'n'), "", "", 511).size(), 511u);
}

}  // namespace
}  // namespace kestrane
