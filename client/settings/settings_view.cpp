#include "settings/settings_view.h"

#include "settings/device_registry.h"

namespace kestrane {

void ShowBoardSettings(const BoardSettings& settings, SettingsView& view) {
    // Column by column, as the window's labels are laid out.
    for (int n = 1; n <= kChannelCount; ++n) view.setModeLabel(n, settings.channels[n - 1].mode);
    for (int n = 1; n <= kChannelCount; ++n) view.setNameLabel(n, settings.channels[n - 1].vmName);
    for (int n = 1; n <= kChannelCount; ++n) view.setAdjustLabel(n, settings.channels[n - 1].adj);
    for (int n = 1; n <= kChannelCount; ++n) view.setPrecisionLabel(n, settings.channels[n - 1].precision);
    for (int n = 1; n <= kChannelCount; ++n) view.setNotesTooltip(n, settings.channels[n - 1].notes);
}

bool LoadAndShowBoardSettings(SettingsDatabase& database, const std::string& selectorText,
                              BoardSettings& settings, SettingsView& view) {
    const bool loaded = database.loadBoardSettings(PidFromSelectorText(selectorText), settings);
    ShowBoardSettings(settings, view);
    return loaded;
}

}  // namespace kestrane
