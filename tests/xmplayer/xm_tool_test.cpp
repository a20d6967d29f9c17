// kestrane-xm's command line and its render command: what it accepts,
// what it refuses with a message, and the WAV files it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "player_fakes.h"
#include "xm_tool_commands.h"
#include "xm_writer.h"

namespace kestrane::music::tool {
namespace {

using music::testing::ReadAll;
using music::testing::TempPath;
using music::testing::WavSamples;

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
      {3.0, 144000},          // longer than the song: it loops
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
    EXPECT_TRUE(std::any_of(samples.begin() + static_cast<std::ptrdiff_t>(c.seconds ? tail : 0), samples.end(),
                            [](std::int16_t v) { return v != 0; }));
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
