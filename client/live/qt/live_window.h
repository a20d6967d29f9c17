// The Live View window: the polled channels of the connected board as
// strips on one time axis, a span selector, Pause, Reset, the statistics
// since reset and the PNG and CSV exports. It reads what the live feed
// collected; closing it loses nothing, since the feed keeps collecting.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

#include "acquisition/channel_model.h"
#include "live/live_feed.h"
#include "live/qt/strip_painter.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace kestrane::live {

// The spans the selector offers, shortest first.
struct SpanChoice {
    const char* text;
    int64_t ms;
};
inline constexpr SpanChoice kSpanChoices[] = {{"1 min", 60'000},
                                              {"10 min", 600'000},
                                              {"1 hour", 3'600'000},
                                              {"8 hours", 8 * 3'600'000LL},
                                              {"24 hours", 24 * 3'600'000LL}};

// The strips, drawn into an image at the screen's pixel density and shown
// as they were drawn; reports what the mouse is over.
class StripsWidget : public QWidget {
    Q_OBJECT
public:
    explicit StripsWidget(QWidget* parent);
    // Redraws the image now.
    void Render(const TrendStore& store, const std::vector<StripChannel>& channels, const StripSpan& span);
    const QImage& image() const { return image_; }
    const StripGeometry& geometry() const { return geometry_; }
    const StripSpan& span() const { return span_; }
    const std::vector<StripChannel>& channels() const { return channels_; }

signals:
    void hovered(QPointF position);
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    StripPainter painter_;
    QImage image_;
    StripGeometry geometry_;
    StripSpan span_;
    std::vector<StripChannel> channels_;
};

class LiveWindow : public QWidget {
    Q_OBJECT
public:
    // `settings` gives the board's channel settings now (names, polled,
    // mode, precision); `lastShown` a channel's Value text now.
    LiveWindow(LiveFeed& feed, std::function<const BoardSettings*()> settings,
               std::function<std::string(int channel)> lastShown, QWidget* parent = nullptr);

    // Redraws the strips and the table from what the feed holds.
    void Refresh();
    void SetSpanIndex(int index);
    void SetPaused(bool paused);
    bool paused() const { return paused_; }
    // The strips as shown, and the shown span's readings in the logger's
    // CSV columns; false when the file could not be written.
    bool ExportPng(const QString& path) const;
    bool ExportCsv(const QString& path) const;
    // What hovering at `position` (in the strips' coordinates) shows.
    QString HoverText(QPointF position) const;

    StripsWidget* strips() const { return strips_; }
    QTableWidget* statisticsTable() const { return table_; }
    QLabel* hoverLabel() const { return hover_; }

private:
    std::vector<StripChannel> ShownChannels() const;
    void FillTable(const std::vector<StripChannel>& channels);
    void OnTick();
    void OnExportPng();
    void OnExportCsv();

    LiveFeed& feed_;
    std::function<const BoardSettings*()> settings_;
    std::function<std::string(int)> lastShown_;
    QComboBox* span_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* exportPng_ = nullptr;
    QPushButton* exportCsv_ = nullptr;
    StripsWidget* strips_ = nullptr;
    QLabel* hover_ = nullptr;
    QTableWidget* table_ = nullptr;
    QTimer* timer_ = nullptr;
    bool paused_ = false;
    int64_t pausedEndMs_ = 0;
    uint64_t drawnGeneration_ = ~0ULL;
};

}  // namespace kestrane::live
