// plotwick-render: loads a channel log file and paints its chart, exactly as
// a chart window would, into a PNG file. No display is needed.
#include <QImage>
#include <QString>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/chart_frame.h"
#include "core/graph_context.h"
#include "core/loader.h"
#include "core/paint.h"
#include "core/raster.h"
#include "core/series.h"
#include "core/view.h"

namespace {

constexpr const char* kUsage =
    "usage: plotwick-render LOGFILE OUT.png [--size WxH] [--view START END] [--amps] [--hover X Y]\n"
    "  --size WxH        client size in pixels (default 600x240, each 1..8192)\n"
    "  --view START END  visible ages in seconds, newest point = 0 (default: newest hour)\n"
    "  --amps            caption Amps instead of Volts\n"
    "  --hover X Y       draw as if the pointer were at (X, Y)\n";

bool ParseInt(const char* text, long lo, long hi, int32_t* out) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool ParseSize(const char* text, int32_t* w, int32_t* h) {
    const char* x = std::strchr(text, 'x');
    if (x == nullptr) return false;
    const std::string width(text, static_cast<size_t>(x - text));
    return ParseInt(width.c_str(), 1, plotwick::kMaxBackBufferSide, w) &&
           ParseInt(x + 1, 1, plotwick::kMaxBackBufferSide, h);
}

// A usage error (exit 2) prints the usage; a failure on a named file exits 1.
int Fail(const char* message, const char* detail = nullptr) {
    if (detail != nullptr) {
        std::fprintf(stderr, "plotwick-render: %s '%s'\n", message, detail);
        return 1;
    }
    std::fprintf(stderr, "plotwick-render: %s\n%s", message, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Fail("missing arguments");
    const char* logPath = argv[1];
    const char* outPath = argv[2];
    int32_t width = 600, height = 240;
    bool haveView = false, amps = false, haveHover = false;
    int32_t viewStart = 0, viewEnd = 0, hoverX = -1, hoverY = -1;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc) {
            if (!ParseSize(argv[++i], &width, &height)) return Fail("bad --size, expected WxH");
        } else if (arg == "--view" && i + 2 < argc) {
            if (!ParseInt(argv[i + 1], INT_MIN, INT_MAX, &viewStart) || !ParseInt(argv[i + 2], INT_MIN, INT_MAX, &viewEnd)) {
                return Fail("bad --view, expected two whole numbers of seconds");
            }
            haveView = true;
            i += 2;
        } else if (arg == "--amps") {
            amps = true;
        } else if (arg == "--hover" && i + 2 < argc) {
            if (!ParseInt(argv[i + 1], INT_MIN, INT_MAX, &hoverX) || !ParseInt(argv[i + 2], INT_MIN, INT_MAX, &hoverY)) {
                return Fail("bad --hover, expected two whole pixel numbers");
            }
            haveHover = true;
            i += 2;
        } else {
            return Fail("unknown or incomplete option");
        }
    }

    if (!plotwick::RasterInit(width, height)) return Fail("cannot allocate the back buffer", logPath);
    plotwick::GraphContext ctx;
    const char* slash = std::strrchr(logPath, '/');
    plotwick::InitGraphContext(ctx, nullptr, width, height, slash != nullptr ? slash + 1 : logPath);
    if (plotwick::LoadSeries(logPath, ctx) != 1) {
        plotwick::RasterFree();
        return Fail("cannot load log file (missing, unreadable or without readings)", logPath);
    }
    ctx.captionIsVolts = amps ? 0 : 1;
    if (haveView) plotwick::SetView(ctx, viewStart, viewEnd);
    plotwick::HoverState hover;
    if (haveHover) {
        hover.hoverWindow = &ctx;
        hover.x = hoverX;
        hover.y = hoverY;
    }
    plotwick::MemoryWindow window(width, height);
    plotwick::Paint(ctx, window, hover);
    plotwick::ReleaseSeries(ctx);
    plotwick::RasterFree();

    // The pixels are 0xAARRGGBB words; mixed pixels carry alpha 0, which
    // RGB32 ignores as the window presentation does.
    QImage image(reinterpret_cast<const uchar*>(window.pixels().data()), width, height, width * 4,
                 QImage::Format_RGB32);
    if (!image.save(QString::fromLocal8Bit(outPath), "PNG")) return Fail("cannot write PNG file", outPath);
    return 0;
}
