// Draws the live view's strips: one strip per shown channel, stacked on a
// shared time axis, each with its own automatic scale, its name, unit and
// last value, gaps shaded and never joined by the line. Pure drawing into
// a QImage, so the window, the tests and the benchmark share it.
#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "live/column_cache.h"
#include "live/trend_store.h"

namespace kestrane::live {

struct StripChannel {
    int channel = 1;  // 1..6
    QString name;
    QString unit;  // "V" or "A"
    QString last;  // the last value as shown, "+ 12.605"; empty before any
};

// The time range drawn: [endMs - spanMs, endMs).
struct StripSpan {
    int64_t endMs = 0;
    int64_t spanMs = 60'000;
};

// Where things were drawn, for hovering: one entry per strip.
struct StripGeometry {
    // The span drawn: the requested one with its end moved up to the next
    // column boundary of the clock.
    StripSpan span;
    // The requested end: readings from here on are not drawn, though the
    // last column reaches further.
    int64_t untilMs = 0;
    QRectF plot;  // the plotting area of all strips (logical pixels)
    std::vector<QRectF> strips;
    std::vector<double> low;   // value at each strip's bottom
    std::vector<double> high;  // value at each strip's top
};

class StripPainter {
public:
    // Paints the whole image (its size and device pixel ratio are the
    // caller's); the columns are device pixels, so a high-density screen
    // gets its full resolution. The columns are fixed to the clock and kept
    // per channel, so a redraw after a few new readings sums only the
    // newest columns.
    StripGeometry Paint(QImage& image, const TrendStore& store, const std::vector<StripChannel>& channels,
                        const StripSpan& span);

    static QColor ChannelColour(int channel);

    // Off: every stroke of the line goes through QPainter, the drawing the
    // direct one is checked against.
    void SetDirectLines(bool on) { directLines_ = on; }

private:
    // The rows, relative to the start row, that QPainter's one-pixel pen
    // fills in a device pixel column and the next when it strokes from the
    // column's centre on a row to the centre `across` (0 or 1) columns on
    // and `rows` rows down; learnt from QPainter on first use.
    struct StrokeRuns {
        bool learnt = false;
        bool usable = false;  // at most one unbroken run per column, nothing else
        int firstTop = 0, firstBottom = -1;
        int secondTop = 0, secondBottom = -1;
    };
    const StrokeRuns& Stroke(int across, int rows) {
        const std::vector<StrokeRuns>& table = strokes_[across != 0][rows < 0];
        const auto i = static_cast<std::size_t>(rows < 0 ? -rows : rows);
        return i < table.size() && table[i].learnt ? table[i] : Learn(across, rows);
    }
    const StrokeRuns& Learn(int across, int rows);

    std::array<ColumnCache, kLiveChannels> caches_;
    std::vector<Column> cut_;  // a strip's columns with the last one cut short
    // By across, then downwards or upwards, then the number of rows.
    std::array<std::array<std::vector<StrokeRuns>, 2>, 2> strokes_;
    bool directLines_ = true;
};

// Local clock time of a reading for the axis and hovering: "14:16:28.3".
QString ClockText(int64_t unixMs, bool withDate);

}  // namespace kestrane::live
