#include "music/tool/xm_tool_commands.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "about_song.h"
#include "kestrane_version.h"
#include "music/engine/xm_renderer.h"
#include "music/engine/xm_song.h"
#include "music/player/module_source.h"
#include "music/player/wav_writer.h"

namespace kestrane::music::tool {

std::string Usage() {
    return "Usage: kestrane-xm render (SONG.xm | --builtin) OUT.wav [--seconds=N]\n"
           "  or:  kestrane-xm play (SONG.xm | --builtin)\n"
           "  or:  kestrane-xm (--help | --version)\n"
           "Render an XM (FastTracker 2 extended module) song to a 48 kHz 16-bit stereo\n"
           "WAV file, or play it through the desktop's sound output.\n"
           "\n"
           "Commands:\n"
           "  render    write the song to OUT.wav, once to its end (at most 600 s), or\n"
           "            for --seconds with the song looping; OUT.wav '-' writes the WAV\n"
           "            to standard output\n"
           "  play      play the song once, to its last frame, or until interrupted\n"
           "\n"
           "Options:\n"
           "      --builtin      use the module the About box carries instead of a file\n"
           "      --seconds=N    render exactly N seconds (above 0, at most 21600),\n"
           "                     looping the song\n"
           "  -h, --help         display this help and exit\n"
           "  -V, --version      output version information and exit\n"
           "\n"
           "Options take their value as --option=value or --option value.\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  the module could not be read or loaded, the output could not be\n"
           "     written, or no sound output could be opened\n"
           "  2  usage error: unknown command or option, missing or bad value\n"
           "\n"
           "Examples:\n"
           "  kestrane-xm render song.xm song.wav\n"
           "  kestrane-xm render --builtin - --seconds=30 | aplay\n";
}

std::string VersionText(std::string_view program) {
    return std::string(program) + " " + KESTRANE_VERSION_TEXT + "\n";
}

namespace {

enum OptionId { kOptBuiltin = 1000, kOptSeconds };

std::optional<double> ParseSeconds(const std::string& text, std::ostream& err) {
    char* end = nullptr;
    errno = 0;
    const double s = std::strtod(text.c_str(), &end);
    // Up to 6 h (21,600 s) of audio: the WAV format's 4 GiB limit holds about 6.2 h.
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(s) || s <= 0 || s > 6 * 3600) {
        err << "kestrane-xm: --seconds wants a number of seconds from above 0 to 21600, not '" << text
            << "'\n";
        return std::nullopt;
    }
    return s;
}

}  // namespace

std::optional<Command> ParseCommand(const std::vector<std::string>& args, std::ostream& err) {
    static const option kOptions[] = {
        {"builtin", no_argument, nullptr, kOptBuiltin},
        {"seconds", required_argument, nullptr, kOptSeconds},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    // getopt_long permutes its argv; give it copies it may reorder.
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.push_back("kestrane-xm");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);

    Command c;
    bool help = false;
    bool version = false;
    std::optional<std::string> secondsText;
    optind = 0;  // a full restart, so the parser can run more than once
    opterr = 0;  // the messages below replace getopt's own
    const int argc = static_cast<int>(argv.size()) - 1;
    for (;;) {
        int index = -1;
        const int id = getopt_long(argc, argv.data(), ":hV", kOptions, &index);
        if (id == -1) break;
        switch (id) {
            case 'h':
                help = true;
                break;
            case 'V':
                version = true;
                break;
            case kOptBuiltin:
                c.builtin = true;
                break;
            case kOptSeconds:
                secondsText = optarg;
                break;
            case ':':
                err << "kestrane-xm: " << argv[static_cast<std::size_t>(optind) - 1] << " needs a value\n";
                return std::nullopt;
            default: {
                const std::string bad = optopt != 0 && optopt < 256
                                            ? std::string("-") + static_cast<char>(optopt)
                                            : std::string(argv[static_cast<std::size_t>(optind) - 1]);
                err << "kestrane-xm: unknown option '" << bad << "'\n"
                    << "Try 'kestrane-xm --help' for more information.\n";
                return std::nullopt;
            }
        }
    }
    if (help) {
        c.kind = Command::kHelp;
        return c;
    }
    if (version) {
        c.kind = Command::kVersion;
        return c;
    }
    std::vector<std::string> positional;
    for (int i = optind; i < argc; ++i) positional.emplace_back(argv[static_cast<std::size_t>(i)]);
    if (positional.empty()) {
        err << "kestrane-xm: a command is needed: render or play\n"
            << "Try 'kestrane-xm --help' for more information.\n";
        return std::nullopt;
    }
    if (positional[0] == "render") {
        c.kind = Command::kRender;
    } else if (positional[0] == "play") {
        c.kind = Command::kPlay;
    } else {
        err << "kestrane-xm: unknown command '" << positional[0] << "'\n"
            << "Try 'kestrane-xm --help' for more information.\n";
        return std::nullopt;
    }
    positional.erase(positional.begin());
    if (secondsText) {
        if (c.kind != Command::kRender) {
            err << "kestrane-xm: --seconds applies to render only\n";
            return std::nullopt;
        }
        c.seconds = ParseSeconds(*secondsText, err);
        if (!c.seconds) return std::nullopt;
    }
    const std::size_t want = (c.builtin ? 0 : 1) + (c.kind == Command::kRender ? 1 : 0);
    if (positional.size() != want) {
        err << "kestrane-xm: " << (c.kind == Command::kRender ? "render wants " : "play wants ")
            << (c.kind == Command::kRender ? (c.builtin ? "OUT.wav" : "SONG.xm and OUT.wav")
                                           : (c.builtin ? "no file" : "SONG.xm"))
            << ", got " << positional.size() << " file name(s)\n"
            << "Try 'kestrane-xm --help' for more information.\n";
        return std::nullopt;
    }
    std::size_t next = 0;
    if (!c.builtin) c.song = positional[next++];
    if (c.kind == Command::kRender) c.output = positional[next++];
    return c;
}

