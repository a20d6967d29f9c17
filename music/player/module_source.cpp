#include "music/player/module_source.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace kestrane::music::player {

std::optional<std::vector<std::uint8_t>> ReadModuleFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    // Read in chunks rather than trusting a size taken before the read: the
    // file may change underneath, and the limit must hold either way.
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[8192];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        if (got > 0) {
            if (bytes.size() + got > kMaxModuleFileBytes) return std::nullopt;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

}  // namespace kestrane::music::player
