// The narrow interfaces the main window calls besides the session:
// the device list of the settings database, the dialogs other windows
// provide, and opening the maker's web page. Tests substitute fakes.
#pragma once

#include <string>

namespace kestrane::ui {

// The device selector's content and the three device buttons.
class DeviceListActions {
public:
    virtual ~DeviceListActions() = default;
    // Rebuild the selector from the database; may open the first-run
    // Add Device dialog when no board is registered.
    virtual void Fill() = 0;
    virtual void Add() = 0;
    virtual void Delete() = 0;
    virtual void SetDefault() = 0;
};

// Modal dialogs opened from the main window, by channel 1..6.
class WindowDialogs {
public:
    virtual ~WindowDialogs() = default;
    virtual void OpenOptions(int channel) = 0;
    virtual void OpenLogging(int channel) = 0;
    virtual void OpenGraph(int channel) = 0;
    virtual void OpenAbout() = 0;
};

// Opens a web address in the user's browser; false when none can.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool Open(const std::string& url) = 0;
};

inline constexpr const char* kMakerWebAddress = "https://www.morvane.example/kestrane/";
inline constexpr const char* kBrowserNotFoundText = "Default Browser Not Found!";
inline constexpr const char* kWindowCaption = "Morvane Kestrane";

}  // namespace kestrane::ui
