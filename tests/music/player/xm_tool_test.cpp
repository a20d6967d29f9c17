// kestrane-xm's command line and its render command: what it accepts,
// what it refuses with a message, and the WAV files it writes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "music/tool/xm_tool_commands.h"
#include "player_fakes.h"
#include "xm_writer.h"

namespace kestrane::music::tool {
namespace {

using player::testing::ReadAll;
using player::testing::TempPath;
using player::testing::WavSamples;

TEST(XmToolCommandLine, AcceptsTheDocumentedForms) {
    struct Case {
        std::vector<std::string> args;
        Command::Kind kind;
        bool builtin;
        std::string song, output;
        std::optional<double> seconds;
    } cases[] = {
        {{"render", "a.xm", "o.wav"}, Command::kRender, false, "a.xm", "o.wav", std::nullopt},
        {{"render", "--builtin", "o.wav"}, Command::kRender, true, "", "o.wav", std::nullopt},
        {{"render", "a.xm", "o.wav", "--seconds", "2.5"}, Command::kRender, false, "a.xm", "o.wav", 2.5},
        {{"render", "--seconds", "30", "--builtin", "o.wav"}, Command::kRender, true, "", "o.wav", 30.0},
        {{"play", "song.xm"}, Command::kPlay, false, "song.xm", "", std::nullopt},
        {{"play", "--builtin"}, Command::kPlay, true, "", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        std::ostringstream err;
        const auto parsed = ParseCommand(c.args, err);
        ASSERT_TRUE(parsed) << err.str();
        EXPECT_EQ(parsed->kind, c.kind);
        EXPECT_EQ(parsed->builtin, c.builtin);
        EXPECT_EQ(parsed->song, c.song);
        EXPECT_EQ(parsed->output, c.output);
        EXPECT_EQ(parsed->seconds, c.seconds);
        EXPECT_TRUE(err.str().empty());
    }
}

TEST(XmToolCommandLine, GnuConventions) {
    struct Case {
        std::vector<std::string> args;
        Command::Kind kind;
        std::optional<double> seconds;
        std::string output;
    } cases[] = {
        {{"render", "a.xm", "o.wav", "--seconds=2.5"}, Command::kRender, 2.5, "o.wav"},
        {{"--seconds=4", "render", "a.xm", "-"}, Command::kRender, 4.0, "-"},
        {{"render", "a.xm", "--", "-"}, Command::kRender, std::nullopt, "-"},
        {{"--help"}, Command::kHelp, std::nullopt, ""},
        {{"-h"}, Command::kHelp, std::nullopt, ""},
        {{"render", "--bogus-later", "--help"}, Command::kHelp, std::nullopt, ""},
        {{"--version"}, Command::kVersion, std::nullopt, ""},
        {{"play", "-V"}, Command::kVersion, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        std::ostringstream err;
        const auto parsed = ParseCommand(c.args, err);
        if (c.args[1 % c.args.size()] == "--bogus-later") {
            EXPECT_FALSE(parsed);  // an unknown option is refused before --help is seen
            continue;
        }
        ASSERT_TRUE(parsed) << err.str();
        EXPECT_EQ(parsed->kind, c.kind);
        EXPECT_EQ(parsed->seconds, c.seconds);
        EXPECT_EQ(parsed->output, c.output);
    }
}

TEST(XmToolCommandLine, MessagesSayWhatIsWrong) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"render", "a.xm", "o.wav", "--seconds"}, "--seconds needs a value"},
        {{"render", "a.xm", "o.wav", "--seconds="}, "--seconds wants a number"},
        {{"render", "a.xm", "o.wav", "--loud"}, "unknown option '--loud'"},
        {{"render", "a.xm", "o.wav", "-x"}, "unknown option '-x'"},
        {{"play", "a.xm", "--seconds=3"}, "--seconds applies to render only"},
        {{"bogus"}, "unknown command 'bogus'"},
        {{}, "a command is needed"},
        {{"render", "a.xm"}, "render wants SONG.xm and OUT.wav"},
        {{"--builtin=yes", "render", "o.wav"}, "unknown option"},
    };
    for (const auto& c : cases) {
        std::ostringstream err;
        EXPECT_FALSE(ParseCommand(c.args, err));
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    }
}

TEST(XmToolCommandLine, HelpDocumentsCommandsOptionsAndExitStatus) {
    const std::string help = Usage();
    for (const char* part :
         {"Usage: kestrane-xm render", "Commands:", "Options:", "--seconds=N", "--builtin", "-h, --help",
          "-V, --version", "Exit status:", "  2  usage error", "standard output"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
    EXPECT_EQ(VersionText().rfind("kestrane-xm ", 0), 0u);
}

TEST(XmToolCommandLine, RefusesEverythingElseWithAMessage) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"bogus"},
        {"render"},
        {"render", "a.xm"},
        {"render", "a.xm", "o.wav", "extra"},
        {"render", "--builtin", "a.xm", "o.wav"},
        {"render", "a.xm", "o.wav", "--seconds"},
        {"render", "a.xm", "o.wav", "--seconds", "0"},
        {"render", "a.xm", "o.wav", "--seconds", "-1"},
        {"render", "a.xm", "o.wav", "--seconds", "nan"},
        {"render", "a.xm", "o.wav", "--seconds", "inf"},
        {"render", "a.xm", "o.wav", "--seconds", "1e9"},
        {"render", "a.xm", "o.wav", "--seconds", "2s"},
        {"render", "a.xm", "o.wav", "--seconds", ""},
        {"render", "a.xm", "o.wav", "--loud"},
        {"play"},
        {"play", "a.xm", "b.xm"},
        {"play", "a.xm", "--seconds", "3"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        std::ostringstream err;
        EXPECT_FALSE(ParseCommand(args, err));
        EXPECT_FALSE(err.str().empty());
    }
}

