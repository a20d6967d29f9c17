// The chart at device pixel scales and for screen readers: plotwick-render
// at scale 1 draws exactly the committed pictures made before charts could
// scale; at 2 the text is rasterised anew, not pixel-doubled; at 1.5 the
// layout scales evenly; the chart window draws at its screen's ratio (the
// test also runs under QT_SCALE_FACTOR 1.5 and 2) and carries an accessible
// name and description.
#include <QAccessible>
#include <QEvent>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <memory>
#include <string>

#include "chart_window.h"
#include "plotwick.h"
#include "plotwick/describe.h"
#include "plotwick/raster.h"
#include "plotwick/view.h"
#include "temp_dir.h"

namespace {

const QString kData = QStringLiteral(CHARTSCALE_DATA_DIR "/data/");
const QString kReference = QStringLiteral(CHARTSCALE_DATA_DIR "/reference/");

// The pixels alone, in one format and without a device pixel ratio.
QImage Rgb(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    out.setDevicePixelRatio(1.0);
    return out;
}

// Bounding box of the pixels darker than mid grey inside `area`.
QRect InkBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) box = box.united(QRect(x, y, 1, 1));
        }
    }
    return box;
}

// Counts the aligned 2 x 2 blocks of `area` holding ink, and those of them
// whose four pixels are not all alike (a pixel-doubled picture has none).
struct BlockCount {
    int inked = 0, mixed = 0;
};
BlockCount CountBlocks(const QImage& image, const QRect& area) {
    BlockCount n;
    for (int y = area.top() & ~1; y + 1 <= area.bottom(); y += 2) {
        for (int x = area.left() & ~1; x + 1 <= area.right(); x += 2) {
            const QRgb a = image.pixel(x, y), b = image.pixel(x + 1, y), c = image.pixel(x, y + 1),
                       d = image.pixel(x + 1, y + 1);
            if (qGray(a) > 200 && qGray(b) > 200 && qGray(c) > 200 && qGray(d) > 200) continue;
            ++n.inked;
            if (!(a == b && a == c && a == d)) ++n.mixed;
        }
    }
    return n;
}

}  // namespace

class ChartScaleTest : public QObject {
    Q_OBJECT

private:
    kestrane::test::TempDir dir_{"chartscale"};
    std::unique_ptr<QWidget> host_;

    // Runs plotwick-render on a committed log; returns the picture (null on failure).
    QImage Render(const QString& log, const QStringList& options, const QString& name) {
        const QString out = QString::fromStdString(dir_.File(name.toStdString()));
        QProcess render;
        render.start(QStringLiteral(PLOTWICK_RENDER_PATH), QStringList{kData + log, out} + options);
        if (!render.waitForFinished(60000) || render.exitCode() != 0) return QImage();
        return Rgb(QImage(out));
    }
    static bool AtRatioOne() { return qGuiApp->devicePixelRatio() == 1.0; }

private slots:
    void initTestCase() {
        QVERIFY(!dir_.path().empty());
        pwInitialize();
        QVERIFY(plotwick::RasterReady(plotwick::ExportContext().raster));
    }
    void init() {
        host_ = std::make_unique<QWidget>();
        host_->resize(820, 420);
        host_->show();
        QVERIFY(QTest::qWaitForWindowExposed(host_.get()));
    }
    void cleanup() { host_.reset(); }
    void cleanupTestCase() { pwDeinitialize(); }

    // Scale 1, given or not, draws the pictures committed before scaling.
    void renderAtScaleOneIsUnchanged_data() {
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("reference");
        const QString midnight = QStringLiteral("crossing_midnight.log");
        QTest::newRow("default") << midnight << QStringList{} << "midnight_default.png";
        QTest::newRow("hover in plot")
            << midnight << QStringList{"--size", "800x300", "--view", "100,5000", "--hover", "300,100"}
            << "midnight_hover.png";
        QTest::newRow("amps, hover on strip")
            << midnight << QStringList{"--amps", "--hover", "400,220"} << "midnight_strip.png";
        QTest::newRow("whole span") << midnight << QStringList{"--size", "1000x400", "--view", "0,20000"}
                                    << "midnight_whole.png";
        QTest::newRow("steady, zoomed")
            << QStringLiteral("steady_cell.log")
            << QStringList{"--size", "800x300", "--view", "10,200", "--hover", "300,100"}
            << "steady_zoom.png";
    }
    void renderAtScaleOneIsUnchanged() {
        if (!AtRatioOne()) QSKIP("plotwick-render checks run once, at ratio 1");
        QFETCH(QString, log);
        QFETCH(QStringList, options);
        QFETCH(QString, reference);
        const QImage expected = Rgb(QImage(kReference + reference));
        QVERIFY(!expected.isNull());
        QCOMPARE(Render(log, options, "plain.png"), expected);
        QCOMPARE(Render(log, options + QStringList{"--scale", "1"}, "scale1.png"), expected);
    }

