// Chart window behaviour: Qt events mapped onto the chart's mouse interaction
// and painting through the raster back buffer.
#include "chart_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "plotwick/chart_frame.h"
#include "plotwick/describe.h"
#include "plotwick/paint.h"
#include "plotwick/raster.h"
#include "plotwick/scale.h"
#include "plotwick/view.h"

namespace plotwick {

int32_t PointAtX(const GraphContext& ctx, int32_t x) {
    if (ctx.pointCount <= 0 || ctx.plotWidth < 10) return 0;
    const int64_t col = std::clamp<int64_t>(int64_t{x} - ctx.marginLeft, 0, ctx.plotWidth - 1);
    // A view of zero width maps every column to its start, never dividing by zero.
    const double width = static_cast<double>(ctx.viewEnd) - ctx.viewStart;
    const double t = width > 0 ? col / (ctx.plotWidth / width) + ctx.viewStart : ctx.viewStart;
    return NearestPoint(ctx, TruncToInt(t));
}

namespace {

// Presents the painted rectangle of the back buffer with QPainter::drawImage.
// The raster is drawn at `scale` device pixels per widget pixel; at the
// screen's own ratio the image maps one to one onto the device pixels.
class WidgetPaintWindow : public PaintWindow {
public:
    WidgetPaintWindow(QWidget& widget, const QRect& box, double scale)
        : widget_(widget), box_(box), scale_(scale) {}
    RasterRect ClipBox() const override {
        if (scale_ == 1.0) return RasterRect{box_.left(), box_.top(), box_.right() + 1, box_.bottom() + 1};
        // The device pixels that cover the box, within the scaled widget.
        const auto floorPx = [&](int v) { return static_cast<int32_t>(std::floor(v * scale_)); };
        const auto ceilPx = [&](int v) { return static_cast<int32_t>(std::ceil(v * scale_)); };
        return RasterRect{std::max(floorPx(box_.left()), 0), std::max(floorPx(box_.top()), 0),
                          std::min(ceilPx(box_.right() + 1), ScaledPx(widget_.width(), scale_)),
                          std::min(ceilPx(box_.bottom() + 1), ScaledPx(widget_.height(), scale_))};
    }
    void Present(const PresentFrame& frame) override {
        const int w = frame.rect.right - frame.rect.left, h = frame.rect.bottom - frame.rect.top;
        if (w <= 0 || h <= 0 || frame.bottomRow == nullptr) return;
        QImage image(w, h, QImage::Format_RGB32);
        if (image.isNull()) return;
        CopyFrameTopDown(frame, reinterpret_cast<uint32_t*>(image.bits()),
                         static_cast<int32_t>(image.bytesPerLine()));
        QPainter painter(&widget_);
        if (scale_ == 1.0 && widget_.devicePixelRatioF() == 1.0) {
            painter.drawImage(frame.rect.left, frame.rect.top, image);
            return;
        }
        // A ratio between the generated scales is met by resampling.
        image.setDevicePixelRatio(scale_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, widget_.devicePixelRatioF() != scale_);
        painter.drawImage(QPointF(frame.rect.left / scale_, frame.rect.top / scale_), image);
    }

private:
    QWidget& widget_;
    QRect box_;
    double scale_;
};

// Screen readers see a chart as a chart, with the name and description the
// widget carries.
QAccessibleInterface* ChartAccessibleFactory(const QString&, QObject* object) {
    auto* chart = dynamic_cast<ChartWidget*>(object);
    if (chart == nullptr) return nullptr;
    return new QAccessibleWidget(chart, QAccessible::Chart);  // owned by Qt's accessibility cache
}

HoverState HoverFor(const Interaction& s) {
    HoverState h;
    h.hoverWindow = s.hover;
    h.x = s.x;
    h.y = s.y;
    h.selecting = s.selecting;
    h.anchorIndex = s.anchorIndex;
    h.currentIndex = s.currentIndex;
    return h;
}

}  // namespace

ChartWidget::ChartWidget(LibraryContext& library, QWidget* parent, int32_t width, int32_t height,
                         const char* title)
    : QWidget(parent), library_(library) {
    library_.liveCharts.insert(static_cast<const QObject*>(this));
    setObjectName(QStringLiteral("MerrowPlotwickClass"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(ChartAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    ctx_ = std::make_unique<GraphContext>();
    InitGraphContext(*ctx_, this, width, height, title != nullptr ? title : "");
    setAccessibleName(QString::fromLatin1(ChartAccessibleName(*ctx_)));
    UpdateAccessibleDescription();
    resize(std::max<int32_t>(width, 1), std::max<int32_t>(height, 1));
    // Owned by the same parent; a chart without one has no frame to show.
    if (parent != nullptr) frame_ = new ChartFrame(*this);
}

ChartWidget::~ChartWidget() {
    library_.liveCharts.erase(static_cast<const QObject*>(this));
    if (ChartFrame* frame = frame_.data()) {
        // The frame must not follow a half-destroyed chart, nor outlive it.
        removeEventFilter(frame);
        frame->hide();
        frame->deleteLater();
    }
    if (ctx_ == nullptr) return;
    autoScrollTimer_.stop();
    // Nothing library-wide may keep pointing at the record released below.
    Interaction& s = library_.interaction;
    if (s.hover == ctx_.get() || s.capture == ctx_.get() || s.timerOwner == ctx_.get()) {
        if (s.hover == ctx_.get()) {
            s.hover = nullptr;
            s.x = s.y = -1;
        }
        if (s.capture == ctx_.get()) {
            s.capture = nullptr;
            s.selecting = false;
            s.panning = false;
        }
        if (s.timerOwner == ctx_.get()) {
            s.timerOwner = nullptr;
            s.autoScroll = false;
        }
    }
    if (s.tracking == ctx_.get()) s.tracking = nullptr;
    ctx_.reset();
}

void ChartWidget::PaintNow() { repaint(); }

void ChartWidget::UpdateAccessibleDescription(bool force) {
    if (ctx_ == nullptr) return;
    const DescribedState now{ctx_->times.data(), ctx_->viewStart, ctx_->viewEnd, ctx_->captionIsVolts};
    if (!force && now == described_ && !accessibleDescription().isEmpty()) return;
    described_ = now;
    setAccessibleDescription(QString::fromLatin1(ChartAccessibleDescription(*ctx_)));
}

bool ChartWidget::event(QEvent* event) {
    // Moved to a screen of another device pixel ratio (or the ratio changed):
    // the next paint draws at the new ratio.
    if (event->type() == QEvent::ScreenChangeInternal) update();
    return QWidget::event(event);
}

void ChartWidget::paintEvent(QPaintEvent* event) {
    if (ctx_ == nullptr) {
        QWidget::paintEvent(event);
        return;
    }
    const double scale = ChartScaleFor(devicePixelRatioF());
    paintedScale_ = scale;
    WidgetPaintWindow window(*this, event->rect(), scale);
    Paint(library_.raster, *ctx_, window, HoverFor(library_.interaction), scale);
    UpdateAccessibleDescription();
}

void ChartWidget::resizeEvent(QResizeEvent* event) {
    if (ctx_ == nullptr) return QWidget::resizeEvent(event);
    ResizeGraphContext(*ctx_, width(), height());
    PaintNow();
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event) {
    if (ctx_ == nullptr) return QWidget::mouseMoveEvent(event);
    Interaction& s = library_.interaction;
    if (s.tracking != ctx_.get()) s.tracking = ctx_.get();
    const QPoint p = event->position().toPoint();
    MouseMove(p.x(), p.y());
    PaintNow();
}

void ChartWidget::mousePressEvent(QMouseEvent* event) {
    if (ctx_ == nullptr) return QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    raise();
    // The press acts at the pointer position, also when no move preceded it.
    const QPoint p = event->position().toPoint();
    Interaction& s = library_.interaction;
    if (ctx_->pointCount > 0) {
        s.hover = ctx_.get();
        s.x = p.x();
        s.y = p.y();
    }
    MousePress();
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (ctx_ == nullptr) return QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    MouseRelease();
}

void ChartWidget::leaveEvent(QEvent* event) {
    if (ctx_ == nullptr) return QWidget::leaveEvent(event);
    Interaction& s = library_.interaction;
    if (s.tracking == ctx_.get()) s.tracking = nullptr;
    // Only this window's hover is cleared; another chart may already own it.
    if (s.hover == ctx_.get() || s.hover == nullptr) {
        s.hover = nullptr;
        s.x = s.y = -1;
    }
    PaintNow();
}

void ChartWidget::timerEvent(QTimerEvent* event) {
    if (ctx_ != nullptr && event->timerId() == autoScrollTimer_.timerId()) {
        AutoScrollTick();
        return;
    }
    QWidget::timerEvent(event);
}

void ChartWidget::MouseMove(int32_t x, int32_t y) {
    GraphContext& c = *ctx_;
    if (c.pointCount <= 0) return;
    Interaction& s = library_.interaction;
    s.hover = &c;
    s.x = x;
    s.y = y;
    if (s.selecting && s.capture == &c) {
        s.currentIndex = PointAtX(c, x);
        if ((x < c.marginLeft || x > c.width - c.marginRight) && !s.autoScroll) {
            s.autoScroll = true;
            s.tickCount = 0;
            s.timerOwner = &c;
            autoScrollTimer_.start(kAutoScrollMs, this);
        }
    }
    if (s.panning && s.capture == &c && c.plotWidth > 0) {
        const int64_t delta = (int64_t{x} - s.panAnchorX) * c.span / c.plotWidth;
        int64_t start = s.panStart + delta, end = s.panEnd + delta;
        if (end >= c.span) {
            start -= end - c.span;
            end = c.span;
        }
        if (start < 0) {
            end -= start;
            start = 0;
        }
        SetView(c, static_cast<int32_t>(start), static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX)));
    }
}

void ChartWidget::MousePress() {
    GraphContext& c = *ctx_;
    if (c.pointCount <= 0) return;
    Interaction& s = library_.interaction;
    const int32_t x = s.hover == &c ? s.x : -1;
    const int32_t y = s.hover == &c ? s.y : -1;
    if (x < c.marginLeft) return;
    const int32_t right = c.width - c.marginRight;
    if (y >= c.marginTop && x < right && y < c.height - c.marginBottom) {
        s.selecting = true;
        s.anchorIndex = s.currentIndex = PointAtX(c, x);
        s.capture = &c;
        PaintNow();
        return;
    }
    const int32_t stripTop = c.height - c.marginBottom + 40;
    if (x < right && y >= stripTop && y < stripTop + 30) {
        const ThumbSpan thumb = ComputeThumb(c.plotWidth, c.viewStart, c.viewEnd, c.span);
        s.panning = true;
        s.panStart = c.viewStart;
        s.panEnd = c.viewEnd;
        s.capture = &c;
        const int32_t rx = x - c.marginLeft;
        if (rx >= thumb.left && rx < thumb.right) {
            s.panAnchorX = x;
        } else {
            s.panAnchorX = c.marginLeft + (thumb.left + thumb.right) / 2;
            MouseMove(x, y);
        }
        PaintNow();
    }
}

void ChartWidget::MouseRelease() {
    GraphContext& c = *ctx_;
    if (c.pointCount <= 0) return;
    Interaction& s = library_.interaction;
    if (s.panning && s.capture == &c) {
        s.panning = false;
        s.capture = nullptr;
    }
    if (s.selecting && s.capture == &c) {
        s.selecting = false;
        s.capture = nullptr;
        if (s.anchorIndex == s.currentIndex) {
            const int32_t half = std::max<int32_t>((c.viewEnd - c.viewStart) / 2, 30);
            const int64_t start = int64_t{c.viewStart} - half, end = int64_t{c.viewEnd} + half;
            if (c.animateZoomOut) {
                Animate(static_cast<int32_t>(std::max<int64_t>(start, 0)),
                        static_cast<int32_t>(std::min<int64_t>(end, c.span)));
            } else {
                SetView(c, static_cast<int32_t>(std::max<int64_t>(start, INT32_MIN)),
                        static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX)));
            }
        } else {
            const int32_t last = c.pointCount - 1;
            const int32_t lo = std::clamp(std::min(s.anchorIndex, s.currentIndex), 0, last);
            const int32_t hi = std::clamp(std::max(s.anchorIndex, s.currentIndex) + 1, 0, last);
            if (c.animateZoomIn) {
                Animate(c.times[lo], c.times[hi]);
            } else {
                SetView(c, c.times[lo], c.times[hi]);
            }
        }
    }
    update();
}

