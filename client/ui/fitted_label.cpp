#include "ui/fitted_label.h"

#include <QPainter>
#include <QStyle>

namespace kestrane::ui {

FittedLabel::FittedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

QString FittedLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

int FittedLabel::WidthForChars(const QFontMetrics& metrics, int chars, const QString& glyphs) {
    int widest = 0;
    if (glyphs.isEmpty()) {
        for (char c = ' '; c <= '~'; ++c)
            widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(c)));
    } else {
        for (QChar c : glyphs) widest = std::max(widest, metrics.horizontalAdvance(c));
    }
    return widest * chars;
}

void FittedLabel::setWidthForChars(int chars, const QString& glyphs) {
    const QMargins m = contentsMargins();
    // One pixel each side for rounding of fractional glyph advances.
    setFixedWidth(WidthForChars(fontMetrics(), chars, glyphs) + m.left() + m.right() + 2 * margin() + 2);
}

void FittedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shownText(), foregroundRole());
}

}  // namespace kestrane::ui
