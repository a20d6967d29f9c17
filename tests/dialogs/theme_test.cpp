// The main window under a dark palette and a large desktop font: text on
// every fixed-colour area keeps a contrast of at least 4.5:1, measured from
// the window's own pixels, the gauges' troughs follow the palette, and no
// status-bar part is narrower than its longest text.
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cmath>

#include "acquisition/polling_cycle.h"
#include "dialog_test_support.h"
#include "ui/dark_palette.h"
#include "ui/ui_ids.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;

namespace {

double Luminance(QRgb c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a text area's picture: its background is its commonest
// colour, its text the pixel that stands out most from it.
double MeasuredContrast(const QImage& picture) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) ++counts[picture.pixel(x, y) | 0xFF000000u];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        best = std::max(best, Contrast(background, it.key()));
    return best;
}

}  // namespace

class ThemeTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation(Simulation({"12.5", "-3.3"})); }

    void fixedColourAreasKeepTheirContrastUnderADarkPalette() {
        const QPalette saved = QApplication::palette();
        QApplication::setPalette(kestrane::ui::DarkPalette());
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        s.Connect();
        QTRY_VERIFY_WITH_TIMEOUT(!s.w().connectButton()->isEnabled(), kWaitMs);
        for (const int id : kIdHeaders) {
            QLabel* header = nullptr;
            for (QLabel* l : s.w().findChildren<QLabel*>())
                if (l->property("controlId").toInt() == id) header = l;
            QVERIFY(header != nullptr);
            const double ratio = MeasuredContrast(header->grab().toImage());
            qInfo("%s: %.2f:1", qPrintable(header->objectName()), ratio);
            QVERIFY2(ratio >= 4.5, qPrintable(header->objectName()));
        }
        for (int part = 0; part < kStatusPartCount; ++part) {
            const double ratio = MeasuredContrast(s.w().statusParts()->part(part)->grab().toImage());
            qInfo("status part %d: %.2f:1", part, ratio);
            QVERIFY(ratio >= 4.5);
        }
        // The gauge's trough is the palette's dark base, not white.
        auto* gauge = s.w().findChild<QProgressBar*>(QStringLiteral("gauge6"));
        const QImage trough = gauge->grab().toImage();
        const QRgb inside = trough.pixel(trough.width() - 4, trough.height() / 2);
        QVERIFY2(Luminance(inside) < 0.1, qPrintable(QColor(inside).name()));
        QApplication::setPalette(saved);
    }

    void statusPartsHoldTheirTextsAtAnyFontSize_data() {
        QTest::addColumn<double>("points");
        for (double points : {9.0, 12.0, 16.0, 22.0})
            QTest::newRow(qPrintable(QString::number(points))) << points;
    }
    void statusPartsHoldTheirTextsAtAnyFontSize() {
        QFETCH(double, points);
        const QFont saved = QApplication::font();
        QFont font = saved;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        DialogSession s;
        QVERIFY(s.Start(StandardRow()));
        StatusParts* parts = s.w().statusParts();
        const QStringList texts[3] = {
            {"STATUS:"},
            {"Not Connected", "Connected"},
            {"MSG:   Click on connect", QString::fromLatin1(kPollingStartedText),
             QString::fromLatin1(kPollingPausedText), " MSG: Data Polling ............"}};
        for (int i = 0; i < 3; ++i) {
            QLabel* label = parts->part(i);
            const int room = label->width() - label->contentsMargins().left() - 2 * label->frameWidth();
            for (const QString& text : texts[i])
                QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= room,
                         qPrintable(QStringLiteral("%1 in %2 px").arg(text).arg(room)));
        }
        // The credits part keeps some room too.
        QVERIFY(parts->part(3)->width() > 0);
        QApplication::setFont(saved);
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    ThemeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "theme_test.moc"
