// Per-user choices of the desktop client kept in its QSettings file beside
// the install record (organisation "Morvane", application "Kestrane"), not
// in the settings database, whose table stays as it is.
#pragma once

namespace kestrane {

inline constexpr const char* kReconnectKey = "Options/ReconnectAutomatically";

class UserOptions {
public:
    virtual ~UserOptions() = default;
    // File > Reconnect Automatically; off unless the user turned it on.
    virtual bool reconnectAutomatically() const = 0;
    // False when the choice could not be stored (it then holds for this run only).
    virtual bool SetReconnectAutomatically(bool on) = 0;
};

// The options in the user's QSettings. Needs no QCoreApplication.
class SystemUserOptions final : public UserOptions {
public:
    bool reconnectAutomatically() const override;
    bool SetReconnectAutomatically(bool on) override;
};

// Whether this run reconnects: the stored choice, or --reconnect given for
// this run only (an autostart entry then does not change the menu's choice).
inline bool ReconnectThisRun(const UserOptions& options, bool commandLineReconnect) {
    return commandLineReconnect || options.reconnectAutomatically();
}

}  // namespace kestrane
