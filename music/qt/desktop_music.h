// Connects the process-wide module player to the desktop: Qt resource paths
// (":/...") as the resource source and the desktop sound output as device.
#pragma once

namespace kestrane::music::qt {

// Installs the Qt resource loader and, unless an output was installed
// already (tests install their own), the desktop sound output. Idempotent.
void UseDesktopMusic();

}  // namespace kestrane::music::qt
