// Where the settings store sends the failures the user must see. The GUI
// shows them as error message boxes; tests record them.
#pragma once

#include <string>

namespace kestrane {

// Caption of the database and device-list messages on the main window.
inline constexpr const char* kClientCaption = "Morvane Kestrane Client";

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // An error message box: `caption` empty means the system's default one.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

// Drops every message; for callers that have no one to tell.
class NullMessageSink final : public MessageSink {
public:
    void ShowError(const std::string&, const std::string&) override {}
};

}  // namespace kestrane
