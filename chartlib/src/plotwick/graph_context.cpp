#include "graph_context.h"

#include <algorithm>
#include <cstring>

#include "view.h"

namespace plotwick {

void InitGraphContext(GraphContext& ctx, void* hwnd, int32_t width, int32_t height, const char* title) {
    ctx = GraphContext{};
    ctx.hwnd = hwnd;
    // Bounded: at most 99 characters, never reading past them.
    if (title != nullptr) ctx.title.assign(title, ::strnlen(title, kTitleSize - 1));
    ResizeGraphContext(ctx, width, height);
    ResetRange(ctx);
}

void ResizeGraphContext(GraphContext& ctx, int32_t width, int32_t height) {
    ctx.width = std::max<int32_t>(width, 1);
    ctx.height = std::max<int32_t>(height, 1);
    ctx.plotWidth = ctx.width - ctx.marginLeft - ctx.marginRight;
}

}  // namespace plotwick
