// Real audio: the About box plays through the desktop sound output into a
// private PulseAudio null sink; its monitor, recorded with parec, carries
// sound while the box is open and silence once it has closed.
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "music/engine/xm_renderer.h"
#include "music/player/module_player.h"
#include "music/qt/qt_sound_output.h"
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
    // First and last frame from `from` on with a sample above `level`; -1
    // when there is none.
    qint64 FirstAbove(qint64 from, int level) const {
        for (qint64 f = from; f < Frames(); ++f)
            if (Magnitude(f) > level) return f;
        return -1;
    }
    qint64 LastAbove(qint64 from, int level) const {
        for (qint64 f = Frames() - 1; f >= from; --f)
            if (Magnitude(f) > level) return f;
        return -1;
    }
    int Sample(qint64 frame, int channel) const {
        const qint64 at = 4 * frame + 2 * channel;
        const auto lo = static_cast<quint8>(raw_[at]);
        const auto hi = static_cast<quint8>(raw_[at + 1]);
        return static_cast<qint16>(lo | (hi << 8));
    }
    int Magnitude(qint64 frame) const {
        int m = 0;
        for (qint64 i = 2 * frame; i < 2 * frame + 2; ++i) {
            const auto lo = static_cast<quint8>(raw_[2 * i]);
            const auto hi = static_cast<quint8>(raw_[2 * i + 1]);
            m = std::max(m, std::abs(static_cast<int>(static_cast<qint16>(lo | (hi << 8)))));
        }
        return m;
    }
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
        QVERIFY2(kestrane::music::player::GlobalModulePlayer().IsPlaying(),
                 "the desktop sound output did not open on the private daemon");
        recorder.Pump(2000);
        const qint64 atClose = recorder.Frames();
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
        QVERIFY(!kestrane::music::player::GlobalModulePlayer().IsPlaying());
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
                 qPrintable(
                     QStringLiteral("too little recorded after closing (%1 frames in all, closed at %2): %3")
                         .arg(recorder.Frames())
                         .arg(atClose)
                         .arg(errors)));
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

        using namespace kestrane::music::player;
        using kestrane::music::qt::QtSoundOutput;
        ModulePlayer player(std::make_unique<QtSoundOutput>());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(player.Play(bytes.data(), bytes.size(), kModuleMemory | kModuleNoLoop));
            QTRY_VERIFY_WITH_TIMEOUT(!player.IsPlaying(), 30000);
        }
        player.Stop();
    }

    // The last frames of a song without loop reach the speakers: the device
    // is released only after the sink has played everything handed to it,
    // so the recording holds the whole render, to its last frame.
    void songEndIsHeardToTheLastFrame() {
        namespace xmw = kestrane::xmw;
        xmw::Sample sample;
        // Noise, so the recording lines up with the render at one place only.
        uint32_t seed = 12345;
        for (int i = 0; i < 8000; ++i) {
            seed = seed * 1664525u + 1013904223u;
            sample.data.push_back(static_cast<int16_t>(static_cast<int>(seed >> 24) - 128));
        }
        sample.loopType = 1;
        sample.loopLength = 8000;
        xmw::Song song;
        song.instruments.push_back(xmw::SingleSampleInstrument(sample));
        xmw::Pattern pattern;
        pattern.rows = 4;  // about half a second, loud to its very end
        pattern.At(0, 0, 1) = {xmw::Note("C-4"), 1, 0, 0, 0};
        song.patterns.push_back(pattern);
        const auto bytes = xmw::WriteXm(song);
        kestrane::music::engine::XmLoadResult loaded = kestrane::music::engine::LoadXm(bytes);
        QVERIFY(loaded.ok());
        const std::vector<int16_t> render = kestrane::music::engine::XmRenderToPcm(
            std::make_shared<const kestrane::music::engine::XmSong>(std::move(loaded.song)), 48000 * 10);
        qint64 renderLast = 0;  // frames up to the last audible one
        for (size_t i = 0; i < render.size(); ++i)
            if (std::abs(render[i]) > 64) renderLast = static_cast<qint64>(i / 2) + 1;
        QVERIFY(renderLast > 20000);

        using namespace kestrane::music::player;
        using kestrane::music::qt::QtSoundOutput;
        Recorder recorder;
        QVERIFY2(recorder.Start(), "parec did not start");
        recorder.Pump(300);
        const qint64 before = recorder.Frames();
        ModulePlayer player(std::make_unique<QtSoundOutput>());
        QVERIFY(player.Play(bytes.data(), bytes.size(), kModuleMemory | kModuleNoLoop));
        QElapsedTimer waited;
        waited.start();
        while (player.IsPlaying() && waited.elapsed() < 30000) recorder.Pump(10);
        QVERIFY(!player.IsPlaying());
        recorder.Pump(1000);
        recorder.Stop();
        const qint64 first = recorder.FirstAbove(before, 64);
        const qint64 last = recorder.LastAbove(before, 64);
        QVERIFY2(first >= 0, "nothing heard");
        // The sound server may drop the first few milliseconds while the sink
        // wakes up; find where the recording joins the render, then the
        // render must be there to its last frame, sample for sample.
        auto matchesAt = [&](qint64 offset, qint64 frames) {
            for (qint64 k = 0; k < frames; ++k)
                for (int c = 0; c < 2; ++c)
                    if (recorder.Sample(first + k, c) != render[static_cast<size_t>(2 * (offset + k) + c)])
                        return false;
            return true;
        };
        qint64 offset = -1;
        for (qint64 o = 0; o < 9600 && offset < 0; ++o)
            if (matchesAt(o, 2000)) offset = o;
        QVERIFY2(offset >= 0, "the recording does not match the render");
        const qint64 tail = renderLast - offset;  // frames the recording must hold
        QVERIFY2(first + tail <= recorder.Frames(), "the recording stopped too early");
        QVERIFY2(matchesAt(offset, tail),
                 qPrintable(QStringLiteral("the end of the song was lost: heard %1 of the last %2 frames")
                                .arg(last - first + 1)
                                .arg(tail)));
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
