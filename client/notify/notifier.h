// Tells the desktop when a board is lost and when it is back, so someone
// away from the window learns of it. The interface is Qt-free; the D-Bus
// implementation lives in dbus_notifier.h, a silent one here.
#pragma once

#include <ctime>
#include <string>

namespace kestrane::notify {

class Notifier {
public:
    virtual ~Notifier() = default;
    // `board` is the product ID text ("000A"), `name` the board's name as
    // the user knows it (may be empty), `when` the moment it happened.
    virtual void BoardLost(const std::string& board, const std::string& name, std::time_t when) = 0;
    virtual void BoardBack(const std::string& board, const std::string& name, std::time_t when) = 0;
};

// For sessions without a desktop (the headless logger) and for tests.
class NullNotifier final : public Notifier {
public:
    void BoardLost(const std::string&, const std::string&, std::time_t) override {}
    void BoardBack(const std::string&, const std::string&, std::time_t) override {}
};

// The texts of one notification.
struct NotificationText {
    std::string summary;
    std::string body;
};

// "Kestrane: board 000A lost" / "Board 000A (Bench supply) stopped answering
// at 2026-12-09 14:02:11. Reconnecting." The time is local.
NotificationText BoardLostText(const std::string& board, const std::string& name, std::time_t when);
// "Kestrane: board 000A is back" / "Board 000A (Bench supply) answers again
// since 2026-12-09 14:05:40."
NotificationText BoardBackText(const std::string& board, const std::string& name, std::time_t when);

}  // namespace kestrane::notify
