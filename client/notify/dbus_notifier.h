// Desktop notifications through the freedesktop Notifications service on
// the session bus. Calls are sent without waiting for an answer, so a
// missing, slow or hung service never holds up the caller.
#pragma once

#include <QDBusConnection>

#include "notify/notifier.h"

namespace kestrane::notify {

class DbusNotifier final : public Notifier {
public:
    // Uses the session bus; with none, every call does nothing.
    DbusNotifier();
    // For tests: a given connection.
    explicit DbusNotifier(const QDBusConnection& connection);

    void BoardLost(const std::string& board, const std::string& name, std::time_t when) override;
    void BoardBack(const std::string& board, const std::string& name, std::time_t when) override;

private:
    void Send(const NotificationText& text, unsigned char urgency);

    QDBusConnection connection_;
};

}  // namespace kestrane::notify
