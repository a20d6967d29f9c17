// The raster heap: a private pool of zero-filled blocks for pictures, fonts
// and decoder tables, released one by one or all at once when the raster
// layer is freed. Each block is its own allocation, so a released block can
// never be reached through another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace plotwick {

class BlockHeap {
public:
    // Zero-filled block of `bytes` (at least 1); nullptr when it cannot be had.
    void* Alloc(std::size_t bytes);
    // Releases a block of this heap; returns false for a pointer it does not own.
    bool Free(void* block);
    // Releases every block.
    void Destroy();
    int64_t LiveBlocks() const { return static_cast<int64_t>(blocks_.size()); }

    // Largest single block; bigger requests fail.
    static constexpr std::size_t kMaxBlock = std::size_t{1} << 30;

private:
    std::unordered_map<void*, std::unique_ptr<std::byte[]>> blocks_;
};

}  // namespace plotwick
