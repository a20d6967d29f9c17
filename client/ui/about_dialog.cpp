#include "ui/about_dialog.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QShowEvent>
#include <QVBoxLayout>

#include "about_song.h"
#include "kestrane_version.h"
#include "music/player/module_player.h"
#include "music/qt/desktop_music.h"
#include "ui/drawn_picture_label.h"
#include "ui/logo_image.h"

namespace kestrane::ui {
namespace {

// The box's icon: a needle gauge with a note, drawn so no image file has to
// travel with the program.
QPixmap MakeAboutIcon(int size, qreal ratio = 1.0) {
    QPixmap pixmap(QSize(size, size) * ratio);
    // Drawn in device-independent pixels, sharp on a screen of `ratio`.
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(40, 60, 90), s / 16));
    p.setBrush(QColor(235, 240, 248));
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
    p.setPen(QPen(QColor(200, 40, 30), s / 14, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.5, s * 0.62), QPointF(s * 0.74, s * 0.28));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 60, 90));
    p.drawEllipse(QPointF(s * 0.36, s * 0.70), s * 0.09, s * 0.07);
    p.drawRect(QRectF(s * 0.42, s * 0.30, s * 0.04, s * 0.40));
    return pixmap;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Kestrane"));
    setModal(true);
    setWindowIcon(MakeDrawnIcon([](int side) { return MakeAboutIcon(side); }));

    auto* iconLabel = new DrawnPictureLabel([](qreal ratio) { return MakeAboutIcon(48, ratio); }, this);
    iconLabel->setObjectName(QStringLiteral("aboutIcon"));

    auto* product =
        new QLabel(QStringLiteral("Kestrane \u2014 six-channel isolated USB voltmeter client"), this);
    product->setObjectName(QStringLiteral("aboutProduct"));
    product->setAlignment(Qt::AlignCenter);

    auto* buildCaption = new QLabel(QStringLiteral("Build Number:"), this);
    buildCaption->setObjectName(QStringLiteral("aboutBuildCaption"));
    // The same build number text the main window shows.
    auto* buildNumber = new QLabel(QStringLiteral(KESTRANE_VERSION_TEXT), this);
    buildNumber->setObjectName(QStringLiteral("aboutBuildNumber"));

    auto* maker = new QLabel(QStringLiteral("\u00A9 Morvane Instruments"), this);
    maker->setObjectName(QStringLiteral("aboutMaker"));
    maker->setAlignment(Qt::AlignCenter);

    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel);
    top->addWidget(product, 1);
    auto* build = new QHBoxLayout;
    build->addStretch(1);
    build->addWidget(buildCaption);
    build->addWidget(buildNumber);
    build->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(build);
    layout->addWidget(maker);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    music::qt::UseDesktopMusic();
}

AboutDialog::~AboutDialog() { StopMusic(); }

void AboutDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (musicStarted_) return;
    musicStarted_ = true;
    // Loops from its first order for as long as the box is open. A missing
    // sound device or an unloadable song leaves the box silent, nothing more.
    const auto song = music::AboutSongBytes();
    music::player::ModulePlay(song.data(), song.size(), music::player::kModuleMemory);
}

void AboutDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            close();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void AboutDialog::done(int) {
    StopMusic();
    QDialog::done(0);
}

void AboutDialog::StopMusic() {
    if (!musicStarted_) return;
    musicStarted_ = false;
    music::player::ModuleStop();
}

void ShowAboutBox(QWidget* parent) {
    AboutDialog box(parent);
    box.exec();
}

}  // namespace kestrane::ui
