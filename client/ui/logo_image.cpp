#include "ui/logo_image.h"

#include <QFont>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

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

}  // namespace

QPixmap MakeLogoPixmap() {
    const QSize size(176, 56);
    QPixmap pixmap(size);
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

QIcon MakeWindowIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawDial(p, QRectF(1, 1, 30, 30));
    return QIcon(pixmap);
}

}  // namespace kestrane::ui
