// kestrane-xm: renders an XM module into a WAV file, or plays it through
// the desktop's sound output until it ends or Ctrl-C. Built twice: the
// renderer without Qt (kestrane-xm, quick to start and small), and with the
// desktop output (kestrane-xm-play), to which kestrane-xm hands `play`.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "music/engine/xm_song.h"
#include "music/player/module_player.h"
#include "music/tool/xm_tool_commands.h"

#ifdef KESTRANE_XM_DESKTOP
#include <QCoreApplication>
#include <QTimer>

#include "music/qt/qt_sound_output.h"
#endif

namespace {

using namespace kestrane::music;
using namespace kestrane::music::tool;

#ifdef KESTRANE_XM_DESKTOP
constexpr const char* kProgramName = "kestrane-xm-play";
#else
constexpr const char* kProgramName = "kestrane-xm";
#endif

#ifdef KESTRANE_XM_DESKTOP
std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }
#endif

int RunPlay(int argc, char** argv, const std::vector<std::uint8_t>& bytes) {
#ifdef KESTRANE_XM_DESKTOP
    const engine::XmLoadResult check = engine::LoadXm(bytes);
    if (!check.ok()) {
        std::cerr << "kestrane-xm: not a playable module: " << engine::XmLoadMessage(check) << "\n";
        return kExitFailure;
    }
    QCoreApplication app(argc, argv);
    player::ModulePlayer player(std::make_unique<qt::QtSoundOutput>());
    if (!player.Play(bytes.data(), bytes.size(), player::kModuleMemory | player::kModuleNoLoop)) {
        std::cerr << "kestrane-xm: no sound output device could be opened\n";
        return kExitFailure;
    }
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (g_interrupted || !player.IsPlaying()) app.quit();
    });
    watch.start(50);
    app.exec();
    player.Stop();
    return kExitOk;
#else
    // The desktop output lives in kestrane-xm-play beside this program, so a
    // render never loads the sound and Qt libraries.
    (void)bytes;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::string player = (self.parent_path() / "kestrane-xm-play").string();
        std::vector<char*> args(argv, argv + argc);
        args[0] = const_cast<char*>(player.c_str());
        args.push_back(nullptr);
        execv(player.c_str(), args.data());
    }
    std::cerr << "kestrane-xm: this build has no desktop sound output (kestrane-xm-play is missing)\n";
    return kExitFailure;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto command = ParseCommand(args, std::cerr);
    if (!command) return kExitUsage;
    if (command->kind == Command::kHelp) {
        std::cout << Usage();
        return kExitOk;
    }
    if (command->kind == Command::kVersion) {
        std::cout << VersionText(kProgramName);
        return kExitOk;
    }
    const auto bytes = CommandSongBytes(*command, std::cerr);
    if (!bytes) return kExitFailure;
    if (command->kind == Command::kRender) return RunRender(*command, *bytes, std::cout, std::cerr);
    return RunPlay(argc, argv, *bytes);
}
