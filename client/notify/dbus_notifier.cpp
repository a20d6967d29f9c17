#include "notify/dbus_notifier.h"

#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace kestrane::notify {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
// Urgency hint values: a lost board stays on screen until seen (critical);
// its return is ordinary news.
constexpr unsigned char kUrgencyNormal = 1;
constexpr unsigned char kUrgencyCritical = 2;

}  // namespace

DbusNotifier::DbusNotifier() : connection_(QDBusConnection::sessionBus()) {}

DbusNotifier::DbusNotifier(const QDBusConnection& connection) : connection_(connection) {}

void DbusNotifier::BoardLost(const std::string& board, const std::string& name, std::time_t when) {
    Send(BoardLostText(board, name, when), kUrgencyCritical);
}

void DbusNotifier::BoardBack(const std::string& board, const std::string& name, std::time_t when) {
    Send(BoardBackText(board, name, when), kUrgencyNormal);
}

void DbusNotifier::Send(const NotificationText& text, unsigned char urgency) {
    if (!connection_.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(urgency));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("com.morvane.Kestrane"));
    call << QStringLiteral("Kestrane") << 0u << QStringLiteral("com.morvane.Kestrane")
         << QString::fromStdString(text.summary) << QString::fromStdString(text.body) << QStringList()
         << hints << -1;
    // No reply is wanted: the call goes out and the caller carries on. With
    // no service on the bus the bus's error answer is simply dropped; a
    // service the bus starts on demand gets the call once it is up.
    connection_.send(call);
}

}  // namespace kestrane::notify
