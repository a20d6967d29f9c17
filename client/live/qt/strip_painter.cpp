// Strip drawing. Each pixel column shows its readings' minimum to maximum
// as a vertical stroke, and the line joins the columns' means; a column
// marked as following a gap is not joined to the one before, and the gap
// between them is shaded.
#include "live/qt/strip_painter.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QLineF>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kestrane::live {
namespace {

constexpr double kLeftMargin = 64;  // scale labels
constexpr double kRightMargin = 10;
constexpr double kTopMargin = 4;
constexpr double kAxisHeight = 22;  // time labels under the strips
constexpr double kStripSpacing = 6;

const QColor kBackground(255, 255, 255);
const QColor kPlotBackground(250, 250, 250);
const QColor kFrame(160, 160, 160);
const QColor kGrid(225, 225, 225);
const QColor kGapShade(255, 222, 222);
const QColor kGapLine(200, 60, 60);
const QColor kText(30, 30, 30);

// 1, 2 or 5 times a power of ten, at least `raw`.
double NiceStep(double raw) {
    if (!(raw > 0) || !std::isfinite(raw)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10.0 * power;
}

// Label of a scale value with as many decimals as the step needs.
QString ScaleText(double v, double step) {
    // 2.5 times a power of ten needs one decimal more than the power.
    const double digits = -std::log10(step);
    const int decimals =
        std::clamp(static_cast<int>(std::ceil(digits - 1e-9)) +
                       (std::fabs(step / std::pow(10.0, std::floor(std::log10(step))) - 2.5) < 1e-9),
                   0, 6);
    if (std::fabs(v) < step / 1e6) v = 0.0;
    return QString::number(v, 'f', decimals);
}

constexpr std::array<int64_t, 17> kTimeSteps = {
    1'000,   2'000,   5'000,     10'000,    15'000,    30'000,     60'000,     120'000,   300'000,
    600'000, 900'000, 1'800'000, 3'600'000, 7'200'000, 10'800'000, 21'600'000, 43'200'000};

}  // namespace

namespace {

QPen LinePen(const QColor& colour) {
    QPen pen(colour);
    pen.setWidthF(1.0);
    pen.setCosmetic(true);
    return pen;
}

// A vertical run of pixels in one device column, rows inclusive (none
// when top > bottom).
struct Run {
    int x;
    int top;
    int bottom;
};

}  // namespace

const StripPainter::StrokeRuns& StripPainter::Learn(int across, int rows) {
    std::vector<StrokeRuns>& table = strokes_[across != 0][rows < 0];
    const auto i = static_cast<std::size_t>(std::abs(rows));
    if (table.size() <= i) table.resize(i + 1);
    StrokeRuns& j = table[i];
    j.learnt = true;
    // Columns 0 and 3 and rows outside the stroke are room for strays.
    const int start = 2 + std::max(0, -rows);
    QImage probe(4, std::abs(rows) + 5, QImage::Format_RGB32);
    probe.fill(Qt::white);
    {
        QPainter p(&probe);
        p.setPen(LinePen(Qt::black));
        const QLineF line(1.5, start + 0.5, 1.5 + across, start + rows + 0.5);
        p.drawLines(&line, 1);
    }
    const QRgb black = QColor(Qt::black).rgb();
    bool usable = true;
    auto run = [&](int x, int& top, int& bottom) {
        top = 0;
        bottom = -1;
        for (int y = 0; y < probe.height(); ++y) {
            if (probe.pixel(x, y) != black) continue;
            if (bottom < top) {
                top = bottom = y;
            } else if (y == bottom + 1) {
                bottom = y;
            } else {
                usable = false;
            }
        }
        top -= start;
        bottom -= start;
    };
    int top = 0;
    int bottom = -1;
    run(0, top, bottom);
    usable = usable && bottom < top;
    run(3, top, bottom);
    usable = usable && bottom < top;
    run(1, j.firstTop, j.firstBottom);
    run(2, j.secondTop, j.secondBottom);
    j.usable = usable;
    return j;
}

QColor StripPainter::ChannelColour(int channel) {
    static const std::array<QColor, 6> colours = {QColor(0, 90, 200),  QColor(200, 70, 0),
                                                  QColor(0, 140, 60),  QColor(150, 0, 160),
                                                  QColor(170, 130, 0), QColor(0, 130, 140)};
    return colours[static_cast<std::size_t>(std::clamp(channel, 1, 6) - 1)];
}

QString ClockText(int64_t unixMs, bool withDate) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(unixMs);
    return t.toString(withDate ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

StripGeometry StripPainter::Paint(QImage& image, const TrendStore& store,
                                  const std::vector<StripChannel>& channels, const StripSpan& span) {
    StripGeometry g;
    const double dpr = image.devicePixelRatio();
    const double width = image.width() / dpr;
    const double height = image.height() / dpr;
    // Taken before painting starts, so the painter works on the same
    // (detached) pixels.
    QRgb* const bits = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    QPainter painter(&image);
    painter.fillRect(QRectF(0, 0, width, height), kBackground);
    g.plot = QRectF(kLeftMargin, kTopMargin, std::max(1.0, width - kLeftMargin - kRightMargin),
                    std::max(1.0, height - kTopMargin - kAxisHeight));
    const auto columnCount = static_cast<std::size_t>(std::max(1.0, std::floor(g.plot.width() * dpr)));
    const ColumnGrid grid{std::max<int64_t>(1, span.spanMs), columnCount};
    const int64_t endColumn = grid.ColumnOf(span.endMs - 1) + 1;
    g.span = {grid.Start(endColumn), grid.spanMs};
    g.untilMs = span.endMs;
    const int64_t fromMs = g.span.endMs - g.span.spanMs;
    const double columnWidth = g.plot.width() / static_cast<double>(columnCount);
    // Strokes go straight into the pixels where each column is exactly one
    // device pixel, at a scale of 1, 2 or 4 (where the painter's arithmetic
    // on pixel centres is exact), in a 32-bit image.
    const int deviceLeft = static_cast<int>(g.plot.left() * dpr);
    const bool direct = directLines_ && (dpr == 1.0 || dpr == 2.0 || dpr == 4.0) &&
                        static_cast<double>(deviceLeft) == g.plot.left() * dpr &&
                        g.plot.width() * dpr == static_cast<double>(columnCount) &&
                        (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32 ||
                         image.format() == QImage::Format_ARGB32_Premultiplied);
    auto timeX = [&](int64_t t) {
        return g.plot.left() +
               static_cast<double>(t - fromMs) / static_cast<double>(g.span.spanMs) * g.plot.width();
    };

    // Time grid and labels: a step that gives at least 110 pixels per label.
    int64_t step = kTimeSteps.back();
    for (const int64_t s : kTimeSteps) {
        if (static_cast<double>(s) / static_cast<double>(g.span.spanMs) * g.plot.width() >= 110.0) {
            step = s;
            break;
        }
    }
    const int64_t offsetMs =
        static_cast<int64_t>(QDateTime::fromMSecsSinceEpoch(g.span.endMs).offsetFromUtc()) * 1000;
    std::vector<int64_t> ticks;
    for (int64_t t = ((fromMs + offsetMs) / step + 1) * step - offsetMs; t < g.span.endMs; t += step)
        ticks.push_back(t);

    const QFont baseFont = painter.font();
    QFont boldFont = baseFont;
    boldFont.setBold(true);
    const QFontMetricsF metrics(baseFont);
    painter.setPen(kText);
    for (const int64_t t : ticks) {
        const double x = timeX(t);
        const QString label = ClockText(t, false);
        const double w = metrics.horizontalAdvance(label);
        painter.drawText(QPointF(std::clamp(x - w / 2, 0.0, width - w), height - 6), label);
    }

    const std::vector<int64_t> gaps = store.GapsIn(fromMs, g.span.endMs);
    const auto n = static_cast<double>(std::max<std::size_t>(1, channels.size()));
    const double stripHeight = (g.plot.height() - kStripSpacing * (n - 1)) / n;
    std::vector<QLineF> lines;
    std::vector<Run> runs;
    for (std::size_t s = 0; s < channels.size(); ++s) {
        const StripChannel& ch = channels[s];
        const QRectF r(g.plot.left(), g.plot.top() + static_cast<double>(s) * (stripHeight + kStripSpacing),
                       g.plot.width(), std::max(1.0, stripHeight));
        g.strips.push_back(r);
        painter.fillRect(r, kPlotBackground);

        std::span<const Column> columns =
            caches_[static_cast<std::size_t>(std::clamp(ch.channel, 1, kLiveChannels) - 1)].Columns(
                store, ch.channel, grid, endColumn);
        if (g.untilMs < g.span.endMs && columns.back().count > 0) {
            // The last column may hold readings from after the requested
            // end (a paused view): sum it again without them.
            cut_.assign(columns.begin(), columns.end());
            const bool before =
                std::any_of(cut_.begin(), cut_.end() - 1, [](const Column& c) { return c.count > 0; });
            store.Query(ch.channel, grid, endColumn - 1, std::span<Column>(&cut_.back(), 1), before,
                        g.untilMs);
            columns = cut_;
        }
        double lo = std::numeric_limits<double>::infinity();
        double hi = -std::numeric_limits<double>::infinity();
        for (const Column& c : columns) {
            if (c.count == 0) continue;
            lo = std::min(lo, c.min);
            hi = std::max(hi, c.max);
        }
        if (!(lo <= hi)) {
            lo = 0;
            hi = 1;
        }
        if (hi - lo < std::max(std::fabs(hi), std::fabs(lo)) * 1e-9 || hi == lo) {
            const double pad = std::max(std::fabs(hi) * 0.01, 0.001);
            lo -= pad;
            hi += pad;
        }
        const int gridLines = std::max(2, static_cast<int>(r.height() / 22));
        const double valueStep = NiceStep((hi - lo) / gridLines);
        lo = std::floor(lo / valueStep) * valueStep;
        hi = std::ceil(hi / valueStep) * valueStep;
        g.low.push_back(lo);
        g.high.push_back(hi);
        // On device pixel centres, so a flat line stays on one pixel row.
        auto valueRow = [&](double v) {
            const double y = r.bottom() - (v - lo) / (hi - lo) * r.height();
            return std::floor(y * dpr);
        };
        auto valueY = [&](double v) { return (valueRow(v) + 0.5) / dpr; };

        // Grid and scale labels.
        painter.setPen(kGrid);
        for (const int64_t t : ticks) painter.drawLine(QLineF(timeX(t), r.top(), timeX(t), r.bottom()));
        painter.setFont(baseFont);
        for (double v = lo; v <= hi + valueStep / 2; v += valueStep) {
            const double y = valueY(v);
            painter.setPen(kGrid);
            painter.drawLine(QLineF(r.left(), y, r.right(), y));
            painter.setPen(kText);
            const QString label = ScaleText(v, valueStep);
            const double w = metrics.horizontalAdvance(label);
            const double ty =
                std::clamp(y + metrics.ascent() / 2 - 1, r.top() + metrics.ascent(), r.bottom());
            painter.drawText(QPointF(r.left() - 4 - w, ty), label);
        }

        // Gaps: shaded where the line breaks, a mark at each gap's time.
        // The line's strokes within a column and between neighbouring
        // columns are kept as pixel runs when drawn directly; the rest go
        // to QPainter.
        lines.clear();
        runs.clear();
        runs.reserve(4 * columnCount);
        double previousX = 0;
        double previousY = 0;
        int previousRow = 0;
        bool hasPrevious = false;
        auto addStroke = [&](int column, int row, const StrokeRuns& stroke) {
            runs.push_back({column, row + stroke.firstTop, row + stroke.firstBottom});
            runs.push_back({column + 1, row + stroke.secondTop, row + stroke.secondBottom});
        };
        for (std::size_t p = 0; p < columnCount; ++p) {
            const Column& c = columns[p];
            if (c.count == 0) continue;
            const double x = r.left() + (static_cast<double>(p) + 0.5) * columnWidth;
            const double rowAt = valueRow(c.mean);
            const double y = (rowAt + 0.5) / dpr;
            const int row = static_cast<int>(rowAt);
            const int column = deviceLeft + static_cast<int>(p);
            if (c.breakBefore) {
                painter.fillRect(QRectF(QPointF(previousX, r.top()), QPointF(x, r.bottom())), kGapShade);
            } else if (hasPrevious) {
                // Neighbours: the previous column drawn is the one before.
                const StrokeRuns* join =
                    direct && p > 0 && columns[p - 1].count > 0 ? &Stroke(1, row - previousRow) : nullptr;
                if (join && join->usable) {
                    addStroke(column - 1, previousRow, *join);
                } else {
                    lines.emplace_back(previousX, previousY, x, y);
                }
            }
            if (c.min != c.max) {
                // Minimum to maximum, upwards (the two may share a row).
                const int bottom = static_cast<int>(valueRow(c.min));
                const StrokeRuns* stroke =
                    direct ? &Stroke(0, static_cast<int>(valueRow(c.max)) - bottom) : nullptr;
                if (stroke && stroke->usable)
                    addStroke(column, bottom, *stroke);
                else
                    lines.emplace_back(x, valueY(c.min), x, valueY(c.max));
            } else if (direct) {
                // QPainter fills this pixel and the next for a stroke one
                // device pixel long, as for a flat join.
                runs.push_back({column, row, row});
                runs.push_back({column + 1, row, row});
            } else {
                // One device pixel wide, rasterised as the joining lines are
                // (a point would land one row off them).
                lines.emplace_back(x - 0.5 / dpr, y, x + 0.5 / dpr, y);
            }
            previousX = x;
            previousY = y;
            previousRow = row;
            hasPrevious = true;
        }
        QPen gapPen(kGapLine);
        gapPen.setStyle(Qt::DashLine);
        painter.setPen(gapPen);
        for (const int64_t t : gaps) painter.drawLine(QLineF(timeX(t), r.top(), timeX(t), r.bottom()));

        painter.setPen(LinePen(ChannelColour(ch.channel)));
        painter.setClipRect(r);
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        painter.setClipping(false);
        if (!runs.empty()) {
            // Clipped as QPainter clips to the strip, and to the image (a
            // tiny image has a strip larger than itself).
            const int clipLeft = std::max(0, qRound(r.left() * dpr));
            const int clipRight = std::min(image.width(), qRound(r.right() * dpr));
            const int clipTop = std::max(0, qRound(r.top() * dpr));
            const int clipBottom = std::min(image.height(), qRound(r.bottom() * dpr));
            const QRgb colour = ChannelColour(ch.channel).rgb();
            for (const Run& run : runs) {
                if (run.x < clipLeft || run.x >= clipRight) continue;
                const int top = std::max(run.top, clipTop);
                const int bottom = std::min(run.bottom, clipBottom - 1);
                for (int yy = top; yy <= bottom; ++yy)
                    bits[static_cast<qsizetype>(yy) * stride + run.x] = colour;
            }
        }

        painter.setPen(kFrame);
        painter.drawRect(r);

        // Name, unit and last value in the strip's corner.
        painter.setFont(boldFont);
        const QString title = ch.name + QStringLiteral("   ") +
                              (ch.last.isEmpty() ? QStringLiteral("-") : ch.last) + QStringLiteral(" ") +
                              ch.unit;
        const QFontMetricsF boldMetrics(boldFont);
        const QRectF box(r.left() + 4, r.top() + 3, boldMetrics.horizontalAdvance(title) + 8,
                         boldMetrics.height() + 2);
        painter.fillRect(box, QColor(255, 255, 255, 215));
        painter.setPen(ChannelColour(ch.channel));
        painter.drawText(QPointF(box.left() + 4, box.top() + 1 + boldMetrics.ascent()), title);
    }
    painter.setFont(baseFont);
    return g;
}

}  // namespace kestrane::live
