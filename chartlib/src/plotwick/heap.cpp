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

void* xmalloc(int64_t size) {
    if (size <= 0) return nullptr;
    void* p = nullptr;
    if (size <= kXmallocMaxBlock) p = State().windowHeap.Alloc(static_cast<std::size_t>(size));
    if (!p) {
        // The sink's "%d" is a 32-bit decimal; larger sizes are shown saturated.
        const int shown = size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
        DebugPrintf("%s = %d", "xmalloc failed at size", shown);
    }
    return p;
}

void xfree(void* block) {
    if (!block) return;
    if (!State().windowHeap.Free(block)) DebugPrint("xfree: block not from xmalloc ignored");
}

int64_t XmallocLiveBlocks() { return State().windowHeap.LiveBlocks(); }

int64_t RasterHeapLiveBlocks() { return State().heap.LiveBlocks(); }

}  // namespace plotwick