void ChartWidget::Animate(int32_t targetStart, int32_t targetEnd) {
    GraphContext& c = *ctx_;
    const int64_t start0 = c.viewStart, end0 = c.viewEnd;
    for (int i = 0; i <= 4; ++i) {
        const int64_t start = (4 * start0 + i * (int64_t{targetStart} - start0)) / 4;
        const int64_t end = (4 * end0 + i * (int64_t{targetEnd} - end0)) / 4;
        SetView(c, static_cast<int32_t>(start), static_cast<int32_t>(end));
        PaintNow();
        if (i < 4) QThread::msleep(kAnimateFrameMs);
    }
}

void ChartWidget::StopAutoScroll() {
    autoScrollTimer_.stop();
    Interaction& s = library_.interaction;
    s.autoScroll = false;
    if (s.timerOwner == ctx_.get()) s.timerOwner = nullptr;
}

void ChartWidget::AutoScrollTick() {
    GraphContext& c = *ctx_;
    Interaction& s = library_.interaction;
    if (!s.autoScroll || !s.selecting || s.hover == nullptr || s.hover != &c ||
        (s.x >= c.marginLeft && s.x <= c.width - c.marginRight)) {
        StopAutoScroll();
        return;
    }
    s.tickCount = std::min(s.tickCount + 1, 7);
    const int32_t step = static_cast<int32_t>((int64_t{c.viewEnd} - c.viewStart) * s.tickCount / 32);
    if (s.x < c.marginLeft) {
        SetView(c, c.viewStart - step, c.viewEnd);
    } else {
        SetView(c, c.viewStart,
                static_cast<int32_t>(std::min<int64_t>(int64_t{c.viewEnd} + step, INT32_MAX)));
    }
    MouseMove(s.x, s.y);
    PaintNow();
}

