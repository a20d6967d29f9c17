#include "ui/logo_image.h"

#include <QFont>
#include <QIcon>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <utility>

namespace kestrane::ui {
namespace {

// A meter face: a dial arc, scale ticks and a needle.
void DrawDial(QPainter& p, const QRectF& box) {
    p.setPen(QPen(QColor(30, 40, 70), 2));
    p.setBrush(QColor(250, 250, 240));
    p.drawEllipse(box);
    const QPointF centre = box.center() + QPointF(0, box.height() * 0.18);
    const double radius = box.width() * 0.38;
    p.setPen(QPen(QColor(30, 40, 70), 1.5));
    for (int i = 0; i <= 8; ++i) {
        const double angle = (200.0 - i * 27.5) * 3.14159265358979 / 180.0;
        const QPointF dir(std::cos(angle), -std::sin(angle));
        p.drawLine(centre + dir * radius * 0.78, centre + dir * radius);
    }
    p.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
    const double needle = 60.0 * 3.14159265358979 / 180.0;
    p.drawLine(centre, centre + QPointF(std::cos(needle), -std::sin(needle)) * radius * 0.95);
    p.setBrush(QColor(30, 40, 70));
    p.setPen(Qt::NoPen);
    p.drawEllipse(centre, 3, 3);
}

// A round badge in the lower right corner of a 32-pixel icon, with a white
// symbol telling the dialogs apart.
void DrawBadge(QPainter& p, WindowIcon which) {
    const QRectF badge(15, 15, 16, 16);
    const QPointF c = badge.center();
    QColor fill;
    switch (which) {
        case WindowIcon::AddDevice:
            fill = QColor(40, 150, 60);
            break;
        case WindowIcon::Options:
            fill = QColor(40, 90, 170);
            break;
        case WindowIcon::AutoCalculate:
            fill = QColor(220, 120, 20);
            break;
        case WindowIcon::Filter:
            fill = QColor(120, 60, 160);
            break;
        case WindowIcon::Logging:
            fill = QColor(90, 90, 90);
            break;
        case WindowIcon::Graph:
            fill = QColor(200, 30, 30);
            break;
        case WindowIcon::Program:
            return;
    }
    p.setPen(QPen(QColor(255, 255, 255), 1));
    p.setBrush(fill);
    p.drawEllipse(badge);
    const QPen symbol(QColor(255, 255, 255), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(symbol);
    p.setBrush(Qt::NoBrush);
    switch (which) {
        case WindowIcon::AddDevice:  // plus
            p.drawLine(c + QPointF(-4, 0), c + QPointF(4, 0));
            p.drawLine(c + QPointF(0, -4), c + QPointF(0, 4));
            break;
        case WindowIcon::Options:  // three sliders
            for (int row = -1; row <= 1; ++row)
                p.drawLine(c + QPointF(-4, row * 3.5), c + QPointF(4, row * 3.5));
            break;
        case WindowIcon::AutoCalculate:  // equals sign
            p.drawLine(c + QPointF(-4, -2), c + QPointF(4, -2));
            p.drawLine(c + QPointF(-4, 2), c + QPointF(4, 2));
            break;
        case WindowIcon::Filter: {  // funnel
            p.setBrush(QColor(255, 255, 255));
            const QPointF funnel[] = {c + QPointF(-4.5, -4), c + QPointF(4.5, -4), c + QPointF(1, 0.5),
                                      c + QPointF(1, 4),     c + QPointF(-1, 4),   c + QPointF(-1, 0.5)};
            p.setPen(QPen(QColor(255, 255, 255), 1));
            p.drawPolygon(funnel, 6);
            break;
        }
        case WindowIcon::Logging:  // lines of a page
            p.setPen(QPen(QColor(255, 255, 255), 1.5, Qt::SolidLine, Qt::RoundCap));
            for (int row = -1; row <= 2; ++row)
                p.drawLine(c + QPointF(-4, row * 2.5 - 1), c + QPointF(row == 2 ? 1 : 4, row * 2.5 - 1));
            break;
        case WindowIcon::Graph: {  // a curve
            const QPointF curve[] = {c + QPointF(-5, 3), c + QPointF(-2, -1), c + QPointF(1, 2),
                                     c + QPointF(5, -4)};
            p.drawPolyline(curve, 4);
            break;
        }
        case WindowIcon::Program:
            break;
    }
}

}  // namespace

QPixmap MakeLogoPixmap(qreal ratio) {
    const QSize size(176, 56);
    QPixmap pixmap(size * ratio);
    // The painter then works in device-independent pixels at any ratio.
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, size.height());
    bg.setColorAt(0, QColor(38, 70, 140));
    bg.setColorAt(1, QColor(14, 32, 78));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 8, 8);
    DrawDial(p, QRectF(6, 6, 44, 44));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(21);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRectF(56, 5, 116, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MORVANE"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(12);
    p.setFont(sub);
    p.setPen(QColor(150, 200, 255));
    p.drawText(QRectF(57, 30, 116, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kestrane USB"));
    return pixmap;
}

namespace {

QImage DrawIcon(int side, WindowIcon which) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The dial and badges are laid out for the 32-pixel icon; other sizes
    // scale that layout rather than scaling its pixels.
    if (side != 32) p.scale(side / 32.0, side / 32.0);
    DrawDial(p, QRectF(1, 1, 30, 30));
    DrawBadge(p, which);
    return image;
}

}  // namespace

namespace {

// Draws an icon's sizes when they are first asked for: most windows only
// ever show one or two of them, and drawing all seven up front cost about
// a millisecond for each window and dialog opened.
class DrawnIconEngine final : public QIconEngine {
public:
    explicit DrawnIconEngine(std::function<QPixmap(int side)> draw) : draw_(std::move(draw)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    // As a pixmap icon does: the smallest listed size that covers the
    // request, scaled down to it when it is not one of the listed sizes.
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int wanted = std::max(1, std::min(size.width(), size.height()));
        int side = std::end(kIconSides)[-1];
        for (const int listed : kIconSides)
            if (listed >= wanted) {
                side = listed;
                break;
            }
        auto drawn = drawn_.find(side);
        if (drawn == drawn_.end()) drawn = drawn_.emplace(side, draw_(side)).first;
        if (drawn->second.size() == size || size.isEmpty()) return drawn->second;
        return drawn->second.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const int side : kIconSides) sizes << QSize(side, side);
        return sizes;
    }

    QIconEngine* clone() const override { return std::make_unique<DrawnIconEngine>(*this).release(); }
    QString key() const override { return QStringLiteral("kestrane-drawn"); }

private:
    std::function<QPixmap(int)> draw_;
    std::map<int, QPixmap> drawn_;
};

}  // namespace

QIcon MakeDrawnIcon(std::function<QPixmap(int side)> draw) {
    // QIcon takes ownership of its engine.
    return QIcon(std::make_unique<DrawnIconEngine>(std::move(draw)).release());
}

QIcon MakeWindowIcon(WindowIcon which) {
    return MakeDrawnIcon([which](int side) { return QPixmap::fromImage(DrawIcon(side, which)); });
}

QImage MakeProgramIconImage(int side) { return DrawIcon(side, WindowIcon::Program); }

}  // namespace kestrane::ui
