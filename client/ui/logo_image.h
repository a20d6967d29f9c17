// The Morvane logo shown in the main window and the windows' icons, drawn
// at start so no image file has to travel with the program.
#pragma once

#include <QPixmap>

namespace kestrane::ui {

// Which window an icon is for: the main window shows the bare meter dial,
// each dialog the dial with a badge of its own.
enum class WindowIcon { Program, AddDevice, Options, AutoCalculate, Filter, Logging, Graph };

QPixmap MakeLogoPixmap();
QIcon MakeWindowIcon(WindowIcon which = WindowIcon::Program);

}  // namespace kestrane::ui