PngPathChooser* SetPngPathChooser(LibraryContext& library, PngPathChooser* chooser) {
    PngPathChooser* previous = library.pngPathChooser;
    library.pngPathChooser = chooser;
    return previous;
}

bool SaveChartPng(LibraryContext& library, const GraphContext& ctx, const QString& path) {
    if (!RasterReady(library.raster) || path.isEmpty()) return false;
    MemoryWindow window(ctx.width, ctx.height);
    Paint(library.raster, ctx, window, HoverState{});
    // Mixed pixels carry alpha 0, which RGB32 ignores as the window does.
    const QImage image(reinterpret_cast<const uchar*>(window.pixels().data()), window.width(),
                       window.height(), window.width() * 4, QImage::Format_RGB32);
    return image.save(path, "PNG");
}

std::unique_ptr<QMenu> ChartWidget::ContextMenu() {
    // Not parented: the caller owns the menu even if the chart goes first.
    auto menu = std::make_unique<QMenu>();
    QAction* save = menu->addAction(QString::fromLatin1(kSavePngText));
    save->setEnabled(ctx_ != nullptr);
    connect(save, &QAction::triggered, this, [this] {
        if (ctx_ == nullptr) return;
        const QPointer<ChartWidget> alive(this);
        QString path;
        if (PngPathChooser* chooser = library_.pngPathChooser) {
            path = chooser->Choose(this);
        } else {
            path = QFileDialog::getSaveFileName(this, QString::fromLatin1(kSavePngText), QString(),
                                                QStringLiteral("PNG image (*.png)"));
        }
        if (alive.isNull() || path.isEmpty() || ctx_ == nullptr)
            return;  // cancelled, or the chart went meanwhile
        if (!SaveChartPng(library_, *ctx_, path)) DebugPrint("chart picture not saved");
    });
    return menu;
}

