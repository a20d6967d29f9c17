#include "chart_walk.h"

#include <cstring>

namespace plotwick {

void PlanTimeLabelKinds(const GraphContext& ctx, const PlotGeometry& g, const TimeLabelSlots& slots,
                        TimeLabelKind* kinds, int32_t finalTickRoom) {
    char lastTagged[8] = {};  // zeros: the first slot always gets a date tag
    bool ended = false;
    for (int s = 0; s < slots.count; ++s) {
        const int64_t xs = int64_t{g.left} + slots.x[s];
        if (ended || xs > g.right) {
            kinds[s] = TimeLabelKind::None;
            ended = true;
            continue;
        }
        if (xs + finalTickRoom > g.right) {
            kinds[s] = TimeLabelKind::FinalTick;
            ended = true;
            continue;
        }
        char date[8] = {};
        const char* label = !ctx.o_Labels.empty() ? ctx.o_Labels[slots.index[s]] : nullptr;
        if (label != nullptr) std::memcpy(date, label, ::strnlen(label, sizeof date));
        if (std::memcmp(date, lastTagged, sizeof date) == 0) {
            kinds[s] = TimeLabelKind::Tick;
        } else {
            kinds[s] = TimeLabelKind::DateTag;
            std::memcpy(lastTagged, date, sizeof date);
        }
    }
}

}  // namespace plotwick
