// The Morvane logo shown in the main window and the windows' icons, drawn
// at start so no image file has to travel with the program.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <functional>

namespace kestrane::ui {

// Which window an icon is for: the main window shows the bare meter dial,
// each dialog the dial with a badge of its own.
enum class WindowIcon { Program, AddDevice, Options, AutoCalculate, Filter, Logging, Graph };

// The sides of the window icons, in pixels: the sizes the package installs
// the program's icon in.
inline constexpr int kIconSides[] = {16, 24, 32, 48, 64, 128, 256};

// The logo, 176 x 56 device-independent pixels, drawn for a screen of
// `ratio` device pixels to each of them.
QPixmap MakeLogoPixmap(qreal ratio = 1.0);
// An icon in every size of kIconSides, each drawn by `draw` the first
// time it is asked for.
QIcon MakeDrawnIcon(std::function<QPixmap(int side)> draw);
// A window's icon in every size of kIconSides.
QIcon MakeWindowIcon(WindowIcon which = WindowIcon::Program);
// The program's icon drawn at `side` x `side` pixels, transparent around
// the dial: the desktop menu's icons are made from it at build time.
QImage MakeProgramIconImage(int side);

}  // namespace kestrane::ui
