// Drives chart windows through the C exports and real Qt mouse events:
// creation sizes and title, loading, zoom by click and by drag, auto-scroll,
// overview-strip panning, and destroying a chart that holds the pointer.
#include <QCoreApplication>
#include <QImage>
#include <QList>
#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "chart_window.h"
#include "plotwick.h"
#include "plotwick/loader.h"
#include "plotwick/raster.h"
#include "plotwick/view.h"
#include "temp_dir.h"

using plotwick::ChartFromHandle;
using plotwick::GraphContext;

namespace {

// A log of `count` readings one minute apart; the newest has age 0 and the
// oldest age (count - 1) * 60.
bool WriteLog(const QString& path, int count) {
    std::FILE* f = std::fopen(path.toLocal8Bit().constData(), "wb");
    if (f == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        const int minutes = i;  // from 08:00 AM on
        std::fprintf(f, "07 Dec 2026;%02d:%02d:00 AM;+ %d.500\r\n", 8 + minutes / 60, minutes % 60, i % 7);
    }
    return std::fclose(f) == 0;
}

// Records the view each paint of a chart shows, from the paint event
// itself, so the intermediate frames of an animation are seen as drawn.
class PaintedViews : public QObject {
public:
    PaintedViews(QWidget* chart, const GraphContext& ctx) : chart_(chart), ctx_(ctx) {
        QCoreApplication::processEvents();  // paints already asked for are not frames
        chart_->installEventFilter(this);
    }
    ~PaintedViews() override { chart_->removeEventFilter(this); }
    QList<QPoint> views;  // x = viewStart, y = viewEnd

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == chart_ && event->type() == QEvent::Paint)
            views << QPoint(ctx_.viewStart, ctx_.viewEnd);
        return false;
    }

private:
    QWidget* chart_;
    const GraphContext& ctx_;
};

}  // namespace

class FakeChooser : public plotwick::PngPathChooser {
public:
    QString answer;
    int asked = 0;
    QString Choose(QWidget*) override {
        ++asked;
        return answer;
    }
};

class ChartWindowTest : public QObject {
    Q_OBJECT

private:
    kestrane::test::TempDir dir_{"chartwindow"};
    QString log_;
    std::unique_ptr<QWidget> host_;

    void* NewChart(int w = 600, int h = 400, const char* title = "Channel 1") {
        return pwCreateWindow(host_.get(), 10, 10, w, h, title);
    }
    GraphContext& Ctx(void* handle) { return *ChartFromHandle(plotwick::ExportContext(), handle)->context(); }
    QWidget* W(void* handle) { return ChartFromHandle(plotwick::ExportContext(), handle); }
    void* LoadedChart() {
        void* h = NewChart();
        if (pwLoadFile(h, log_.toLocal8Bit().constData(), 1) != 1) qFatal("test log did not load");
        return h;
    }
    // The middle row of the overview strip and a row between plot and strip.
    static int StripY(const GraphContext& c) { return c.height - c.marginBottom + 55; }

private slots:
    void initTestCase() {
        QVERIFY(!dir_.path().empty());
        log_ = QString::fromStdString(dir_.File("ch1.txt"));
        QVERIFY(WriteLog(log_, 120));  // ages 0 .. 7140
        pwInitialize();
        pwInitialize();  // counted once: the second call changes nothing
        QVERIFY(plotwick::RasterReady(plotwick::ExportContext().raster));
    }
    void init() {
        plotwick::ExportContext().interaction = plotwick::Interaction{};
        host_ = std::make_unique<QWidget>();
        host_->resize(800, 600);
        host_->show();
        QVERIFY(QTest::qWaitForWindowExposed(host_.get()));
    }
    void cleanup() { host_.reset(); }
    void cleanupTestCase() {
        pwDeinitialize();
        QVERIFY(!plotwick::RasterReady(plotwick::ExportContext().raster));
        pwDeinitialize();  // harmless when already uninitialised
    }