std::optional<std::vector<std::uint8_t>> CommandSongBytes(const Command& command, std::ostream& err) {
    if (command.builtin) {
        const auto bytes = AboutSongBytes();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    auto bytes = player::ReadModuleFile(command.song);
    if (!bytes) err << "kestrane-xm: cannot read '" << command.song << "'\n";
    return bytes;
}

int RunRender(const Command& command, std::span<const std::uint8_t> bytes, std::ostream& out,
              std::ostream& err) {
    engine::XmLoadResult loaded = engine::LoadXm(bytes);
    if (!loaded.ok()) {
        err << "kestrane-xm: not a playable module: " << engine::XmLoadMessage(loaded) << "\n";
        return kExitFailure;
    }
    // With a length the song loops to fill it; without, it plays once.
    const bool loop = command.seconds.has_value();
    const double seconds = command.seconds.value_or(kMaxRenderSeconds);
    const auto frames = static_cast<std::uint64_t>(std::llround(seconds * engine::kXmSampleRate));
    engine::XmRenderer renderer(std::make_shared<const engine::XmSong>(std::move(loaded.song)), loop);

    const bool toStdout = command.output == "-";
    std::ostream& report = toStdout ? err : out;
    player::WavWriter wav;
    if (!(toStdout ? wav.OpenStdout() : wav.Open(command.output))) {
        err << "kestrane-xm: cannot create '" << command.output << "'\n";
        return kExitFailure;
    }
    std::vector<std::int16_t> block(engine::kXmBlockSamples);
    std::uint64_t done = 0;
    bool ended = false;
    while (done < frames && !ended) {
        ended = !renderer.RenderBlock(
            std::span<std::int16_t, engine::kXmBlockSamples>(block.data(), engine::kXmBlockSamples));
        const std::uint64_t take = std::min<std::uint64_t>(engine::kXmBlockFrames, frames - done);
        if (!wav.Write(std::span<const std::int16_t>(block.data(), static_cast<std::size_t>(take * 2))))
            break;
        done += take;
    }
    if (!wav.Close()) {
        err << "kestrane-xm: writing '" << command.output << "' failed\n";
        return kExitFailure;
    }
    if (!loop && !ended)
        err << "kestrane-xm: the song did not end within " << kMaxRenderSeconds << " s; cut there\n";
    report << "kestrane-xm: wrote " << done << " frames ("
           << static_cast<double>(done) / engine::kXmSampleRate << " s) to "
           << (toStdout ? "standard output" : command.output) << "\n";
    return kExitOk;
}

}  // namespace kestrane::music::tool
