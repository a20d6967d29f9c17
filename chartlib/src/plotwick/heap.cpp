#include "plotwick/heap.h"

#include <new>

#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace plotwick {

void* BlockHeap::Alloc(std::size_t bytes) {
    if (bytes == 0 || bytes > kMaxBlock) return nullptr;
    std::unique_ptr<std::byte[]> block;
    try {
        block = std::make_unique<std::byte[]>(bytes);  // value-initialised: zero-filled
        void* p = block.get();
        blocks_.emplace(p, std::move(block));
        return p;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool BlockHeap::Free(void* block) { return blocks_.erase(block) != 0; }

void BlockHeap::Destroy() { blocks_.clear(); }

int64_t RasterHeapLiveBlocks(const RasterState& raster) { return raster.heap.LiveBlocks(); }

}  // namespace plotwick