void ChartWidget::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu = ContextMenu();
    menu->exec(event->globalPos());
}

int FrameEdgesAt(int x, int y, int w, int h) {
    if (x < 0 || y < 0 || x >= w || y >= h) return kEdgeNone;
    const bool onLeft = x < kFrameWidth, onRight = x >= w - kFrameWidth;
    const bool onTop = y < kFrameWidth, onBottom = y >= h - kFrameWidth;
    int edges = kEdgeNone;
    if (onLeft || onRight) {
        edges |= onLeft ? kEdgeLeft : kEdgeRight;
        if (y < kFrameCornerGrip) {
            edges |= kEdgeTop;
        } else if (y >= h - kFrameCornerGrip) {
            edges |= kEdgeBottom;
        }
    }
    if (onTop || onBottom) {
        edges |= onTop ? kEdgeTop : kEdgeBottom;
        if (x < kFrameCornerGrip) {
            edges |= kEdgeLeft;
        } else if (x >= w - kFrameCornerGrip) {
            edges |= kEdgeRight;
        }
    }
    return edges;
}

QRect ResizedClientRect(const QRect& start, int edges, const QPoint& delta) {
    // Exclusive right and bottom, in 64 bits so no drag can overflow.
    int64_t left = start.left(), top = start.top();
    int64_t right = left + std::max(start.width(), 1), bottom = top + std::max(start.height(), 1);
    if ((edges & kEdgeLeft) != 0) left = std::min<int64_t>(left + delta.x(), right - 1);
    if ((edges & kEdgeRight) != 0) right = std::max<int64_t>(right + delta.x(), left + 1);
    if ((edges & kEdgeTop) != 0) top = std::min<int64_t>(top + delta.y(), bottom - 1);
    if ((edges & kEdgeBottom) != 0) bottom = std::max<int64_t>(bottom + delta.y(), top + 1);
    const auto clampInt = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
    };
    return QRect(QPoint(clampInt(left), clampInt(top)),
                 QSize(clampInt(right - left), clampInt(bottom - top)));
}

