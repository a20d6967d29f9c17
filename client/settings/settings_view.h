// Showing a loaded board's settings in the main window's channel columns,
// through a small view interface the window implements (tests fake it).
#pragma once

#include <string>

#include "acquisition/channel_model.h"
#include "settings/settings_database.h"

namespace kestrane {

class SettingsView {
public:
    virtual ~SettingsView() = default;
    // channel is 1 to 6.
    virtual void setModeLabel(int channel, const std::string& text) = 0;
    virtual void setNameLabel(int channel, const std::string& text) = 0;
    virtual void setAdjustLabel(int channel, const std::string& text) = 0;
    virtual void setPrecisionLabel(int channel, const std::string& text) = 0;
    // The tooltip on the channel's Name label.
    virtual void setNotesTooltip(int channel, const std::string& text) = 0;
};

// Writes the six Mode labels, then the Names, Adjusts and Precisions, then
// each channel's notes tooltip.
void ShowBoardSettings(const BoardSettings& settings, SettingsView& view);

// Load board settings for the board named by the device selector's text,
// then show them (also after a failed load: the previous values stay).
// Returns the load's result.
bool LoadAndShowBoardSettings(SettingsDatabase& database, const std::string& selectorText,
                              BoardSettings& settings, SettingsView& view);

}  // namespace kestrane
