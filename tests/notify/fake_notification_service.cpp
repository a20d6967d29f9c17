// A stand-in for the desktop's notification server, for tests on a private
// session bus: owns org.freedesktop.Notifications and appends each Notify
// call to a file, one line per call; says "ready" on stdout once it owns
// the name. With --hang it owns the name but never answers, like a server
// that has frozen.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <cstdio>
#include <thread>

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeNotifications(const QString& record) : record_(record) {}

public slots:
    // Fields joined by "|": app, replaces id, icon, summary, body, urgency, timeout.
    uint Notify(const QString& app, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int timeout) {
        QFile file(record_);
        if (file.open(QIODevice::Append)) {
            const QStringList fields = {app,
                                        QString::number(replacesId),
                                        icon,
                                        summary,
                                        body,
                                        QString::number(hints.value(QStringLiteral("urgency")).toInt()),
                                        QString::number(timeout)};
            file.write(fields.join(QLatin1Char('|')).toUtf8() + '\n');
        }
        return ++lastId_;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    QString record_;
    uint lastId_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: fake_notification_service RECORD-FILE [--hang]\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeNotifications service(args.at(1));
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "fake_notification_service: cannot own the name on the session bus\n");
        return 1;
    }
    // Whoever started it may now expect the name on the bus.
    std::printf("ready\n");
    std::fflush(stdout);
    if (args.contains(QStringLiteral("--hang"))) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    return app.exec();
}

#include "fake_notification_service.moc"