std::vector<std::uint8_t> TinySong() {
    xmw::Sample s;
    for (int i = 0; i < 32; ++i) s.data.push_back(i < 16 ? 100 : -100);
    s.loopType = 1;
    s.loopLength = 32;
    xmw::Song song;
    song.instruments.push_back(xmw::SingleSampleInstrument(s));
    xmw::Pattern p;
    p.rows = 8;
    p.At(0, 0, 1) = {xmw::Note("A-4"), 1, 0, 0, 0};
    song.patterns.push_back(p);
    return xmw::WriteXm(song);
}

TEST(XmToolRender, WritesTheSongOnceOrForTheAskedTime) {
    const auto song = TinySong();  // 8 rows x 5,760 frames
    struct Case {
        std::optional<double> seconds;
        std::size_t frames;
    } cases[] = {
        {std::nullopt, 46080},  // once through, to the end of the song's last block
        {0.5, 24000},
        {3.0, 144000},  // longer than the song: it loops
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        Command command;
        command.output = TempPath("render.wav");
        command.seconds = c.seconds;
        std::ostringstream out, err;
        ASSERT_EQ(RunRender(command, song, out, err), kExitOk) << err.str();
        const auto samples = WavSamples(ReadAll(command.output));
        std::remove(command.output.c_str());
        if (c.seconds) {
            EXPECT_EQ(samples.size(), 2 * c.frames);
        } else {
            EXPECT_GE(samples.size(), 2 * c.frames);
            EXPECT_LT(samples.size(), 2 * c.frames + 2 * 1024);
        }
        // Sound all the way through a looping render.
        const std::size_t tail = samples.size() - 2 * 2400;
        EXPECT_TRUE(std::any_of(samples.begin() + static_cast<std::ptrdiff_t>(c.seconds ? tail : 0),
                                samples.end(), [](std::int16_t v) { return v != 0; }));
    }
}

TEST(XmToolRender, ReportsBadModulesAndUnwritableOutput) {
    Command command;
    command.output = TempPath("never.wav");
    std::ostringstream out, err;
    const std::vector<std::uint8_t> junk(100, 0x41);
    EXPECT_EQ(RunRender(command, junk, out, err), kExitFailure);
    EXPECT_NE(err.str().find("not a playable module"), std::string::npos);
    EXPECT_TRUE(ReadAll(command.output).empty());

    command.output = "/nonexistent-dir/out.wav";
    err.str("");
    EXPECT_EQ(RunRender(command, TinySong(), out, err), kExitFailure);
    EXPECT_NE(err.str().find("cannot create"), std::string::npos);

    Command missing;
    missing.song = TempPath("absent.xm");
    err.str("");
    EXPECT_FALSE(CommandSongBytes(missing, err));
    EXPECT_NE(err.str().find("cannot read"), std::string::npos);
}

// The program itself: where help, reports and errors go, the exit codes,
// and a WAV written to standard output.
TEST(XmToolProcess, StreamsAndExitCodes) {
    const std::string out = TempPath("stdout"), err = TempPath("stderr");
    auto run = [&](const std::string& args) {
        const std::string line = std::string(KESTRANE_XM_TOOL) + " " + args + " >" + out + " 2>" + err;
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto text = [](const std::string& path) {
        const auto bytes = ReadAll(path);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(text(out).rfind("Usage: kestrane-xm", 0), 0u);
    EXPECT_TRUE(text(err).empty());
    EXPECT_EQ(run("--version"), 0);
    EXPECT_EQ(text(out).rfind("kestrane-xm ", 0), 0u);
    EXPECT_EQ(run("render --seconds"), 2);
    EXPECT_TRUE(text(out).empty());
    EXPECT_NE(text(err).find("--seconds needs a value"), std::string::npos);
    EXPECT_EQ(run("frobnicate"), 2);
    EXPECT_NE(text(err).find("unknown command"), std::string::npos);
    EXPECT_EQ(run("render /nonexistent.xm o.wav"), 1);

    // The WAV on standard output equals the one written to a file.
    const std::string file = TempPath("tool.wav");
    EXPECT_EQ(run("render --builtin --seconds=0.5 " + file), 0);
    EXPECT_EQ(run("render --builtin --seconds 0.5 -"), 0);
    const auto streamed = ReadAll(out), written = ReadAll(file);
    std::remove(file.c_str());
    ASSERT_EQ(streamed.size(), 44u + 24000u * 4);
    ASSERT_EQ(written.size(), streamed.size());
    EXPECT_TRUE(std::equal(streamed.begin() + 44, streamed.end(), written.begin() + 44));
    EXPECT_EQ(std::string(streamed.begin(), streamed.begin() + 4), "RIFF");
    EXPECT_NE(text(err).find("to standard output"),
              std::string::npos);  // the report is not mixed into the WAV
    std::remove(out.c_str());
    std::remove(err.c_str());
}

TEST(XmToolRender, RendersTheBuiltInSong) {
    Command command;
    command.builtin = true;
    command.output = TempPath("builtin.wav");
    command.seconds = 1.0;
    std::ostringstream out, err;
    const auto bytes = CommandSongBytes(command, err);
    ASSERT_TRUE(bytes);
    ASSERT_EQ(RunRender(command, *bytes, out, err), kExitOk) << err.str();
    const auto samples = WavSamples(ReadAll(command.output));
    std::remove(command.output.c_str());
    EXPECT_EQ(samples.size(), 96000u);
    EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), [](std::int16_t v) { return v != 0; }));
}

}  // namespace
}  // namespace kestrane::music::tool
