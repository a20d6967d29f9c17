// Feeds arbitrary bytes to the font loader, then measures and draws text
// with any font it accepts, reading every glyph's atlas columns.
#include <cstddef>
#include <cstdint>

#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace {
void Quiet(std::string_view) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plotwick::SetDiagnosticSink(Quiet);
    plotwick::RasterState raster;
    plotwick::RasterInit(raster, 64, 48);
    if (const plotwick::Font* f = plotwick::FontLoad(raster, std::span<const uint8_t>(data, size))) {
        char all[97];
        for (int i = 0; i < 96; ++i) all[i] = static_cast<char>(32 + i);
        all[96] = '\0';
        plotwick::SetFont(raster, f);
        plotwick::TextSize(raster, all);
        plotwick::TextDraw(raster, -5, -3, all, 0xFF000000u);
        plotwick::TextDraw(raster, 1, 1, "12.5\nAM", 0xFF000000u);
    }
    return 0;
}
