// Chart windows: a child widget per chart holding its GraphContext and the
// library context it belongs to, and the mouse interaction (hover, zoom by
// selection or click, auto-scroll, overview-strip panning).
#pragma once

#include <QBasicTimer>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

class QMenu;

#include "library_context.h"
#include "plotwick/graph_context.h"

namespace plotwick {

// Index of the point nearest in time to client column x; 0 without points
// or with a plot narrower than 10 pixels.
int32_t PointAtX(const GraphContext& ctx, int32_t x);

// Asks where to save a chart picture; an empty result means cancelled.
class PngPathChooser {
public:
    virtual ~PngPathChooser() = default;
    virtual QString Choose(QWidget* parent) = 0;
};
// Replaces the desktop's save dialog (null restores it); returns the previous one.
PngPathChooser* SetPngPathChooser(LibraryContext& library, PngPathChooser* chooser);

// Draws the chart without pointer looks, with the same Paint into plain
// memory as plotwick-render, and writes it as a PNG. False when the raster
// layer is not set up or the file cannot be written.
bool SaveChartPng(LibraryContext& library, const GraphContext& ctx, const QString& path);

inline constexpr const char* kSavePngText = "Save Chart As PNG...";

// The chart's frame: a thin sizing border kFrameWidth pixels wide around the
// client area. Edges it can grab, as bit flags.
inline constexpr int kFrameWidth = 3;
inline constexpr int kFrameCornerGrip = 12;
enum FrameEdge : int { kEdgeNone = 0, kEdgeLeft = 1, kEdgeTop = 2, kEdgeRight = 4, kEdgeBottom = 8 };

// The edges grabbed at (x, y) of a frame w x h pixels: one side, or two
// within kFrameCornerGrip of a corner; kEdgeNone inside the client area.
int FrameEdgesAt(int x, int y, int w, int h);

// The client rectangle after dragging `edges` of `start` by `delta`: the
// opposite sides stay put and the area never shrinks below 1 x 1.
QRect ResizedClientRect(const QRect& start, int edges, const QPoint& delta);

class ChartWidget;

// Draws the frame as a sibling stacked just below its chart, so the chart
// itself stays exactly the client area of the size it was created with.
// It follows the chart's geometry, visibility and stacking, and dragging
// an edge or corner resizes the chart.
class ChartFrame : public QWidget {
public:
    explicit ChartFrame(ChartWidget& chart);
    void Follow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FitAroundChart();

    QPointer<ChartWidget> chart_;
    int dragEdges_ = kEdgeNone;
    QPoint dragOrigin_;
    QRect dragStart_;
};

class ChartWidget : public QWidget {
public:
    // Registers the chart in `library`, which must outlive it.
    ChartWidget(LibraryContext& library, QWidget* parent, int32_t width, int32_t height, const char* title);
    ~ChartWidget() override;

    // The chart's record, owned by the widget for its whole life.
    GraphContext* context() { return ctx_.get(); }
    LibraryContext& library() { return library_; }

    void MouseMove(int32_t x, int32_t y);
    void MousePress();
    void MouseRelease();
    void AutoScrollTick();
    void Animate(int32_t targetStart, int32_t targetEnd);
    void PaintNow();
    // The right-click menu: "Save Chart As PNG...".
    std::unique_ptr<QMenu> ContextMenu();
    // The sizing frame; null for a chart without a parent.
    ChartFrame* frame() const { return frame_.data(); }
    // The chart scale (ChartScaleFor of the device pixel ratio) of the last
    // paint; 0 before the first.
    double paintedScale() const { return paintedScale_; }
    // Brings the accessible description up to date with the series and view;
    // `force` after a load, whose series may reuse the old one's memory.
    void UpdateAccessibleDescription(bool force = false);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void StopAutoScroll();

    LibraryContext& library_;
    std::unique_ptr<GraphContext> ctx_;
    QBasicTimer autoScrollTimer_;
    QPointer<ChartFrame> frame_;
    double paintedScale_ = 0.0;
    // What the accessible description was last made from.
    struct DescribedState {
        const void* series = nullptr;
        int32_t viewStart = 0, viewEnd = 0, captionIsVolts = 0;
        bool operator==(const DescribedState&) const = default;
    };
    DescribedState described_;
};

// The chart behind a handle from pwCreateWindow in `library`, or nullptr.
ChartWidget* ChartFromHandle(const LibraryContext& library, void* handle);

inline constexpr int kAutoScrollMs = 100;
inline constexpr int kAnimateFrameMs = 20;

}  // namespace plotwick
