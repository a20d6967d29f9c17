// Feeds arbitrary bytes to the picture decoder, then blits any picture it
// accepts so the decoded pixels are read in full.
#include <cstddef>
#include <cstdint>

#include "plotwick/raster.h"

namespace {
void Quiet(std::string_view) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plotwick::SetDiagnosticSink(Quiet);
    if (!plotwick::RasterReady()) plotwick::RasterInit(64, 48);
    if (plotwick::Bitmap* p = plotwick::ImageDecode(std::span<const uint8_t>(data, size))) {
        plotwick::BlitFrom(-3, -2, p->width + 5, p->height + 5, -1, 0, p);
        plotwick::BlitTiled(0, 0, 64, 48, 0, 0, p->width, p->height, 1, 1);
    }
    // Keep the heap from growing across runs.
    plotwick::RasterFree();
    return 0;
}
