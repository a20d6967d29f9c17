#include "ui/drawn_picture_label.h"

namespace kestrane::ui {

DrawnPictureLabel::DrawnPictureLabel(std::function<QPixmap(qreal)> draw, QWidget* parent)
    : QLabel(parent), draw_(std::move(draw)) {
    drawnRatio_ = devicePixelRatioF();
    setPixmap(draw_(drawnRatio_));
}

void DrawnPictureLabel::paintEvent(QPaintEvent* event) {
    // The window may have moved to a screen of another scale since the
    // picture was drawn; the picture's size in the layout stays the same.
    const qreal ratio = devicePixelRatioF();
    if (ratio != drawnRatio_) {
        drawnRatio_ = ratio;
        setPixmap(draw_(ratio));
    }
    QLabel::paintEvent(event);
}

}  // namespace kestrane::ui
