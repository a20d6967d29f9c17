// The library's C exports: set-up, chart creation and log loading. Nothing
// C++ crosses this boundary; every failure is a 0 or null result.
#include <QGuiApplication>
#include <QScreen>

#include "chart_window.h"
#include "library_context.h"
#include "plotwick.h"
#include "plotwick/loader.h"
#include "plotwick/raster.h"

namespace plotwick {

LibraryContext& ExportContext() {
    // The C exports carry no context of their own; this is the one they share.
    static LibraryContext context;
    return context;
}

}  // namespace plotwick

extern "C" {

PLOTWICK_API void pwInitialize(void) {
    try {
        plotwick::LibraryContext& library = plotwick::ExportContext();
        if (library.rasterInitialised) return;
        int32_t w = 0, h = 0;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            w = screen->size().width();
            h = screen->size().height();
        }
        library.rasterInitialised = plotwick::RasterInit(library.raster, w, h);
    } catch (...) {}
}

PLOTWICK_API void pwDeinitialize(void) {
    try {
        plotwick::LibraryContext& library = plotwick::ExportContext();
        if (!library.rasterInitialised) return;
        plotwick::RasterFree(library.raster);
        library.rasterInitialised = false;
    } catch (...) {}
}

PLOTWICK_API void* pwCreateWindow(void* parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                  const char* title) {
    try {
        if (parent == nullptr) return nullptr;
        auto* owner = static_cast<QWidget*>(parent);
        // Owned by the parent: destroyed with it, which releases its record.
        auto* chart = new plotwick::ChartWidget(plotwick::ExportContext(), owner, width, height, title);
        chart->move(x, y);
        chart->show();
        return static_cast<QObject*>(chart);
    } catch (...) {
        return nullptr;
    }
}

PLOTWICK_API int32_t pwLoadFile(void* window, const char* path, int32_t captionIsVolts) {
    try {
        plotwick::ChartWidget* chart = plotwick::ChartFromHandle(plotwick::ExportContext(), window);
        if (chart == nullptr || chart->context() == nullptr || path == nullptr) return 0;
        plotwick::GraphContext& ctx = *chart->context();
        if (plotwick::LoadSeries(path, ctx) != 1) return 0;
        ctx.captionIsVolts = captionIsVolts;
        chart->UpdateAccessibleDescription(true);
        chart->update();
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