    void creationSizes_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("expectW");
        QTest::addColumn<int>("expectH");
        QTest::addColumn<int>("plotWidth");
        QTest::newRow("zero") << 0 << 0 << 1 << 1 << 1 - 100;
        QTest::newRow("negative") << -5 << 240 << 1 << 240 << 1 - 100;
        QTest::newRow("600x400") << 600 << 400 << 600 << 400 << 500;
        QTest::newRow("host chart") << 600 << 240 << 600 << 240 << 500;
    }
    void creationSizes() {
        QFETCH(int, w);
        QFETCH(int, h);
        void* handle = NewChart(w, h);
        QVERIFY(handle != nullptr);
        QCOMPARE(W(handle)->objectName(), QStringLiteral("MerrowPlotwickClass"));
        QCOMPARE(W(handle)->parentWidget(), host_.get());
        QCOMPARE(W(handle)->pos(), QPoint(10, 10));
        QFETCH(int, expectW);
        QFETCH(int, expectH);
        QFETCH(int, plotWidth);
        QCOMPARE(Ctx(handle).width, expectW);
        QCOMPARE(Ctx(handle).height, expectH);
        QCOMPARE(Ctx(handle).plotWidth, plotWidth);
        QCOMPARE(W(handle)->size(), QSize(expectW, expectH));
    }

    void titleIsCutTo99() {
        const std::string longTitle(150, 'T');
        void* handle = NewChart(600, 400, longTitle.c_str());
        QCOMPARE(Ctx(handle).title.size(), size_t{99});
        void* untitled = NewChart(600, 400, nullptr);
        QVERIFY(Ctx(untitled).title.empty());
    }

    void createNeedsParent() { QVERIFY(pwCreateWindow(nullptr, 0, 0, 100, 100, "x") == nullptr); }

    void loadFailuresKeepChart() {
        void* handle = LoadedChart();
        QCOMPARE(pwLoadFile(handle, log_.toLocal8Bit().constData(), 0), 1);
        QCOMPARE(Ctx(handle).captionIsVolts, 0);
        const int points = Ctx(handle).pointCount;
        const QByteArray missing = QString::fromStdString(dir_.File("missing.txt")).toLocal8Bit();
        QCOMPARE(pwLoadFile(handle, missing.constData(), 1), 0);
        QCOMPARE(Ctx(handle).captionIsVolts, 0);
        QCOMPARE(Ctx(handle).pointCount, points);
        QCOMPARE(pwLoadFile(handle, nullptr, 1), 0);
        // Handles that are not live charts are refused, not followed.
        QCOMPARE(pwLoadFile(nullptr, log_.toLocal8Bit().constData(), 1), 0);
        QCOMPARE(pwLoadFile(host_.get(), log_.toLocal8Bit().constData(), 1), 0);
        int notAWindow = 0;
        QCOMPARE(pwLoadFile(&notAWindow, log_.toLocal8Bit().constData(), 1), 0);
    }

    void clickZoomsOut_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("expectStart");
        QTest::addColumn<int>("expectEnd");
        QTest::newRow("half each side") << 2000 << 3000 << 1500 << 3500;
        QTest::newRow("at least 30 s") << 3000 << 3020 << 2970 << 3050;
        QTest::newRow("clamped at 0") << 0 << 600 << 0 << 900;
        QTest::newRow("clamped at span") << 6000 << 7140 << 5430 << 7140;
    }
    void clickZoomsOut() {
        QFETCH(int, start);
        QFETCH(int, end);
        void* handle = LoadedChart();
        GraphContext& c = Ctx(handle);
        plotwick::SetView(c, start, end);
        QCOMPARE(c.viewStart, start);
        QTest::mouseMove(W(handle), QPoint(300, 200));
        QTest::mouseClick(W(handle), Qt::LeftButton, {}, QPoint(300, 200));
        QFETCH(int, expectStart);
        QFETCH(int, expectEnd);
        QCOMPARE(c.viewStart, expectStart);
        QCOMPARE(c.viewEnd, expectEnd);
        QVERIFY(!plotwick::ExportContext().interaction.selecting);
        QVERIFY(plotwick::ExportContext().interaction.capture == nullptr);
    }

    void dragZoomsIn() {
        void* handle = LoadedChart();
        GraphContext& c = Ctx(handle);
        QCOMPARE(c.viewStart, 0);
        QCOMPARE(c.viewEnd, 3600);  // newest hour: 7.2 s per pixel
        // Column 100 of the plot is age 720 (point 12), column 200 age 1440
        // (point 24); the view takes one more point on the older side.
        for (auto [from, to] : {std::pair{180, 280}, std::pair{280, 180}}) {
            plotwick::SetView(c, 0, 3600);
            QTest::mouseMove(W(handle), QPoint(from, 150));
            QTest::mousePress(W(handle), Qt::LeftButton, {}, QPoint(from, 150));
            QVERIFY(plotwick::ExportContext().interaction.selecting);
            QTest::mouseMove(W(handle), QPoint(to, 150));
            QCOMPARE(plotwick::ExportContext().interaction.currentIndex, to == 280 ? 24 : 12);
            QTest::mouseRelease(W(handle), Qt::LeftButton, {}, QPoint(to, 150));
            QCOMPARE(c.viewStart, 720);
            QCOMPARE(c.viewEnd, 1500);
        }
    }

    // Five frames, each painted at once: frame i shows the view a quarter
    // of the way further per frame, truncated, as SetView takes it; frame 0
    // repeats the current view and frame 4 is the target as SetView clamps it.
    void animateFrames_data() {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("target");
        QTest::addColumn<QList<QPoint>>("frames");
        QTest::newRow("zoom out")
            << QPoint(2000, 3000) << QPoint(1500, 3500)
            << QList<QPoint>{{2000, 3000}, {1875, 3125}, {1750, 3250}, {1625, 3375}, {1500, 3500}};
        QTest::newRow("zoom in, quarters truncated")
            << QPoint(0, 3600) << QPoint(721, 1499)
            << QList<QPoint>{{0, 3600}, {180, 3074}, {360, 2549}, {540, 2024}, {721, 1499}};
        QTest::newRow("past the oldest point")  // span 7140
            << QPoint(6000, 7000) << QPoint(5500, 7500)
            << QList<QPoint>{{6000, 7000}, {5875, 7125}, {5750, 7140}, {5625, 7140}, {5500, 7140}};
        QTest::newRow("before the newest point")
            << QPoint(100, 400) << QPoint(-200, 400)
            << QList<QPoint>{{100, 400}, {25, 400}, {0, 400}, {0, 400}, {0, 400}};
        QTest::newRow("target under 10 s widened")
            << QPoint(100, 200) << QPoint(150, 152)
            << QList<QPoint>{{100, 200}, {112, 188}, {125, 176}, {137, 164}, {142, 152}};
        QTest::newRow("no movement") << QPoint(300, 900) << QPoint(300, 900)
                                     << QList<QPoint>(5, QPoint(300, 900));
    }
    void animateFrames() {
        QFETCH(QPoint, from);
        QFETCH(QPoint, target);
        QFETCH(QList<QPoint>, frames);
        void* handle = LoadedChart();
        GraphContext& c = Ctx(handle);
        plotwick::SetView(c, from.x(), from.y());
        QCOMPARE(QPoint(c.viewStart, c.viewEnd), from);
        PaintedViews painted(W(handle), c);
        ChartFromHandle(plotwick::ExportContext(), handle)->Animate(target.x(), target.y());
        QCOMPARE(painted.views, frames);
        QCOMPARE(QPoint(c.viewStart, c.viewEnd), frames.last());
    }

    // The same frames through a real click, which zooms out with animation.
    void clickAnimatesZoomOut() {
        void* handle = LoadedChart();
        GraphContext& c = Ctx(handle);
        QCOMPARE(c.animateZoomOut, 1);
        plotwick::SetView(c, 2000, 3000);
        QTest::mouseMove(W(handle), QPoint(300, 200));
        QList<QPoint> views;
        {
            PaintedViews painted(W(handle), c);
            QTest::mouseClick(W(handle), Qt::LeftButton, {}, QPoint(300, 200));
            views = painted.views;
        }
        const QList<QPoint> frames{{2000, 3000}, {1875, 3125}, {1750, 3250}, {1625, 3375}, {1500, 3500}};
        QVERIFY2(views.size() >= 5, "every frame is painted during the release");
        QCOMPARE(views.mid(views.size() - 5), frames);
    }

    void autoScrollWidensBySteps() {
        void* handle = LoadedChart();
        GraphContext& c = Ctx(handle);
        plotwick::SetView(c, 4000, 5000);
        QTest::mouseMove(W(handle), QPoint(300, 150));
        QTest::mousePress(W(handle), Qt::LeftButton, {}, QPoint(300, 150));
        QTest::mouseMove(W(handle), QPoint(40, 150));  // left of the plot
        QVERIFY(plotwick::ExportContext().interaction.autoScroll);
        auto* chart = ChartFromHandle(plotwick::ExportContext(), handle);
        // Ticks driven directly, so the expected steps do not hang on timing.
        plotwick::SetView(c, 4000, 5000);
        plotwick::ExportContext().interaction.tickCount = 0;
        const int expectStart[] = {3969, 3905, 3803, 3654, 3444, 3153, 2749, 2257};
        for (int i = 0; i < 8; ++i) {
            chart->AutoScrollTick();
            QCOMPARE(c.viewEnd, 5000);
            QCOMPARE(c.viewStart, expectStart[i]);
        }
        QCOMPARE(plotwick::ExportContext().interaction.tickCount, 7);
        // Back over the plot: the next tick stops auto-scroll.
        QTest::mouseMove(W(handle), QPoint(300, 150));
        chart->AutoScrollTick();
        QVERIFY(!plotwick::ExportContext().interaction.autoScroll);
        QCOMPARE(c.viewStart, 2257);
        QTest::mouseRelease(W(handle), Qt::LeftButton, {}, QPoint(300, 150));
    }

    void autoScrollRunsOnItsTimer() {
        void* handle = LoadedChart();
        GraphContext& c = Ctx(handle);
        plotwick::SetView(c, 0, 1000);
        QTest::mouseMove(W(handle), QPoint(300, 150));
        QTest::mousePress(W(handle), Qt::LeftButton, {}, QPoint(300, 150));
        QTest::mouseMove(W(handle), QPoint(590, 150));  // right of the plot: toward older data
        QTRY_VERIFY_WITH_TIMEOUT(c.viewEnd > 1000, 10000);
        QCOMPARE(c.viewStart, 0);
        QTest::mouseRelease(W(handle), Qt::LeftButton, {}, QPoint(590, 150));
    }

    void stripPressOffThumbJumps() {
        void* handle = LoadedChart();
        GraphContext& c = Ctx(handle);
        plotwick::SetView(c, 0, 600);
        QTest::mouseMove(W(handle), QPoint(380, StripY(c)));
        QTest::mousePress(W(handle), Qt::LeftButton, {}, QPoint(380, StripY(c)));
        QVERIFY(plotwick::ExportContext().interaction.panning);
        QCOMPARE(c.viewEnd - c.viewStart, 600);
        const plotwick::ThumbSpan t = plotwick::ComputeThumb(c.plotWidth, c.viewStart, c.viewEnd, c.span);
        QVERIFY2(std::abs((t.left + t.right) / 2 - 300) <= 2, "thumb centre follows the pointer");
        // Dragging past the end keeps the width and stops at the span.
        QTest::mouseMove(W(handle), QPoint(590, StripY(c)));
        QCOMPARE(c.viewEnd, c.span);
        QCOMPARE(c.viewEnd - c.viewStart, 600);
        QTest::mouseRelease(W(handle), Qt::LeftButton, {}, QPoint(590, StripY(c)));
        QVERIFY(!plotwick::ExportContext().interaction.panning);
        // Pressing on the thumb moves nothing until the pointer moves.
        const int start = c.viewStart;
        const plotwick::ThumbSpan t2 = plotwick::ComputeThumb(c.plotWidth, c.viewStart, c.viewEnd, c.span);
        const QPoint onThumb(c.marginLeft + (t2.left + t2.right) / 2, StripY(c));
        QTest::mouseMove(W(handle), onThumb);
        QTest::mousePress(W(handle), Qt::LeftButton, {}, onThumb);
        QCOMPARE(c.viewStart, start);
        QTest::mouseMove(W(handle), onThumb - QPoint(50, 0));
        QVERIFY(c.viewStart < start);
        QTest::mouseRelease(W(handle), Qt::LeftButton, {}, onThumb - QPoint(50, 0));
    }

    void pressesThatDoNothing_data() {
        QTest::addColumn<bool>("load");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("between plot and strip") << true << QPoint(300, 400 - 70 + 10);
        QTest::newRow("left margin") << true << QPoint(40, 150);
        QTest::newRow("no data, in plot") << false << QPoint(300, 150);
        QTest::newRow("no data, in strip") << false << QPoint(300, 385);
    }
    void pressesThatDoNothing() {
        QFETCH(bool, load);
        QFETCH(QPoint, at);
        void* handle = load ? LoadedChart() : NewChart();
        GraphContext& c = Ctx(handle);
        const int start = c.viewStart, end = c.viewEnd;
        QTest::mouseMove(W(handle), at);
        QTest::mousePress(W(handle), Qt::LeftButton, {}, at);
        QVERIFY(!plotwick::ExportContext().interaction.selecting);
        QVERIFY(!plotwick::ExportContext().interaction.panning);
        QTest::mouseMove(W(handle), at + QPoint(30, 0));
        QTest::mouseRelease(W(handle), Qt::LeftButton, {}, at + QPoint(30, 0));
        QCOMPARE(c.viewStart, start);
        QCOMPARE(c.viewEnd, end);
        if (!load) QVERIFY(plotwick::ExportContext().interaction.hover == nullptr);
    }

    // The chart's record holds its series itself: every label points into
    // the record's own copy of the file text, and a failed load leaves that
    // copy and its arrays as they were.
    void recordOwnsItsSeries() {
        void* handle = LoadedChart();
        const GraphContext& c = Ctx(handle);
        QCOMPARE(c.times.size(), size_t(c.pointCount));
        QCOMPARE(c.values.size(), size_t(c.pointCount));
        QCOMPARE(c.o_Labels.size(), size_t(c.pointCount));
        const char* begin = c.fileBuffer.data();
        const char* end = begin + c.fileBuffer.size();
        for (const char* label : c.o_Labels) QVERIFY(label >= begin && label < end);
        const char* text = c.fileBuffer.data();
        QCOMPARE(pwLoadFile(handle, "/no/such/log", 0), 0);
        QCOMPARE(c.fileBuffer.data(), text);
        QCOMPARE(c.captionIsVolts, 1);
        QCOMPARE(pwLoadFile(handle, log_.toLocal8Bit().constData(), 1), 1);
        QCOMPARE(c.o_Labels.size(), size_t(c.pointCount));
        for (const char* label : c.o_Labels) {
            QVERIFY(label >= c.fileBuffer.data() && label < c.fileBuffer.data() + c.fileBuffer.size());
        }
    }

    void pressRaisesAmongSiblings() {
        void* a = LoadedChart();
        void* b = LoadedChart();
        QCOMPARE(host_->children().last(), static_cast<QObject*>(W(b)));
        QTest::mouseMove(W(a), QPoint(300, 150));
        QTest::mousePress(W(a), Qt::LeftButton, {}, QPoint(300, 150));
        QCOMPARE(host_->children().last(), static_cast<QObject*>(W(a)));
        QCOMPARE(W(a)->pos(), QPoint(10, 10));
        QTest::mouseRelease(W(a), Qt::LeftButton, {}, QPoint(300, 150));
    }

    void leaveClearsHover() {
        void* handle = LoadedChart();
        // A position of its own: a move to where the pointer already is may be dropped.
        QTest::mouseMove(W(handle), QPoint(310, 160));
        QVERIFY(plotwick::ExportContext().interaction.hover == &Ctx(handle));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(W(handle), &leave);
        QVERIFY(plotwick::ExportContext().interaction.hover == nullptr);
        QCOMPARE(plotwick::ExportContext().interaction.x, -1);
        QCOMPARE(plotwick::ExportContext().interaction.y, -1);
    }

    // A chart lives in the context it was created with: its handle is found
    // only there, and its pointer state never leaks into another context.
    void chartsStayInTheirContext() {
        void* exported = LoadedChart();
        plotwick::LibraryContext own;
        // Created last, so it lies on top of the exported chart.
        auto chart = std::make_unique<plotwick::ChartWidget>(own, host_.get(), 600, 400, "own");
        QCOMPARE(plotwick::LoadSeries(log_.toLocal8Bit().constData(), *chart->context()), 1);
        chart->show();
        void* handle = static_cast<QObject*>(chart.get());
        QVERIFY(ChartFromHandle(own, handle) == chart.get());
        QVERIFY(ChartFromHandle(plotwick::ExportContext(), handle) == nullptr);
        QVERIFY(ChartFromHandle(own, exported) == nullptr);
        QTest::mouseMove(chart.get(), QPoint(300, 150));
        QVERIFY(own.interaction.hover == chart->context());
        QVERIFY(plotwick::ExportContext().interaction.hover == nullptr);
        chart.reset();  // releases its record: nothing in `own` may point at it
        QVERIFY(own.liveCharts.empty());
        QVERIFY(own.interaction.hover == nullptr);
    }

    // The saved picture is the one plotwick-render draws for the same view.
    void savePngMatchesRenderer() {
        void* handle = pwCreateWindow(host_.get(), 10, 10, 600, 400, "ch1.txt");
        QCOMPARE(pwLoadFile(handle, log_.toLocal8Bit().constData(), 0), 1);
        GraphContext& c = Ctx(handle);
        plotwick::SetView(c, 300, 2700);
        QTest::mouseMove(W(handle), QPoint(300, 150));  // hover looks stay out of the file
        FakeChooser chooser;
        plotwick::SetPngPathChooser(plotwick::ExportContext(), &chooser);
        std::unique_ptr<QMenu> menu = ChartFromHandle(plotwick::ExportContext(), handle)->ContextMenu();
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Save Chart As PNG..."));
        menu->actions().at(0)->trigger();  // cancelled: nothing written
        QCOMPARE(chooser.asked, 1);
        chooser.answer = QString::fromStdString(dir_.File("saved.png"));
        menu->actions().at(0)->trigger();
        plotwick::SetPngPathChooser(plotwick::ExportContext(), nullptr);
        const QImage saved(chooser.answer);
        QCOMPARE(saved.size(), QSize(600, 400));

        const QString reference = QString::fromStdString(dir_.File("reference.png"));
        QProcess render;
        render.start(QStringLiteral(PLOTWICK_RENDER_PATH),
                     {log_, reference, "--size", "600x400", "--view", "300", "2700", "--amps"});
        QVERIFY(render.waitForFinished(60000));
        QCOMPARE(render.exitCode(), 0);
        const QImage expected(reference);
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
        QVERIFY(!plotwick::SaveChartPng(plotwick::ExportContext(), c, QString()));
        QVERIFY(!plotwick::SaveChartPng(plotwick::ExportContext(), c,
                                        QString::fromStdString(dir_.File("no/such/folder/x.png"))));
    }

    // Destroying the chart under the pointer, holding the capture or running
    // auto-scroll must leave nothing pointing at its record (ASan build too).
    void destroyWhileHeld_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("hover") << 0;
        QTest::newRow("selection capture") << 1;
        QTest::newRow("pan capture") << 2;
        QTest::newRow("auto-scroll") << 3;
    }
    void destroyWhileHeld() {
        QFETCH(int, mode);
        void* a = LoadedChart();
        void* b = pwCreateWindow(host_.get(), 10, 420, 600, 170, "B");
        QCOMPARE(pwLoadFile(b, log_.toLocal8Bit().constData(), 1), 1);
        QWidget* wa = W(a);
        const QPoint at = mode == 2 ? QPoint(300, 385) : QPoint(300, 150);
        QTest::mouseMove(wa, at);
        if (mode >= 1) QTest::mousePress(wa, Qt::LeftButton, {}, at);
        if (mode == 3) {
            QTest::mouseMove(wa, QPoint(40, 150));
            QVERIFY(plotwick::ExportContext().interaction.autoScroll);
        }
        delete wa;
        QVERIFY(ChartFromHandle(plotwick::ExportContext(), a) ==
                nullptr);  // the handle, record and series are gone
        const plotwick::Interaction& s = plotwick::ExportContext().interaction;
        QVERIFY(s.hover == nullptr && s.capture == nullptr && s.tracking == nullptr &&
                s.timerOwner == nullptr);
        QVERIFY(!s.selecting && !s.panning && !s.autoScroll);
        QCOMPARE(pwLoadFile(a, log_.toLocal8Bit().constData(), 1), 0);
        QTest::qWait(250);  // a stray auto-scroll tick would fire here
        QWidget* wb = W(b);
        QTest::mouseMove(wb, QPoint(300, 80));
        QTest::mouseClick(wb, Qt::LeftButton, {}, QPoint(300, 80));
        QVERIFY(plotwick::ExportContext().interaction.hover == &Ctx(b));
        QVERIFY(!plotwick::ExportContext().interaction.selecting);
    }

    void frameEdges_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("edges");
        using namespace plotwick;
        // A frame around a 600 x 400 client area: 606 x 406.
        QTest::newRow("client area") << QPoint(300, 200) << int{kEdgeNone};
        QTest::newRow("first client pixel") << QPoint(3, 3) << int{kEdgeNone};
        QTest::newRow("left side") << QPoint(0, 200) << int{kEdgeLeft};
        QTest::newRow("right side") << QPoint(605, 200) << int{kEdgeRight};
        QTest::newRow("top side") << QPoint(300, 2) << int{kEdgeTop};
        QTest::newRow("bottom side") << QPoint(300, 403) << int{kEdgeBottom};
        QTest::newRow("top-left corner") << QPoint(0, 0) << (kEdgeLeft | kEdgeTop);
        QTest::newRow("top near the left corner") << QPoint(11, 0) << (kEdgeLeft | kEdgeTop);
        QTest::newRow("top past the corner grip") << QPoint(12, 0) << int{kEdgeTop};
        QTest::newRow("left side near the bottom") << QPoint(1, 400) << (kEdgeLeft | kEdgeBottom);
        QTest::newRow("bottom-right corner") << QPoint(605, 405) << (kEdgeRight | kEdgeBottom);
        QTest::newRow("outside") << QPoint(-1, 5) << int{kEdgeNone};
        QTest::newRow("past the far corner") << QPoint(606, 406) << int{kEdgeNone};
    }
    void frameEdges() {
        QFETCH(QPoint, at);
        QFETCH(int, edges);
        QCOMPARE(plotwick::FrameEdgesAt(at.x(), at.y(), 606, 406), edges);
    }

    void resizedClientRect_data() {
        using namespace plotwick;
        QTest::addColumn<int>("edges");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QRect>("expect");
        QTest::newRow("no edge") << int{kEdgeNone} << QPoint(50, 50) << QRect(10, 10, 600, 400);
        QTest::newRow("bottom-right grows")
            << (kEdgeRight | kEdgeBottom) << QPoint(50, 20) << QRect(10, 10, 650, 420);
        QTest::newRow("left keeps the right side")
            << int{kEdgeLeft} << QPoint(-5, 9) << QRect(5, 10, 605, 400);
        QTest::newRow("top keeps the bottom") << int{kEdgeTop} << QPoint(7, 30) << QRect(10, 40, 600, 370);
        QTest::newRow("right shrinks to one pixel")
            << int{kEdgeRight} << QPoint(-1000, 0) << QRect(10, 10, 1, 400);
        QTest::newRow("left past the right side")
            << int{kEdgeLeft} << QPoint(5000, 0) << QRect(609, 10, 1, 400);
        QTest::newRow("top past the bottom") << int{kEdgeTop} << QPoint(0, 5000) << QRect(10, 409, 600, 1);
        QTest::newRow("huge drag") << (kEdgeRight | kEdgeBottom) << QPoint(INT32_MAX, INT32_MAX)
                                   << QRect(10, 10, INT32_MAX / 2, INT32_MAX / 2);
    }
    void resizedClientRect() {
        QFETCH(int, edges);
        QFETCH(QPoint, delta);
        QFETCH(QRect, expect);
        QCOMPARE(plotwick::ResizedClientRect(QRect(10, 10, 600, 400), edges, delta), expect);
    }

    // The frame hugs the client area, sits just below its chart and follows
    // the chart's moves, hiding and destruction.
    void frameFollowsChart() {
        void* handle = NewChart();
        auto* chart = ChartFromHandle(plotwick::ExportContext(), handle);
        QPointer<QWidget> frame = chart->frame();
        QVERIFY(frame != nullptr);
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->geometry(), QRect(7, 7, 606, 406));
        const QObjectList& kids = host_->children();
        QCOMPARE(kids.indexOf(frame.data()) + 1, kids.indexOf(chart));
        void* other = NewChart();
        QTest::mouseMove(W(handle), QPoint(300, 150));
        QTest::mousePress(W(handle), Qt::LeftButton, {}, QPoint(300, 150));
        QTest::mouseRelease(W(handle), Qt::LeftButton, {}, QPoint(300, 150));
        QCOMPARE(kids.last(), static_cast<QObject*>(chart));
        QCOMPARE(kids.indexOf(frame.data()) + 1, kids.indexOf(chart));  // raised together
        QVERIFY(kids.indexOf(W(other)) < kids.indexOf(frame.data()));
        chart->move(50, 60);
        QCOMPARE(frame->pos(), QPoint(47, 57));
        chart->hide();
        QVERIFY(!frame->isVisible());
        chart->show();
        QVERIFY(frame->isVisible());
        delete chart;
        QVERIFY(frame.isNull() || !frame->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frame.isNull());
    }

    // Dragging the frame resizes the chart, which lays its plot out anew.
    void frameDragResizes_data() {
        QTest::addColumn<QPoint>("grab");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QRect>("expect");
        QTest::addColumn<int>("plotWidth");
        QTest::newRow("bottom-right corner")
            << QPoint(605, 405) << QPoint(50, 20) << QRect(10, 10, 650, 420) << 550;
        QTest::newRow("left side") << QPoint(1, 200) << QPoint(-5, 0) << QRect(5, 10, 605, 400) << 505;
        QTest::newRow("top side") << QPoint(300, 1) << QPoint(0, 30) << QRect(10, 40, 600, 370) << 500;
        QTest::newRow("right side to nothing")
            << QPoint(605, 200) << QPoint(-700, 0) << QRect(10, 10, 1, 400) << 1 - 100;
    }
    void frameDragResizes() {
        QFETCH(QPoint, grab);
        QFETCH(QPoint, delta);
        QFETCH(QRect, expect);
        QFETCH(int, plotWidth);
        void* handle = LoadedChart();
        QWidget* frame = ChartFromHandle(plotwick::ExportContext(), handle)->frame();
        QTest::mouseMove(frame, grab);
        QTest::mousePress(frame, Qt::LeftButton, {}, grab);
        QTest::mouseMove(frame, grab + delta);
        QTest::mouseRelease(frame, Qt::LeftButton, {}, grab + delta);
        QCOMPARE(W(handle)->geometry(), expect);
        QCOMPARE(Ctx(handle).width, expect.width());
        QCOMPARE(Ctx(handle).height, expect.height());
        QCOMPARE(Ctx(handle).plotWidth, plotWidth);
        QCOMPARE(frame->geometry(), expect.adjusted(-3, -3, 3, 3));
    }
};

QTEST_MAIN(ChartWindowTest)
#include "chart_window_test.moc"
