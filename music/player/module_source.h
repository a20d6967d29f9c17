// Reads a module's bytes from one of the player's three sources: memory
// (borrowed address and length), a file, or a named resource resolved by a
// loader the program installs (the Qt layer resolves Qt resource paths).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrane::music::player {

// Resolves a resource name to its bytes; nullopt when there is none.
using ResourceLoader = std::function<std::optional<std::vector<std::uint8_t>>(const std::string& name)>;

// Largest module file the file source reads. Bigger files cannot be
// valid songs within the loader's limits worth playing and would only
// exhaust memory.
inline constexpr std::uint64_t kMaxModuleFileBytes = 256ull << 20;

// The whole file, or nullopt when it cannot be opened or read, is not a
// regular file, or is larger than kMaxModuleFileBytes.
std::optional<std::vector<std::uint8_t>> ReadModuleFile(const std::string& path);

}  // namespace kestrane::music::player
