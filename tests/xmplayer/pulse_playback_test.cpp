// Real audio: the About box plays through the desktop sound output into a
// private PulseAudio null sink; its monitor, recorded with parec, carries
// sound while the box is open and silence once it has closed.
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "player/module_player.h"
#include "qt/qt_sound_output.h"
#include "ui/about_dialog.h"
#include "xm_writer.h"

namespace {

QString StateFile(const char* name) {
    return qEnvironmentVariable("KESTRANE_PULSE_STATE") + QLatin1Char('/') + QLatin1String(name);
}

QString ReadText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}

// Records the null sink's monitor with parec for as long as it lives.
class Recorder {
public:
    bool Start() {
        parec_.start(QStringLiteral("parec"),
                     {QStringLiteral("--latency-msec=20"), QStringLiteral("--device=kestrane_null.monitor"),
                      QStringLiteral("--format=s16le"), QStringLiteral("--rate=48000"),
                      QStringLiteral("--channels=2"), QStringLiteral("--raw")});
        return parec_.waitForStarted(10000);
    }
    // Collects what arrived while waiting `ms` milliseconds.
    void Pump(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            parec_.waitForReadyRead(20);
            raw_ += parec_.readAllStandardOutput();
            QCoreApplication::processEvents();
        }
    }
    void Stop() {
        parec_.terminate();
        if (!parec_.waitForFinished(5000)) parec_.kill();
        raw_ += parec_.readAllStandardOutput();
    }
    QString Errors() { return QString::fromLocal8Bit(parec_.readAllStandardError()).trimmed(); }
    qint64 Frames() const { return raw_.size() / 4; }
    // Largest magnitude in frames [from, to).
    int Peak(qint64 from, qint64 to) const {
        int peak = 0;
        for (qint64 i = from * 2; i < std::min(to, Frames()) * 2; ++i) {
            const auto lo = static_cast<quint8>(raw_[2 * i]);
            const auto hi = static_cast<quint8>(raw_[2 * i + 1]);
            peak = std::max(peak, std::abs(static_cast<int>(static_cast<qint16>(lo | (hi << 8)))));
        }
        return peak;
    }

private:
    QProcess parec_;
    QByteArray raw_;
};

}  // namespace

class PulsePlaybackTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (ReadText(StateFile("server")).isEmpty()) {
            const QString why = ReadText(StateFile("unavailable"));
            QSKIP(qPrintable(QStringLiteral("no private PulseAudio daemon: ") +
                             (why.isEmpty() ? QStringLiteral("KESTRANE_PULSE_STATE not prepared") : why)));
        }
    }

    void aboutBoxIsHeardWhileOpenAndSilentAfterClosing() {
        Recorder recorder;
        QVERIFY2(recorder.Start(), "parec did not start");
        recorder.Pump(300);
        const qint64 beforeOpen = recorder.Frames();

        kestrane::ui::AboutDialog box;
        box.show();
        QVERIFY2(kestrane::music::GlobalModulePlayer().IsPlaying(),
                 "the desktop sound output did not open on the private daemon");
        recorder.Pump(2000);
        const qint64 atClose = recorder.Frames();
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
        QVERIFY(!kestrane::music::GlobalModulePlayer().IsPlaying());
        recorder.Pump(2500);
        recorder.Stop();

        const QString errors = recorder.Errors();
        const int playingPeak = recorder.Peak(beforeOpen, atClose);
        QVERIFY2(atClose > beforeOpen, qPrintable(QStringLiteral("nothing recorded while open: ") + errors));
        QVERIFY2(playingPeak > 500, qPrintable(QStringLiteral("peak while open: %1").arg(playingPeak)));
        // Allow the sink's own latency (well under half a second) for the last
        // sound to reach the monitor, and as much again for a loaded machine;
        // everything after that is silence.
        const qint64 settled = atClose + 48000;
        QVERIFY2(recorder.Frames() > settled + 48000 / 20,
                 qPrintable(QStringLiteral("too little recorded after closing (%1 frames in all, closed at %2): %3")
                                .arg(recorder.Frames()).arg(atClose).arg(errors)));
        const int closedPeak = recorder.Peak(settled, recorder.Frames());
        QVERIFY2(closedPeak < 64, qPrintable(QStringLiteral("peak after closing: %1").arg(closedPeak)));
    }

    // A song without loop ends by itself: the mixing thread closes the
    // desktop output on its own, and a second song can start right after.
    void shortSongEndsAndReleasesTheDevice() {
        namespace xmw = kestrane::xmw;
        xmw::Sample sample;
        for (int i = 0; i < 32; ++i) sample.data.push_back(i < 16 ? 80 : -80);
        sample.loopType = 1;
        sample.loopLength = 32;
        xmw::Song song;
        song.instruments.push_back(xmw::SingleSampleInstrument(sample));
        xmw::Pattern pattern;
        pattern.rows = 8;  // about a second
        pattern.At(0, 0, 1) = {xmw::Note("C-4"), 1, 0, 0, 0};
        song.patterns.push_back(pattern);
        const auto bytes = xmw::WriteXm(song);

        using namespace kestrane::music;
        ModulePlayer player(std::make_unique<QtSoundOutput>());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(player.Play(bytes.data(), bytes.size(), kModuleMemory | kModuleNoLoop));
            QTRY_VERIFY_WITH_TIMEOUT(!player.IsPlaying(), 30000);
        }
        player.Stop();
    }
};

int main(int argc, char** argv) {
    // The address must be set before Qt's audio backend connects.
    const QString server = ReadText(StateFile("server"));
    if (!server.isEmpty()) qputenv("PULSE_SERVER", server.toUtf8());
    QApplication app(argc, argv);
    PulsePlaybackTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pulse_playback_test.moc"
