// Feeds arbitrary bytes to the picture decoder, then blits any picture it
// accepts so the decoded pixels are read in full.
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
    if (plotwick::Bitmap* p = plotwick::ImageDecode(raster, std::span<const uint8_t>(data, size))) {
        plotwick::BlitFrom(raster, -3, -2, p->width + 5, p->height + 5, -1, 0, p);
        plotwick::BlitTiled(raster, 0, 0, 64, 48, 0, 0, p->width, p->height, 1, 1);
    }
    return 0;
}