    // At 2 the text is drawn from glyphs made for that size: the title and
    // axis numbers differ from the 1x picture doubled, and many of their
    // 2 x 2 blocks are not uniform as doubled pixels would be.
    void twoTimesIsNotPixelDoubled() {
        if (!AtRatioOne()) QSKIP("plotwick-render checks run once, at ratio 1");
        const QStringList options{"--size", "800x300", "--view", "100,5000"};
        const QImage one = Render("crossing_midnight.log", options, "one.png");
        const QImage two = Render("crossing_midnight.log", options + QStringList{"--scale", "2"}, "two.png");
        QCOMPARE(one.size(), QSize(800, 300));
        QCOMPARE(two.size(), QSize(1600, 600));
        const QImage doubled = one.scaled(one.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        for (const QRect& area : {QRect(160, 0, 1280, 56), QRect(0, 60, 156, 380)}) {  // title, value axis
            QVERIFY(two.copy(area) != doubled.copy(area));
            const BlockCount n = CountBlocks(two, area);
            QVERIFY2(n.inked > 50, qPrintable(QString::number(n.inked)));
            QVERIFY2(n.mixed * 3 > n.inked, qPrintable(QStringLiteral("%1 of %2").arg(n.mixed).arg(n.inked)));
            QCOMPARE(CountBlocks(doubled, area).mixed, 0);
        }
        // The layout is the 1x layout doubled: the title's ink sits where
        // the doubled title's does, give or take the glyphs' rounding and
        // the measure's one extra pixel per character, which stays one
        // device pixel at every scale.
        const QRect title1 = InkBox(doubled, QRect(160, 0, 1280, 56)),
                    title2 = InkBox(two, QRect(160, 0, 1280, 56));
        QVERIFY2(std::abs(title1.center().x() - title2.center().x()) <= 16, "title not centred alike");
        QVERIFY2(std::abs(title1.width() - title2.width()) <= title1.width() / 8, "title width not doubled");
    }

    // At 1.5 every part is laid out at 1.5 times its place: the axes, the
    // strip and the title, on a fully painted white background.
    void oneAndAHalfIsEven() {
        if (!AtRatioOne()) QSKIP("plotwick-render checks run once, at ratio 1");
        const QImage one = Render("crossing_midnight.log", {}, "one.png");
        const QImage img = Render("crossing_midnight.log", {"--scale", "1.5"}, "onehalf.png");
        QCOMPARE(img.size(), QSize(900, 360));
        // Plot 80..580 x 30..170 at 1x: axes at column 120 and row 255.
        for (int y = 46; y < 254; y += 7) QCOMPARE(qGray(img.pixel(120, y)), 0);
        for (int x = 121; x < 870; x += 11) QCOMPARE(qGray(img.pixel(x, 255)), 0);
        // The right margin and the band above the title are plain white.
        for (int y = 0; y < 360; y += 3) QCOMPARE(img.pixel(880, y), qRgb(255, 255, 255));
        const QRect t1 = InkBox(one, QRect(80, 0, 500, 28)), t15 = InkBox(img, QRect(120, 0, 750, 42));
        QVERIFY(!t1.isEmpty() && !t15.isEmpty());
        QVERIFY2(std::abs(t15.width() - t1.width() * 1.5) <= t1.width() * 0.1, "title not scaled by 1.5");
        QVERIFY2(std::abs(t15.center().x() - t1.center().x() * 1.5) <= 6, "title not centred");
        QVERIFY2(std::abs(t15.height() - t1.height() * 1.5) <= 3, "title height not scaled by 1.5");
        // The overview strip's track spans the plot width.
        QVERIFY(qGray(img.pixel(125, 336)) < 250 && qGray(img.pixel(865, 336)) < 250);
    }

    // Bad scales are refused as usage errors.
    void renderRefusesOtherScales() {
        if (!AtRatioOne()) QSKIP("plotwick-render checks run once, at ratio 1");
        for (const char* bad : {"0", "1.1", "5", "-2", "2x", "", "nan"}) {
            QProcess render;
            render.start(
                QStringLiteral(PLOTWICK_RENDER_PATH),
                {kData + "steady_cell.log", QString::fromStdString(dir_.File("bad.png")), "--scale", bad});
            QVERIFY(render.waitForFinished(60000));
            QVERIFY2(render.exitCode() == 2, bad);
        }
    }

    // The chart window draws at its screen's device pixel ratio, exactly as
    // plotwick-render does at that scale.
    void windowDrawsAtTheScreenRatio() {
        const double ratio = host_->devicePixelRatioF();
        void* handle = pwCreateWindow(host_.get(), 10, 10, 600, 240, "crossing_midnight.log");
        QVERIFY(handle != nullptr);
        QCOMPARE(pwLoadFile(handle, (kData + "crossing_midnight.log").toLocal8Bit().constData(), 1), 1);
        auto* chart = plotwick::ChartFromHandle(plotwick::ExportContext(), handle);
        const QPixmap shot = chart->grab();
        QCOMPARE(chart->paintedScale(), plotwick::ChartScaleFor(ratio));
        QCOMPARE(shot.size(), QSize(qRound(600 * ratio), qRound(240 * ratio)));
        const QString scale = QString::number(ratio);
        const QImage expected = Render("crossing_midnight.log", {"--scale", scale}, "window.png");
        QCOMPARE(Rgb(shot.toImage()), expected);
    }

    // A screen change asks for a new paint, which takes up the new ratio.
    void screenChangeRepaints() {
        void* handle = pwCreateWindow(host_.get(), 10, 10, 600, 240, "Ch");
        auto* chart = plotwick::ChartFromHandle(plotwick::ExportContext(), handle);
        QTRY_VERIFY(chart->paintedScale() > 0.0);
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++paints;
                return false;
            }
        } counter;
        chart->installEventFilter(&counter);
        QEvent change(QEvent::ScreenChangeInternal);
        QCoreApplication::sendEvent(chart, &change);
        QTRY_VERIFY(counter.paints > 0);
        chart->removeEventFilter(&counter);
    }

    // Screen readers get the chart as a chart with a name and a description
    // of what it shows, kept up to date with loads and zooms; the frame has
    // a name too.
    void accessibleNameAndDescription() {
        void* handle = pwCreateWindow(host_.get(), 10, 10, 600, 240, "VoltMeter 1");
        auto* chart = plotwick::ChartFromHandle(plotwick::ExportContext(), handle);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(chart);
        QVERIFY(a != nullptr);
        QCOMPARE(a->role(), QAccessible::Chart);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("VoltMeter 1 chart"));
        QCOMPARE(a->text(QAccessible::Description), QStringLiteral("VoltMeter 1, no readings loaded."));
        QVERIFY(chart->frame() != nullptr);
        QCOMPARE(chart->frame()->accessibleName(), QStringLiteral("VoltMeter 1 chart frame"));

        QCOMPARE(pwLoadFile(handle, (kData + "steady_cell.log").toLocal8Bit().constData(), 1), 1);
        QCOMPARE(
            a->text(QAccessible::Description),
            QStringLiteral("VoltMeter 1, Volts. 4 minutes 59 seconds shown, from 07 Dec 2026 01:00:00 PM "
                           "to 07 Dec 2026 01:04:59 PM. Last + 12.395, minimum + 12.305, maximum + 12.395."));
        // Zoomed to ages 5..25 (01:04:34 to 01:04:54 PM): only those points count.
        plotwick::SetView(*chart->context(), 5, 25);
        chart->repaint();
        QCOMPARE(
            a->text(QAccessible::Description),
            QStringLiteral("VoltMeter 1, Volts. 20 seconds shown, from 07 Dec 2026 01:04:34 PM to 07 Dec "
                           "2026 01:04:54 PM. Last + 12.345, minimum + 12.305, maximum + 12.395."));
        QCOMPARE(pwLoadFile(handle, (kData + "crossing_midnight.log").toLocal8Bit().constData(), 0), 1);
        QVERIFY(a->text(QAccessible::Description)
                    .startsWith("VoltMeter 1, Amps. 1 hour shown, from 07 Dec 2026"));
        // The visible texts stay the chart's own: nothing but the picture.
        QCOMPARE(chart->windowTitle(), QString());
        QVERIFY(plotwick::ChartAccessibleName(plotwick::GraphContext{}) == "Chart");
    }

    void durationText_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << qint64{0} << "0 seconds";
        QTest::newRow("negative") << qint64{-5} << "0 seconds";
        QTest::newRow("one") << qint64{1} << "1 second";
        QTest::newRow("hour") << qint64{3600} << "1 hour";
        QTest::newRow("mixed") << qint64{2 * 86400 + 3 * 3600 + 60 + 5}
                               << "2 days 3 hours 1 minute 5 seconds";
        QTest::newRow("minutes") << qint64{299} << "4 minutes 59 seconds";
    }
    void durationText() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(plotwick::DurationText(seconds)), text);
    }
};

QTEST_MAIN(ChartScaleTest)
#include "chart_scale_test.moc"