ChartFrame::ChartFrame(ChartWidget& chart) : QWidget(chart.parentWidget()), chart_(&chart) {
    setObjectName(QStringLiteral("MerrowPlotwickFrame"));
    setAccessibleName(chart.accessibleName() + QStringLiteral(" frame"));
    setMouseTracking(true);
    chart.installEventFilter(this);
    Follow();
    if (chart.isVisibleTo(parentWidget())) show();
}

void ChartFrame::FitAroundChart() {
    if (chart_.isNull()) return;
    setGeometry(chart_->geometry().adjusted(-kFrameWidth, -kFrameWidth, kFrameWidth, kFrameWidth));
}

void ChartFrame::Follow() {
    if (chart_.isNull()) return;
    FitAroundChart();
    stackUnder(chart_.data());
}

bool ChartFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_.data()) {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
                FitAroundChart();  // the stacking stays as it was
                break;
            case QEvent::ZOrderChange:
                stackUnder(chart_.data());
                break;
            case QEvent::Show:
                Follow();
                show();
                break;
            case QEvent::Hide:
                hide();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ChartFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width(), h = height();
    const QPalette& pal = palette();
    // Face colour under the whole ring, then a raised outer edge and the thin
    // dark border that closes in the client area.
    painter.fillRect(0, 0, w, kFrameWidth, pal.color(QPalette::Button));
    painter.fillRect(0, h - kFrameWidth, w, kFrameWidth, pal.color(QPalette::Button));
    painter.fillRect(0, 0, kFrameWidth, h, pal.color(QPalette::Button));
    painter.fillRect(w - kFrameWidth, 0, kFrameWidth, h, pal.color(QPalette::Button));
    painter.setPen(pal.color(QPalette::Light));
    painter.drawLine(0, 0, w - 1, 0);
    painter.drawLine(0, 0, 0, h - 1);
    painter.setPen(pal.color(QPalette::Shadow));
    painter.drawLine(0, h - 1, w - 1, h - 1);
    painter.drawLine(w - 1, 0, w - 1, h - 1);
    painter.setPen(pal.color(QPalette::Dark));
    const int inner = kFrameWidth - 1;
    painter.drawRect(inner, inner, w - 2 * inner - 1, h - 2 * inner - 1);
}

void ChartFrame::mouseMoveEvent(QMouseEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    if (dragEdges_ != kEdgeNone) {
        if (!chart_.isNull())
            chart_->setGeometry(ResizedClientRect(dragStart_, dragEdges_, global - dragOrigin_));
        return;
    }
    const QPoint p = event->position().toPoint();
    const int edges = FrameEdgesAt(p.x(), p.y(), width(), height());
    const bool horizontal = (edges & (kEdgeLeft | kEdgeRight)) != 0,
               vertical = (edges & (kEdgeTop | kEdgeBottom)) != 0;
    if (horizontal && vertical) {
        const bool falling = edges == (kEdgeLeft | kEdgeTop) || edges == (kEdgeRight | kEdgeBottom);
        setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else if (horizontal) {
        setCursor(Qt::SizeHorCursor);
    } else if (vertical) {
        setCursor(Qt::SizeVerCursor);
    } else {
        unsetCursor();
    }
}

void ChartFrame::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const int edges = FrameEdgesAt(p.x(), p.y(), width(), height());
    if (event->button() != Qt::LeftButton || edges == kEdgeNone || chart_.isNull()) {
        QWidget::mousePressEvent(event);
        return;
    }
    chart_->raise();
    dragEdges_ = edges;
    dragOrigin_ = event->globalPosition().toPoint();
    dragStart_ = chart_->geometry();
}

void ChartFrame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragEdges_ = kEdgeNone;
    QWidget::mouseReleaseEvent(event);
}

ChartWidget* ChartFromHandle(const LibraryContext& library, void* handle) {
    if (handle == nullptr || library.liveCharts.count(handle) == 0) return nullptr;
    auto* object = static_cast<QObject*>(handle);
    return dynamic_cast<ChartWidget*>(object);
}

}  // namespace plotwick
