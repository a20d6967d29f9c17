// Whole-process comparison of `kestrane-xm render` with the general-purpose
// module players xmp and openmpt123 (where installed): each renders the same
// modules to a 48 kHz 16-bit stereo WAV file with linear interpolation, and
// the CPU time (user + system) and peak resident memory of the whole process
// are compared. Prints each module's ratio to the faster peer and the two
// worst cases.
//
//   xmengine_peer_bench [--seconds N] [--runs N] [--brief]
//
// --brief (or the benchmark library's --benchmark_min_time, as ctest passes
// it) renders two seconds once per module, so the program cannot rot.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "about_song.h"
#include "xm_song_corpus.h"
#include "xm_writer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Usage {
    double cpuSeconds = 0;
    double peakMiB = 0;
};

// Runs argv to completion with its output discarded; nullopt when it could
// not be started or did not exit with 0.
std::optional<Usage> RunProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return std::nullopt;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    Usage u;
    u.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    u.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return u;
}

bool Installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const fs::path candidate = fs::path(dirs.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

struct Player {
    std::string name;
    bool available = false;
    // The command line rendering `seconds` of `module` (looping) to `wav`.
    std::vector<std::string> (*command)(const std::string& module, const std::string& wav, int seconds);
};

std::vector<std::string> KestraneCommand(const std::string& module, const std::string& wav, int seconds) {
    return {KESTRANE_XM_TOOL, "render", module, wav, "--seconds", std::to_string(seconds)};
}

std::vector<std::string> XmpCommand(const std::string& module, const std::string& wav, int seconds) {
    return {"xmp",
            "--norc",
            "--nocmd",
            "-q",
            "-f",
            "48000",
            "-b",
            "16",
            "-i",
            "linear",
            "-l",
            "-t",
            std::to_string(seconds),
            "-o",
            wav,
            module};
}

std::vector<std::string> OpenmptCommand(const std::string& module, const std::string& wav, int seconds) {
    return {"openmpt123", "--batch",    "-q",         "--samplerate",
            "48000",      "--channels", "2",          "--no-float",
            "--filter",   "2",          "--dither",   "0",
            "--repeat",   "-1",         "--end-time", std::to_string(seconds),
            "--force",    "-o",         wav,          module};
}

struct Measured {
    std::string module;
    std::optional<Usage> players[3];
};

// Median of the runs' CPU times; the peak memory is the largest seen.
std::optional<Usage> Median(const std::vector<std::string>& command, int runs) {
    std::vector<Usage> all;
    for (int i = 0; i < runs; ++i) {
        const std::optional<Usage> u = RunProcess(command);
        if (!u) return std::nullopt;
        all.push_back(*u);
    }
    std::sort(all.begin(), all.end(),
              [](const Usage& a, const Usage& b) { return a.cpuSeconds < b.cpuSeconds; });
    Usage m = all[all.size() / 2];
    for (const Usage& u : all) m.peakMiB = std::max(m.peakMiB, u.peakMiB);
    return m;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 120;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--brief" || a.rfind("--benchmark_", 0) == 0) {
            seconds = 2;
            runs = 1;
        } else if (a == "--seconds" && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--runs N] [--brief]\n", argv[0]);
            return 2;
        }
    }

    Player players[3] = {{"kestrane-xm", true, KestraneCommand},
                         {"xmp", Installed("xmp"), XmpCommand},
                         {"openmpt123", Installed("openmpt123"), OpenmptCommand}};
    for (const Player& p : players)
        if (!p.available) std::printf("%s is not installed: not compared\n", p.name.c_str());

    const fs::path dir = fs::temp_directory_path() / ("kestrane-xm-peers-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct Module {
        std::string name;
        bool worstCase;
    };
    std::vector<Module> modules;
    const auto about = kestrane::music::AboutSongBytes();
    WriteFile(dir / "about-song.xm", std::vector<uint8_t>(about.begin(), about.end()));
    modules.push_back({"about-song", false});
    for (const kestrane::xmw::CorpusSong& c : kestrane::xmw::SongCorpus()) {
        WriteFile(dir / (c.name + ".xm"), kestrane::xmw::WriteXm(c.song));
        modules.push_back({c.name, c.worstCase});
    }

    std::printf("%d s of each module, 48 kHz 16-bit stereo WAV, median CPU of %d run(s)\n", seconds, runs);
    std::printf("%-38s %12s %12s %12s %8s %20s\n", "module", "kestrane-xm", "xmp", "openmpt123", "ratio",
                "peak MiB (k/x/o)");
    struct Ratio {
        std::string module;
        double ratio;
    };
    std::vector<Ratio> ratios;
    bool failed = false;
    for (const Module& m : modules) {
        const std::string module = (dir / (m.name + ".xm")).string();
        const std::string wav = (dir / "out.wav").string();
        std::optional<Usage> u[3];
        for (int p = 0; p < 3; ++p)
            if (players[p].available) u[p] = Median(players[p].command(module, wav, seconds), runs);
        if (!u[0]) {
            std::printf("%-38s kestrane-xm failed\n", m.name.c_str());
            failed = true;
            continue;
        }
        double fasterPeer = 0;
        for (int p = 1; p < 3; ++p)
            if (u[p] && (fasterPeer == 0 || u[p]->cpuSeconds < fasterPeer)) fasterPeer = u[p]->cpuSeconds;
        auto cell = [&](int p) {
            char text[32];
            if (!players[p].available)
                std::snprintf(text, sizeof text, "-");
            else if (!u[p])
                std::snprintf(text, sizeof text, "failed");
            else
                std::snprintf(text, sizeof text, "%.3f s", u[p]->cpuSeconds);
            return std::string(text);
        };
        auto peak = [&](int p) { return u[p] ? u[p]->peakMiB : 0.0; };
        char ratioText[16] = "-";
        if (fasterPeer > 0) {
            const double ratio = u[0]->cpuSeconds / fasterPeer;
            std::snprintf(ratioText, sizeof ratioText, "%.2f", ratio);
            ratios.push_back({m.name + (m.worstCase ? " (worst case)" : ""), ratio});
        }
        std::printf("%-38s %12s %12s %12s %8s %8.1f/%4.1f/%4.1f\n", m.name.c_str(), cell(0).c_str(),
                    cell(1).c_str(), cell(2).c_str(), ratioText, peak(0), peak(1), peak(2));
    }
    std::sort(ratios.begin(), ratios.end(), [](const Ratio& a, const Ratio& b) { return a.ratio > b.ratio; });
    if (ratios.empty()) {
        std::printf("no peer installed: no ratios\n");
    } else {
        std::printf("ratio = kestrane-xm CPU / the faster peer's CPU (below 1 is faster)\n");
        for (size_t i = 0; i < std::min<size_t>(2, ratios.size()); ++i)
            std::printf("worst case %zu: %s at %.2f\n", i + 1, ratios[i].module.c_str(), ratios[i].ratio);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return failed ? 1 : 0;
}
