// Desktop notifications on a private session bus (the test runs under
// dbus-run-session): one Notify call per loss and per return, naming the
// board, its name and the time; and with no service, or a frozen one, the
// caller goes on at once and nothing is reported as an error.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <ctime>

#include "notify/dbus_notifier.h"

namespace {

using kestrane::notify::BoardBackText;
using kestrane::notify::BoardLostText;
using kestrane::notify::DbusNotifier;

const QString kName = QStringLiteral("org.freedesktop.Notifications");
// 2026-12-09 14:02:11 UTC, shown in UTC below (TZ is set in initTestCase).
constexpr std::time_t kLostAt = 1796824931;
constexpr std::time_t kBackAt = kLostAt + 209;
// Far below the bus's 25 s call timeout that a waiting call would take,
// and far above any real send.
constexpr qint64 kNoDelayMs = 2000;

QStringList Recorded(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool NameOnBus(bool wanted) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        if (bus->isServiceRegistered(kName).value() == wanted) return true;
        QTest::qWait(20);
    }
    return false;
}

}  // namespace

// The bus tests need the private bus; run by hand without one they are skipped,
// but a bus that is named and cannot be reached is a failure.
#define REQUIRE_SESSION_BUS()                                                               \
    do {                                                                                    \
        if (!QDBusConnection::sessionBus().isConnected()) {                                 \
            if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))                    \
                QSKIP("no session bus: run under dbus-run-session");                        \
            QFAIL("DBUS_SESSION_BUS_ADDRESS is set but the session bus cannot be reached"); \
        }                                                                                   \
    } while (false)

class NotifyTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        ::tzset();
        QVERIFY(dir_.isValid());
    }

    void textsNameTheBoardItsNameAndTheTime() {
        const auto lost = BoardLostText("000A", "Bench supply", kLostAt);
        QCOMPARE(lost.summary, std::string("Kestrane: board 000A lost"));
        QCOMPARE(
            lost.body,
            std::string("Board 000A (Bench supply) stopped answering at 2026-12-09 14:02:11. Reconnecting."));
        const auto back = BoardBackText("000A", "", kBackAt);
        QCOMPARE(back.summary, std::string("Kestrane: board 000A is back"));
        QCOMPARE(back.body, std::string("Board 000A answers again since 2026-12-09 14:05:40."));
        // A name is the user's text: markup signs and line breaks are not passed on.
        QCOMPARE(
            BoardLostText("000A", "<b>a&b</b>\nx", kLostAt).body,
            std::string("Board 000A ( b a b /b  x) stopped answering at 2026-12-09 14:02:11. Reconnecting."));
    }

    void oneCallOnLossAndOneOnReturn() {
        REQUIRE_SESSION_BUS();
        const QString record = dir_.filePath(QStringLiteral("calls.txt"));
        QProcess service;
        service.start(QStringLiteral(KESTRANE_FAKE_NOTIFY_SERVICE), {record});
        QVERIFY(service.waitForStarted());
        QVERIFY(NameOnBus(true));

        DbusNotifier notifier;
        notifier.BoardLost("000A", "Bench supply", kLostAt);
        notifier.BoardBack("000A", "Bench supply", kBackAt);
        QTRY_COMPARE_WITH_TIMEOUT(Recorded(record).size(), 2, 10000);
        const QStringList calls = Recorded(record);
        QCOMPARE(calls.at(0),
                 QStringLiteral(
                     "Kestrane|0|com.morvane.Kestrane|Kestrane: board 000A lost|Board 000A (Bench supply) "
                     "stopped answering at 2026-12-09 14:02:11. Reconnecting.|2|-1"));
        QCOMPARE(
            calls.at(1),
            QStringLiteral("Kestrane|0|com.morvane.Kestrane|Kestrane: board 000A is back|Board 000A (Bench "
                           "supply) answers again since 2026-12-09 14:05:40.|1|-1"));
        QTest::qWait(200);
        QCOMPARE(Recorded(record).size(), 2);  // and no more than one each

        service.kill();
        service.waitForFinished();
        QVERIFY(NameOnBus(false));
    }

    void noServiceNoErrorNoDelay() {
        REQUIRE_SESSION_BUS();
        QVERIFY(NameOnBus(false));
        DbusNotifier notifier;
        QElapsedTimer took;
        took.start();
        for (int i = 0; i < 10; ++i) notifier.BoardLost("000A", "Bench supply", kLostAt);
        QVERIFY2(took.elapsed() < kNoDelayMs, qPrintable(QString::number(took.elapsed())));
        QTest::qWait(100);  // the bus's error answers arrive and are dropped
    }

    void aFrozenServiceNeverHoldsTheCaller() {
        REQUIRE_SESSION_BUS();
        const QString record = dir_.filePath(QStringLiteral("frozen.txt"));
        QProcess service;
        service.start(QStringLiteral(KESTRANE_FAKE_NOTIFY_SERVICE), {record, QStringLiteral("--hang")});
        QVERIFY(service.waitForStarted());
        QVERIFY(NameOnBus(true));
        DbusNotifier notifier;
        QElapsedTimer took;
        took.start();
        notifier.BoardLost("000A", "", kLostAt);
        notifier.BoardBack("000A", "", kBackAt);
        QVERIFY2(took.elapsed() < kNoDelayMs, qPrintable(QString::number(took.elapsed())));
        service.kill();
        service.waitForFinished();
    }

    void noBusAtAll() {
        // A connection that never came up: calls do nothing and return.
        DbusNotifier notifier(QDBusConnection(QStringLiteral("kestrane-never-connected")));
        notifier.BoardLost("000A", "", kLostAt);
        notifier.BoardBack("000A", "", kBackAt);
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(NotifyTest)
#include "notify_test.moc"
