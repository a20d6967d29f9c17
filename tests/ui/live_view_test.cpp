// Graphs > Live View through the real window, settings database and the
// simulated board: known signals (a ramp, a sine, a constant shunt current)
// reach the store, the strips and the statistics; a switched-off channel is
// hidden; Pause, Reset, a Disconnect gap and both exports.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "common/open_data.h"
#include "live/live_feed.h"
#include "live/qt/live_window.h"
#include "temp_dir.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui/ui_ids.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::live;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

constexpr int kWaitMs = 30000;

// Channel 1 a saw tooth 0..24 V over 3 s, channel 2 a sine 5 +- 2 V over
// 3 s, channel 3 switched off, channel 4 a 25 A shunt current.
const char* const kSimulation =
    "[device]\nproduct-id = 000A\n"
    "channel1 = ramp(0, 24, 3)\nchannel2 = 5 + sine(2, 3)\nchannel3 = 7\n"
    "channel4 = 0.0375\nchannel5 = -11.95\nchannel6 = 48\n";

BoardRow LiveRow() {
    BoardRow row{"000A", true, {}};
    auto& ch = row.settings.channels;
    ch[0] = MakeChannel("YES", "Ramp", "1", "3");
    ch[1] = MakeChannel("YES", "Sine", "1", "3");
    ch[2] = MakeChannel("NO", "Spare", "1", "1");
    ch[3] = MakeChannel("YES", "Shunt", "1", "2", "ADC");
    ch[3].amp = "50";
    ch[3].millivolt = "75";
    ch[4] = MakeChannel("YES", "Negative", "1", "2");
    ch[5] = MakeChannel("YES", "Bus", "1", "1");
    return row;
}

struct NoActions final : AlarmActions {
    void StartProgram(const std::string&) override {}
    void PlaySound(const std::string&) override {}
};

struct Session {
    RecordingMessages messages;
    FakeUrlOpener urls;
    NoDialogs dialogs;
    NoActions actions;
    std::unique_ptr<ClientSession> session;

    bool Start() {
        std::string error;
        const std::string program = MakeInstallation({LiveRow()}, error);
        if (program.empty()) return false;
        SetInstalledProgram(program);
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        services.alarms = &actions;
        services.addDeviceRunner = [](AddMode) { return false; };
        session = ClientSession::Start(services);
        if (!session) return false;
        session->window().show();
        return true;
    }
    MainWindow& w() { return session->window(); }
    const TrendStore& store() { return w().liveFeed().recorder().store(); }
    uint64_t count(int n) { return w().liveFeed().recorder().statistics(n).count(); }
    LiveWindow* OpenFromMenu() {
        QMenu* graphs = w().findChild<QMenu*>(QStringLiteral("graphsMenu"));
        const QList<QAction*> actions = graphs->actions();
        if (actions.size() != 7 || actions.back()->objectName() != QStringLiteral("graphsLiveView"))
            return nullptr;
        actions.back()->trigger();
        return w().liveWindow();
    }
};

// Rows of the strip's image whose pixels carry the channel's colour, right
// of the title in its corner.
std::pair<int, int> ColouredRows(const QImage& image, const QRectF& strip, int channel) {
    const QColor colour = StripPainter::ChannelColour(channel);
    const qreal dpr = image.devicePixelRatio();
    int top = -1;
    int bottom = -1;
    for (int y = qRound(strip.top() * dpr) + 1; y < qRound(strip.bottom() * dpr) - 1; ++y) {
        for (int x = qRound(strip.center().x() * dpr); x < qRound(strip.right() * dpr) - 1; ++x) {
            if (QColor(image.pixel(x, y)) != colour) continue;
            if (top < 0) top = y;
            bottom = y;
            break;
        }
    }
    return {top, bottom};
}

}  // namespace

class LiveViewTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation(kSimulation); }

    void showsTheKnownSignals() {
        Session s;
        QVERIFY(s.Start());
        s.w().OnConnect();
        LiveWindow* live = s.OpenFromMenu();
        QVERIFY2(live, "Graphs ends with the Live View item after the six channel items");
        QVERIFY(live->isVisible());
        // Two whole periods of each signal: ten readings per channel.
        QTRY_VERIFY_WITH_TIMEOUT(s.count(1) >= 20 && s.count(2) >= 20, kWaitMs);
        live->Refresh();

        // The ramp climbs between its drops; the sine swings about 5 V.
        const TrendStore& store = s.store();
        int rises = 0;
        int drops = 0;
        for (uint64_t i = store.firstIndex(1) + 1; i < store.endIndex(1); ++i) {
            const double d = store.At(1, i).value - store.At(1, i - 1).value;
            (d > 0 ? rises : drops) += 1;
        }
        QVERIFY2(rises > 3 * drops, "a saw tooth rises most of the time");
        const ChannelStatistics& ramp = s.w().liveFeed().recorder().statistics(1);
        QVERIFY(ramp.min() >= 0 && ramp.min() < 6 && ramp.max() > 18 && ramp.max() <= 24.001);
        const ChannelStatistics& sine = s.w().liveFeed().recorder().statistics(2);
        QVERIFY(sine.min() > 2.99 && sine.min() < 4.2 && sine.max() > 5.8 && sine.max() < 7.01);
        QVERIFY(std::fabs(sine.mean() - 5.0) < 0.8);
        const ChannelStatistics& shunt = s.w().liveFeed().recorder().statistics(4);
        QCOMPARE(shunt.unit(), Unit::Amperes);
        QCOMPARE(shunt.min(), 25.0);
        // 25 A between the first and last reading, within one reading's time.
        const double hours =
            (store.At(4, store.endIndex(4) - 1).unixMs - store.At(4, store.firstIndex(4)).unixMs) / 3.6e6;
        QVERIFY(std::fabs(shunt.chargeAh() - 25.0 * hours) < 1e-9);
        QCOMPARE(s.count(3), uint64_t{0});

        // Five strips (channel 3 is switched off), the same five rows.
        StripsWidget* strips = live->strips();
        QCOMPARE(strips->geometry().strips.size(), std::size_t{5});
        QTableWidget* table = live->statisticsTable();
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Ramp"));
        QCOMPARE(table->item(2, 0)->text(), QStringLiteral("Shunt"));
        QCOMPARE(table->item(2, 6)->text().toDouble() > 0, true);
        QCOMPARE(table->item(0, 6)->text(), QStringLiteral("-"));
        QCOMPARE(table->item(3, 3)->text(), QStringLiteral("-11.95 V"));

        // The ramp and the sine fill most of their strips' height; the
        // constant draws one flat line.
        const QImage& image = strips->image();
        const auto& g = strips->geometry();
        const qreal dpr = image.devicePixelRatio();
        if (qEnvironmentVariableIsSet("KESTRANE_LIVE_TEST_IMAGE"))
            image.save(qEnvironmentVariable("KESTRANE_LIVE_TEST_IMAGE"));
        for (const int strip : {0, 1}) {
            const auto [top, bottom] =
                ColouredRows(image, g.strips[static_cast<std::size_t>(strip)], strip + 1);
            QVERIFY2(top >= 0, "the signal is drawn");
            QVERIFY2(bottom - top > 0.5 * g.strips[static_cast<std::size_t>(strip)].height() * dpr,
                     "the signal spans its strip");
        }
        const auto [top5, bottom5] = ColouredRows(image, g.strips[3], 5);
        QVERIFY(top5 >= 0);
        QVERIFY(bottom5 - top5 <= 2 * dpr);
        // Each strip's scale holds its channel's values.
        QVERIFY(g.low[0] <= ramp.min() && g.high[0] >= ramp.max());
        QVERIFY(g.low[3] <= -11.95 && g.high[3] >= -11.95);

        // Hovering over the newest reading of the ramp shows it.
        const QRectF r = g.strips[0];
        const QString hover = live->HoverText(QPointF(r.right() - 1, r.center().y()));
        QVERIFY2(hover.startsWith(QStringLiteral("Ramp")), qPrintable(hover));
        QVERIFY2(hover.endsWith(QStringLiteral(" V")), qPrintable(hover));
        QVERIFY(live->HoverText(QPointF(1, 1)).isEmpty());
        QVERIFY(s.messages.shown.empty());
    }

    void pauseFreezesResetClears() {
        Session s;
        QVERIFY(s.Start());
        s.w().OnConnect();
        s.w().OpenLiveView();
        LiveWindow* live = s.w().liveWindow();
        QTRY_VERIFY_WITH_TIMEOUT(s.count(1) >= 2, kWaitMs);
        live->Refresh();
        live->SetPaused(true);
        const int64_t frozen = live->strips()->span().endMs;
        const uint64_t before = s.count(1);
        QTRY_VERIFY_WITH_TIMEOUT(s.count(1) >= before + 3, kWaitMs);
        QTest::qWait(300);  // a refresh tick
        QCOMPARE(live->strips()->span().endMs, frozen);
        QCOMPARE(live->statisticsTable()->item(0, 5)->text().toULongLong() > before, true);
        live->SetPaused(false);
        QVERIFY(live->strips()->span().endMs > frozen);

        live->findChild<QPushButton*>(QStringLiteral("liveReset"))->click();
        QVERIFY(s.store().endIndex(1) - s.store().firstIndex(1) <= 1);
        QVERIFY(s.count(1) <= 1);
        QTRY_VERIFY_WITH_TIMEOUT(s.count(1) >= 3, kWaitMs);  // collecting goes on
    }

    void disconnectLeavesAGapThatIsNotBridged() {
        Session s;
        QVERIFY(s.Start());
        s.w().OnConnect();
        QTRY_VERIFY_WITH_TIMEOUT(s.count(1) >= 3, kWaitMs);
        s.w().OnDisconnect();
        QTest::qWait(700);
        s.w().OnConnect();
        const uint64_t before = s.count(1);
        QTRY_VERIFY_WITH_TIMEOUT(s.count(1) >= before + 3, kWaitMs);
        const TrendStore& store = s.store();
        QCOMPARE(store.GapsIn(0, store.newestMs() + 1).size(), std::size_t{1});
        // At one column per 10 ms, the columns after the gap break the line.
        const int64_t to = store.newestMs() + 1;
        std::vector<Column> columns(6000);
        store.Query(1, to - 60'000, to, columns);
        QCOMPARE(std::count_if(columns.begin(), columns.end(), [](const Column& c) { return c.breakBefore; }),
                 1);
        s.w().OpenLiveView();
        s.w().liveWindow()->Refresh();
    }

    void exportsReadBack() {
        Session s;
        QVERIFY(s.Start());
        s.w().OnConnect();
        s.w().OpenLiveView();
        LiveWindow* live = s.w().liveWindow();
        QTRY_VERIFY_WITH_TIMEOUT(s.count(6) >= 3, kWaitMs);
        live->SetPaused(true);  // the exports cover what is shown
        const kestrane::test::TempDir dir("live-export");

        const QString png = QString::fromStdString(dir.File("view.png"));
        QVERIFY(live->ExportPng(png));
        QImage loaded(png);
        QVERIFY(!loaded.isNull());
        QCOMPARE(loaded.size(), live->strips()->image().size());

        const QString csv = QString::fromStdString(dir.File("view.csv"));
        QVERIFY(live->ExportCsv(csv));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.first(), QByteArray(CsvHeader().c_str()).trimmed() + "\r");
        const StripSpan span = live->strips()->span();
        uint64_t expected = 0;
        for (const int n : {1, 2, 4, 5, 6})
            expected +=
                s.store().LowerBound(n, span.endMs) - s.store().LowerBound(n, span.endMs - span.spanMs);
        QCOMPARE(static_cast<uint64_t>(lines.size() - 2), expected);  // header and the empty tail
        bool sawShunt = false;
        for (int i = 1; i + 1 < lines.size(); ++i) {
            const QList<QByteArray> f = lines[i].trimmed().split(',');
            QCOMPARE(f.size(), 6);
            QCOMPARE(f[1], QByteArray("000A"));
            QVERIFY(f[2] != "3");
            if (f[2] == "4") {
                QCOMPARE(f[3], QByteArray("Shunt"));
                QCOMPARE(f[4], QByteArray("25.00"));
                QCOMPARE(f[5], QByteArray("A"));
                sawShunt = true;
            }
            if (f[2] == "5") QCOMPARE(f[4], QByteArray("-11.95"));
            QVERIFY(f[0].endsWith('Z'));
        }
        QVERIFY(sawShunt);
        QVERIFY(!live->ExportCsv(QString::fromStdString(dir.File("missing/folder/x.csv"))));
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    LiveViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "live_view_test.moc"
