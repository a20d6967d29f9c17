// The Morvane logo shown in the main window, drawn at start so no image
// file has to travel with the program.
#pragma once

#include <QPixmap>

namespace kestrane::ui {

QPixmap MakeLogoPixmap();
QIcon MakeWindowIcon();

}  // namespace kestrane::ui
