#include "xm_tool_commands.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "engine/xm_renderer.h"
#include "engine/xm_song.h"
#include "player/module_source.h"
#include "player/wav_writer.h"

#if defined(KESTRANE_HAVE_ABOUT_SONG) && __has_include("about_song.h")
#include "about_song.h"
#define KESTRANE_XM_BUILTIN 1
#endif

namespace kestrane::music::tool {

std::string Usage() {
  return "usage: kestrane-xm render (SONG.xm | --builtin) OUT.wav [--seconds N]\n"
         "       kestrane-xm play (SONG.xm | --builtin)\n";
}

std::optional<Command> ParseCommand(const std::vector<std::string>& args, std::ostream& err) {
  if (args.empty()) {
    err << Usage();
    return std::nullopt;
  }
  Command c;
  if (args[0] == "render") {
    c.kind = Command::kRender;
  } else if (args[0] == "play") {
    c.kind = Command::kPlay;
  } else {
    err << "kestrane-xm: unknown command '" << args[0] << "'\n" << Usage();
    return std::nullopt;
  }
  std::vector<std::string> positional;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--builtin") {
      c.builtin = true;
    } else if (args[i] == "--seconds" && c.kind == Command::kRender) {
      if (i + 1 >= args.size()) {
        err << "kestrane-xm: --seconds needs a number\n";
        return std::nullopt;
      }
      const std::string& text = args[++i];
      char* end = nullptr;
      errno = 0;
      const double s = std::strtod(text.c_str(), &end);
      // Up to 6 h (21,600 s) of audio: the WAV format's 4 GiB limit holds about 6.2 h.
      if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(s) || s <= 0 || s > 6 * 3600) {
        err << "kestrane-xm: --seconds wants a number of seconds from above 0 to 21600, not '" << text
            << "'\n";
        return std::nullopt;
      }
      c.seconds = s;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      err << "kestrane-xm: unknown option '" << args[i] << "'\n" << Usage();
      return std::nullopt;
    } else {
      positional.push_back(args[i]);
    }
  }
  const std::size_t want = (c.builtin ? 0 : 1) + (c.kind == Command::kRender ? 1 : 0);
  if (positional.size() != want) {
    err << Usage();
    return std::nullopt;
  }
  std::size_t next = 0;
  if (!c.builtin) c.song = positional[next++];
  if (c.kind == Command::kRender) c.output = positional[next++];
  return c;
}

std::optional<std::vector<std::uint8_t>> CommandSongBytes(const Command& command, std::ostream& err) {
  if (command.builtin) {
#ifdef KESTRANE_XM_BUILTIN
    const auto bytes = AboutSongBytes();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
#else
    err << "kestrane-xm: this build carries no built-in module\n";
    return std::nullopt;
#endif
  }
  auto bytes = ReadModuleFile(command.song);
  if (!bytes) err << "kestrane-xm: cannot read '" << command.song << "'\n";
  return bytes;
}

int RunRender(const Command& command, std::span<const std::uint8_t> bytes, std::ostream& out,
              std::ostream& err) {
  XmLoadResult loaded = LoadXm(bytes);
  if (!loaded.ok()) {
    err << "kestrane-xm: not a playable module: " << XmLoadMessage(loaded) << "\n";
    return kExitFailure;
  }
  // With a length the song loops to fill it; without, it plays once.
  const bool loop = command.seconds.has_value();
  const double seconds = command.seconds.value_or(kMaxRenderSeconds);
  const auto frames = static_cast<std::uint64_t>(std::llround(seconds * kXmSampleRate));
  XmRenderer renderer(std::make_shared<const XmSong>(std::move(loaded.song)), loop);

  WavWriter wav;
  if (!wav.Open(command.output)) {
    err << "kestrane-xm: cannot create '" << command.output << "'\n";
    return kExitFailure;
  }
  std::vector<std::int16_t> block(kXmBlockSamples);
  std::uint64_t done = 0;
  bool ended = false;
  while (done < frames && !ended) {
    ended = !renderer.RenderBlock(std::span<std::int16_t, kXmBlockSamples>(block.data(), kXmBlockSamples));
    const std::uint64_t take = std::min<std::uint64_t>(kXmBlockFrames, frames - done);
    if (!wav.Write(std::span<const std::int16_t>(block.data(), static_cast<std::size_t>(take * 2)))) break;
    done += take;
  }
  if (!wav.Close()) {
    err << "kestrane-xm: writing '" << command.output << "' failed\n";
    return kExitFailure;
  }
  if (!loop && !ended)
    err << "kestrane-xm: the song did not end within " << kMaxRenderSeconds << " s; cut there\n";
  out << "kestrane-xm: wrote " << done << " frames (" << static_cast<double>(done) / kXmSampleRate
      << " s) to " << command.output << "\n";
  return kExitOk;
}

}  // namespace kestrane::music::tool
