// A label showing a picture the program draws, drawn again for the device
// pixel ratio of the screen it is on, so it stays as sharp as the text
// beside it at 1.5x or 2x scaling.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <functional>

namespace kestrane::ui {

class DrawnPictureLabel : public QLabel {
    Q_OBJECT
public:
    // `draw` makes the picture for a device pixel ratio; its size in
    // device-independent pixels must not depend on the ratio.
    DrawnPictureLabel(std::function<QPixmap(qreal)> draw, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QPixmap(qreal)> draw_;
    qreal drawnRatio_ = 0;
};

}  // namespace kestrane::ui
