// The Live View window. A 250 ms timer redraws when the feed has changed;
// while paused the strips keep their end time and only the statistics move.
#include "live/qt/live_window.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "common/numtext.h"
#include "live/live_csv.h"

namespace kestrane::live {
namespace {

constexpr int kRefreshMs = 250;
const QStringList kTableHeaders = {QStringLiteral("Channel"),    QStringLiteral("Last"),
                                   QStringLiteral("Minimum"),    QStringLiteral("Maximum"),
                                   QStringLiteral("Mean"),       QStringLiteral("Count"),
                                   QStringLiteral("Charge (Ah)")};

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The channel's name, or "Voltmeter n" when it has none.
QString ChannelName(const ChannelSettings& ch, int n) {
    const QString name = Q(ch.vmName).trimmed();
    return name.isEmpty() ? QStringLiteral("Voltmeter %1").arg(n) : name;
}

int Decimals(const ChannelSettings& ch) { return std::clamp(TextToInt(ch.precision), 0, 9); }

QString Number(double v, int decimals) {
    if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0.0;  // no "-0.00"
    return QString::number(v, 'f', decimals);
}

}  // namespace

StripsWidget::StripsWidget(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(320, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StripsWidget::Render(const TrendStore& store, const std::vector<StripChannel>& channels,
                          const StripSpan& span) {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels(std::max(1, qRound(width() * dpr)), std::max(1, qRound(height() * dpr)));
    if (image_.size() != pixels) image_ = QImage(pixels, QImage::Format_RGB32);
    image_.setDevicePixelRatio(dpr);
    channels_ = channels;
    geometry_ = painter_.Paint(image_, store, channels, span);
    span_ = geometry_.span;
    update();
}

void StripsWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (image_.isNull())
        p.fillRect(rect(), Qt::white);
    else
        p.drawImage(QPointF(0, 0), image_);
}

void StripsWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

void StripsWidget::mouseMoveEvent(QMouseEvent* event) { emit hovered(event->position()); }

void StripsWidget::leaveEvent(QEvent*) { emit hovered(QPointF(-1, -1)); }

LiveWindow::LiveWindow(LiveFeed& feed, std::function<const BoardSettings*()> settings,
                       std::function<std::string(int)> lastShown, QWidget* parent)
    : QWidget(parent, Qt::Window),
      feed_(feed),
      settings_(std::move(settings)),
      lastShown_(std::move(lastShown)) {
    setObjectName(QStringLiteral("liveWindow"));
    setWindowTitle(QStringLiteral("Live View"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* top = new QHBoxLayout;
    auto* spanLabel = new QLabel(QStringLiteral("&Span:"), this);
    span_ = new QComboBox(this);
    span_->setObjectName(QStringLiteral("liveSpan"));
    span_->setAccessibleName(QStringLiteral("Span"));
    span_->view()->setAccessibleName(QStringLiteral("Span"));  // its list is announced alike
    for (const SpanChoice& s : kSpanChoices) span_->addItem(QString::fromLatin1(s.text));
    spanLabel->setBuddy(span_);
    pause_ = new QPushButton(QStringLiteral("&Pause"), this);
    pause_->setObjectName(QStringLiteral("livePause"));
    pause_->setAccessibleName(QStringLiteral("Pause"));
    pause_->setCheckable(true);
    reset_ = new QPushButton(QStringLiteral("&Reset"), this);
    reset_->setObjectName(QStringLiteral("liveReset"));
    reset_->setAccessibleName(QStringLiteral("Reset statistics and trend"));
    exportPng_ = new QPushButton(QStringLiteral("Export P&NG..."), this);
    exportPng_->setObjectName(QStringLiteral("liveExportPng"));
    exportPng_->setAccessibleName(QStringLiteral("Export the view as PNG"));
    exportCsv_ = new QPushButton(QStringLiteral("Export &CSV..."), this);
    exportCsv_->setObjectName(QStringLiteral("liveExportCsv"));
    exportCsv_->setAccessibleName(QStringLiteral("Export the shown span as CSV"));
    top->addWidget(spanLabel);
    top->addWidget(span_);
    top->addWidget(pause_);
    top->addWidget(reset_);
    top->addStretch(1);
    top->addWidget(exportPng_);
    top->addWidget(exportCsv_);

    strips_ = new StripsWidget(this);
    strips_->setObjectName(QStringLiteral("liveStrips"));
    strips_->setAccessibleName(QStringLiteral("Live strips"));
    hover_ = new QLabel(this);
    hover_->setObjectName(QStringLiteral("liveHover"));
    hover_->setAccessibleName(QStringLiteral("Reading under the pointer"));
    hover_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    hover_->setMinimumHeight(hover_->fontMetrics().height());

    table_ = new QTableWidget(0, static_cast<int>(kTableHeaders.size()), this);
    table_->setObjectName(QStringLiteral("liveStatistics"));
    table_->setAccessibleName(QStringLiteral("Statistics since reset"));
    table_->setHorizontalHeaderLabels(kTableHeaders);
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(strips_, 1);
    layout->addWidget(hover_);
    layout->addWidget(table_);

    connect(span_, &QComboBox::currentIndexChanged, this, [this](int) { Refresh(); });
    connect(pause_, &QPushButton::toggled, this, [this](bool on) { SetPaused(on); });
    connect(reset_, &QPushButton::clicked, this, [this] {
        feed_.Reset();
        Refresh();
    });
    connect(exportPng_, &QPushButton::clicked, this, &LiveWindow::OnExportPng);
    connect(exportCsv_, &QPushButton::clicked, this, &LiveWindow::OnExportCsv);
    connect(strips_, &StripsWidget::resized, this, &LiveWindow::Refresh);
    connect(strips_, &StripsWidget::hovered, this, [this](QPointF at) { hover_->setText(HoverText(at)); });

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &LiveWindow::OnTick);
    timer_->start(kRefreshMs);
    resize(960, 680);
}

std::vector<StripChannel> LiveWindow::ShownChannels() const {
    std::vector<StripChannel> out;
    const BoardSettings* board = settings_ ? settings_() : nullptr;
    if (!board) return out;
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelSettings& ch = board->channels[static_cast<std::size_t>(n - 1)];
        if (!ch.IsPolled()) continue;  // switched-off channels are hidden
        StripChannel s;
        s.channel = n;
        s.name = ChannelName(ch, n);
        s.unit = ch.IsShunt() ? QStringLiteral("A") : QStringLiteral("V");
        if (lastShown_) s.last = Q(lastShown_(n)).trimmed();
        out.push_back(s);
    }
    return out;
}

void LiveWindow::Refresh() {
    const TrendStore& store = feed_.recorder().store();
    const int index = std::clamp(span_->currentIndex(), 0, static_cast<int>(std::size(kSpanChoices)) - 1);
    StripSpan span;
    span.spanMs = kSpanChoices[index].ms;
    // The newest reading sits at the right edge.
    span.endMs =
        paused_ ? pausedEndMs_ : (store.empty() ? QDateTime::currentMSecsSinceEpoch() : store.newestMs() + 1);
    const std::vector<StripChannel> channels = ShownChannels();
    strips_->Render(store, channels, span);
    FillTable(channels);
    drawnGeneration_ = feed_.generation();
}

void LiveWindow::OnTick() {
    if (feed_.generation() != drawnGeneration_) {
        if (paused_)
            FillTable(ShownChannels());  // the statistics keep counting
        else
            Refresh();
        drawnGeneration_ = feed_.generation();
    }
}

void LiveWindow::SetSpanIndex(int index) { span_->setCurrentIndex(index); }

void LiveWindow::SetPaused(bool paused) {
    if (paused == paused_) return;
    if (paused) pausedEndMs_ = strips_->geometry().untilMs;
    paused_ = paused;
    if (pause_->isChecked() != paused) pause_->setChecked(paused);
    Refresh();
}

void LiveWindow::FillTable(const std::vector<StripChannel>& channels) {
    const BoardSettings* board = settings_ ? settings_() : nullptr;
    table_->setRowCount(static_cast<int>(channels.size()));
    for (std::size_t row = 0; row < channels.size(); ++row) {
        const int n = channels[row].channel;
        const ChannelStatistics& st = feed_.recorder().statistics(n);
        const int decimals = board ? Decimals(board->channels[static_cast<std::size_t>(n - 1)]) : 3;
        const QString unit = QStringLiteral(" ") + UnitSymbol(st.unit());
        const bool any = st.count() > 0;
        const QStringList cells = {
            channels[row].name,
            any ? Number(st.last(), decimals) + unit : QStringLiteral("-"),
            any ? Number(st.min(), decimals) + unit : QStringLiteral("-"),
            any ? Number(st.max(), decimals) + unit : QStringLiteral("-"),
            any ? Number(st.mean(), decimals + 1) + unit : QStringLiteral("-"),
            QString::number(st.count()),
            any && st.unit() == Unit::Amperes ? Number(st.chargeAh(), 4) : QStringLiteral("-"),
        };
        for (int c = 0; c < cells.size(); ++c) {
            QTableWidgetItem* item = table_->item(static_cast<int>(row), c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                              : Qt::AlignRight | Qt::AlignVCenter);
                table_->setItem(static_cast<int>(row), c, item);
            }
            item->setText(cells[c]);
        }
    }
    int height = table_->horizontalHeader()->height() + 2 * table_->frameWidth();
    for (int r = 0; r < table_->rowCount(); ++r) height += table_->rowHeight(r);
    table_->setFixedHeight(height);
}

QString LiveWindow::HoverText(QPointF at) const {
    const StripGeometry& g = strips_->geometry();
    const std::vector<StripChannel>& channels = strips_->channels();
    for (std::size_t s = 0; s < g.strips.size() && s < channels.size(); ++s) {
        const QRectF& r = g.strips[s];
        if (!r.contains(at)) continue;
        const StripSpan span = strips_->span();
        const int64_t from = span.endMs - span.spanMs;
        const double msPerPixel = static_cast<double>(span.spanMs) / r.width();
        const auto t = from + static_cast<int64_t>((at.x() - r.left()) * msPerPixel);
        // The reading nearest the pointer, within a few pixels of it.
        const TrendStore& store = feed_.recorder().store();
        const int n = channels[s].channel;
        const uint64_t i = store.LowerBound(n, t);
        const auto reach = static_cast<int64_t>(std::max(4.0 * msPerPixel, 1.0));
        StoredReading best;
        bool found = false;
        for (const uint64_t c : {i, i - 1}) {
            if (c < store.firstIndex(n) || c >= store.endIndex(n)) continue;
            const StoredReading rd = store.At(n, c);
            if (rd.unixMs < from || rd.unixMs >= g.untilMs || std::llabs(rd.unixMs - t) > reach) continue;
            if (!found || std::llabs(rd.unixMs - t) < std::llabs(best.unixMs - t)) best = rd;
            found = true;
        }
        if (!found) return channels[s].name + QStringLiteral("   ") + ClockText(t, true);
        return channels[s].name + QStringLiteral("   ") + ClockText(best.unixMs, true) +
               QStringLiteral("   ") + Q(PlainNumber(best.value, best.decimals)) + QStringLiteral(" ") +
               UnitSymbol(best.unit);
    }
    return QString();
}

bool LiveWindow::ExportPng(const QString& path) const { return strips_->image().save(path, "PNG"); }

bool LiveWindow::ExportCsv(const QString& path) const {
    CsvExport what;
    const StripSpan span = strips_->span();
    what.fromMs = span.endMs - span.spanMs;
    what.toMs = strips_->geometry().untilMs;  // the readings drawn
    what.board = feed_.board();
    const BoardSettings* board = settings_ ? settings_() : nullptr;
    for (const StripChannel& s : strips_->channels()) {
        const auto i = static_cast<std::size_t>(s.channel - 1);
        what.channels[i] = true;
        if (board) what.names[i] = board->channels[i].vmName;
    }
    std::ofstream file(path.toStdString(), std::ios::binary | std::ios::trunc);
    if (!file) return false;
    const bool ok = WriteCsv(feed_.recorder().store(), what, file) >= 0;
    file.close();
    return ok && !file.fail();
}

void LiveWindow::OnExportPng() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export PNG"), QStringLiteral("live-view.png"),
                                     QStringLiteral("PNG images (*.png)"));
    if (path.isEmpty()) return;
    if (!ExportPng(path))
        QMessageBox::warning(this, QStringLiteral("Export PNG"), QStringLiteral("Cannot write %1").arg(path));
}

void LiveWindow::OnExportCsv() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QStringLiteral("live-view.csv"),
                                     QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    if (!ExportCsv(path))
        QMessageBox::warning(this, QStringLiteral("Export CSV"), QStringLiteral("Cannot write %1").arg(path));
}

}  // namespace kestrane::live
