// The strips with their strokes written straight into the image against
// the same strips drawn wholly by QPainter: the very same pixels at every
// span, at several scales and sizes (whole-pixel columns or not), over
// streams with gaps, flat stretches, spikes, steps and sparse readings; and
// the redraws that reuse their columns draw what a fresh painter draws.
#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <cmath>
#include <string>

#include "live/qt/strip_painter.h"
#include "live/trend_store.h"

using namespace kestrane::live;

namespace {

constexpr int64_t kStart = 1'800'000'000'000LL;
constexpr int64_t kSpans[] = {60'000, 600'000, 3'600'000, 8 * 3'600'000LL, 24 * 3'600'000LL};

// One tick every 50 ms shared by the six channels, each with its own kind
// of signal; a lost board now and then.
void Poll(TrendStore& store, int64_t tick) {
    const int channel = 1 + static_cast<int>(tick % 6);
    const int64_t t = kStart + tick * 50;
    const double s = static_cast<double>(tick);
    double v = 0;
    switch (channel) {
        case 1:
            v = 12 + 3 * std::sin(s / 900.0);
            break;  // smooth
        case 2:
            v = (tick / 6) % 400 < 200 ? -40.0 : 85.0;
            break;  // steps
        case 3:
            v = 0.25;
            break;  // flat
        case 4:
            v = (tick * 7919) % 101 == 0 ? 1e4 : (tick * 31) % 17;
            break;  // spikes
        case 5:
            v = 5 + static_cast<double>((tick * 2654435761LL) % 1000) / 100.0;
            break;
        default:
            if (tick % 600 != 5) return;  // sparse
            v = std::sin(s) * 100;
    }
    if (tick % 20'011 == 0) store.Gap(t);
    store.Add(channel, t, v, channel == 3 ? Unit::Amperes : Unit::Volts, 2);
}

std::vector<StripChannel> Channels() {
    std::vector<StripChannel> out;
    for (int n = 1; n <= 6; ++n)
        out.push_back(
            {n, QStringLiteral("Voltmeter %1").arg(n), n == 3 ? "A" : "V", QStringLiteral("+ 1.00")});
    return out;
}

QImage Draw(StripPainter& painter, const TrendStore& store, QSize pixels, double dpr, const StripSpan& span) {
    QImage image(pixels, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    painter.Paint(image, store, Channels(), span);
    return image;
}

// The first differing pixel, for the failure message.
std::string FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return "first at " + std::to_string(x) + "," + std::to_string(y);
    return "none";
}

}  // namespace

class StripPainterTest : public QObject {
    Q_OBJECT
private slots:
    void directStrokesMatchQPainter() {
        TrendStore store;
        for (int64_t tick = 0; tick < 30 * 60 * 20; ++tick) Poll(store, tick);
        struct Size {
            QSize pixels;
            double dpr;
        };
        const Size sizes[] = {{{1366, 700}, 1.0},  {{641, 377}, 1.0}, {{1282, 754}, 2.0},
                              {{1001, 603}, 2.0},  {{999, 720}, 3.0}, {{963, 566}, 1.5},
                              {{1600, 1040}, 4.0}, {{70, 30}, 1.0},   {{40, 20}, 1.0}};
        for (const Size& size : sizes) {
            for (const int64_t span : kSpans) {
                // The newest reading at the right, and a view further back.
                for (const int64_t back : {int64_t{0}, span / 2 + 777}) {
                    const StripSpan wanted{store.newestMs() + 1 - back, span};
                    StripPainter direct;
                    StripPainter reference;
                    reference.SetDirectLines(false);
                    const QImage got = Draw(direct, store, size.pixels, size.dpr, wanted);
                    const QImage want = Draw(reference, store, size.pixels, size.dpr, wanted);
                    const std::string what =
                        std::to_string(size.pixels.width()) + "x" + std::to_string(size.pixels.height()) +
                        " at " + std::to_string(size.dpr) + ", span " + std::to_string(span) + ", back " +
                        std::to_string(back) + ": " + FirstDifference(got, want);
                    QVERIFY2(got == want, what.c_str());
                }
            }
        }
    }

    void aPausedViewStaysAsItWas() {
        // Paused at a reading in the middle of the last column: the readings
        // that come later into that column stay out of every redraw.
        for (const int64_t span : kSpans) {
            TrendStore store;
            int64_t tick = 0;
            for (; tick < 2 * 3600 * 20; ++tick) Poll(store, tick);
            StripPainter painter;
            const StripSpan paused{store.newestMs() + 1, span};
            const QImage before = Draw(painter, store, {1366, 700}, 1.0, paused);
            for (int i = 0; i < 3000; ++i) Poll(store, tick++);
            StripPainter fresh;
            const std::string what = "span " + std::to_string(span);
            QVERIFY2(Draw(painter, store, {1366, 700}, 1.0, paused) == before, what.c_str());
            QVERIFY2(Draw(fresh, store, {1366, 700}, 1.0, paused) == before, what.c_str());
        }
    }

    void redrawsAsReadingsComeMatchAFreshPainter() {
        TrendStore store;
        int64_t tick = 0;
        for (; tick < 3 * 3600 * 20; ++tick) Poll(store, tick);
        for (const int64_t span : kSpans) {
            StripPainter kept;
            for (int redraw = 0; redraw < 12; ++redraw) {
                // A refresh's worth of readings, sometimes far more.
                for (int i = redraw % 5 == 4 ? 4000 : 5; i > 0; --i) Poll(store, tick++);
                if (redraw == 7) store.Gap(store.newestMs());
                const StripSpan wanted{store.newestMs() + 1, span};
                StripPainter fresh;
                const QImage got = Draw(kept, store, {1366, 700}, 1.0, wanted);
                const QImage want = Draw(fresh, store, {1366, 700}, 1.0, wanted);
                const std::string what = "span " + std::to_string(span) + ", redraw " +
                                         std::to_string(redraw) + ": " + FirstDifference(got, want);
                QVERIFY2(got == want, what.c_str());
            }
        }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    StripPainterTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "strip_painter_test.moc"
