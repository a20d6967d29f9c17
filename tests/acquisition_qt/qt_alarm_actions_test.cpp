// The desktop alarm actions start real programs: a script with awkward
// characters in its path must run as itself, with no shell in between.
#include <QAudioDevice>
#include <QDir>
#include <QFile>
#include <QMediaDevices>
#include <QtTest>

#include "acquisition/qt/qt_alarm_actions.h"
#include "temp_dir.h"

using kestrane::QtAlarmActions;

// Under the PulseAudio fixture a device must exist; without the fixture the
// sound tests check that nothing is even attempted.
#define KESTRANE_SOUND_DEVICE(have)                                                             \
    const QByteArray pulseSocket = qgetenv("KESTRANE_PULSE_SOCKET");                            \
    if (!pulseSocket.isEmpty() && !QFile::exists(QString::fromLocal8Bit(pulseSocket)))          \
        QSKIP("the private PulseAudio server did not start; see the output of pulse_start.sh"); \
    const bool have = !QMediaDevices::defaultAudioOutput().isNull();                            \
    if (!pulseSocket.isEmpty()) QVERIFY2(have, "PulseAudio is running but Qt sees no audio output")

class QtAlarmActionsTest : public QObject {
    Q_OBJECT

private:
    static std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

    // Writes an executable script that appends "ran" to `out`.
    static QString WriteScript(const QString& path, const QString& out) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write("#!/bin/sh\necho ran >> '" + out.toUtf8() + "'\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // Silence as 8 kHz mono 16-bit PCM.
    static QByteArray SilentWav(int ms) {
        const quint32 dataBytes = static_cast<quint32>(ms) * 16;
        QByteArray b;
        QDataStream s(&b, QIODevice::WriteOnly);
        s.setByteOrder(QDataStream::LittleEndian);
        s.writeRawData("RIFF", 4);
        s << quint32(36 + dataBytes);
        s.writeRawData("WAVEfmt ", 8);
        s << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2)
          << quint16(16);
        s.writeRawData("data", 4);
        s << dataBytes;
        b.append(QByteArray(static_cast<qsizetype>(dataBytes), '\0'));
        return b;
    }

    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void startsAnExecutableWithBlanksAndQuotesInItsPath() {
        const kestrane::test::TempDir dir("alarm");
        QVERIFY(!dir.path().empty());
        const QString folder = QString::fromStdString(dir.File("alarm's \"dir\""));
        QVERIFY(QDir().mkpath(folder));
        const QString out = QString::fromStdString(dir.File("out.txt"));
        const QString script = WriteScript(folder + "/on high; $(touch pwned).sh", out);
        QVERIFY(!script.isEmpty());

        QList<QUrl> opened;
        QtAlarmActions actions(
            [&](const QUrl& u) {
                opened.append(u);
                return true;
            },
            nullptr);
        actions.StartProgram(Utf8(script));
        QTRY_COMPARE_WITH_TIMEOUT(ReadAll(out), QByteArray("ran\n"), 30000);
        QVERIFY(opened.isEmpty());
        QVERIFY(!QFile::exists(folder + "/pwned"));
        QVERIFY(!QFile::exists("pwned"));
    }

    void opensOtherFilesAndSkipsMissingOnes() {
        const kestrane::test::TempDir dir("alarm");
        QVERIFY(!dir.path().empty());
        const QString doc = QString::fromStdString(dir.File("alarm note.txt"));
        {
            QFile f(doc);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        QList<QUrl> opened;
        QtAlarmActions actions(
            [&](const QUrl& u) {
                opened.append(u);
                return true;
            },
            nullptr);
        actions.StartProgram(Utf8(doc));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.front(), QUrl::fromLocalFile(doc));

        actions.StartProgram(Utf8(QString::fromStdString(dir.File("missing.sh"))));
        actions.StartProgram("");
        actions.StartProgram("no-such-program-kestrane; touch " +
                             Utf8(QString::fromStdString(dir.File("pwned"))));
        QCOMPARE(opened.size(), 1);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(QString::fromStdString(dir.File("pwned"))));
    }

    // Settings from a shared database: a program or document others may
    // write neither starts nor opens, and the refusal is said once each.
    void sharedSettingsRefuseWhatOthersMayWrite() {
        const kestrane::test::TempDir dir("alarm");
        QVERIFY(!dir.path().empty());
        const QString out = QString::fromStdString(dir.File("out.txt"));
        const QString script = WriteScript(QString::fromStdString(dir.File("alarm.sh")), out);
        const QString doc = QString::fromStdString(dir.File("note.txt"));
        {
            QFile f(doc);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        for (const QString& file : {script, doc})
            QVERIFY(QFile(file).setPermissions(QFile(file).permissions() | QFile::WriteGroup));
        std::vector<std::string> said;
        kestrane::AlarmProgramGuard guard(true, [&](const std::string& m) { said.push_back(m); });
        QList<QUrl> opened;
        QtAlarmActions actions(
            [&](const QUrl& u) {
                opened.append(u);
                return true;
            },
            nullptr);
        actions.setProgramGuard(&guard);
        for (int i = 0; i < 2; ++i) {
            actions.StartProgram(Utf8(script));
            actions.StartProgram(Utf8(doc));
        }
        QTest::qWait(300);
        QVERIFY(!QFile::exists(out));
        QVERIFY(opened.isEmpty());
        QCOMPARE(said.size(), std::size_t{2});
        QVERIFY(said[0].find("alarm program " + Utf8(script) + " not started") == 0);

        // Owner-only again: both go ahead.
        for (const QString& file : {script, doc})
            QVERIFY(QFile(file).setPermissions(QFile(file).permissions() & ~QFile::WriteGroup));
        actions.StartProgram(Utf8(script));
        actions.StartProgram(Utf8(doc));
        QTRY_COMPARE_WITH_TIMEOUT(ReadAll(out), QByteArray("ran\n"), 30000);
        QCOMPARE(opened.size(), 1);
    }

    void soundsThatCannotPlayAreSkipped() {
        const kestrane::test::TempDir dir("alarm");
        QVERIFY(!dir.path().empty());
        KESTRANE_SOUND_DEVICE(device);
        Q_UNUSED(device);
        const QString garbage = QString::fromStdString(dir.File("not a sound.wav"));
        {
            QFile f(garbage);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("RIFF\xff\xff\xff\xffWAVEjunk", 16);
        }
        const QString cut = QString::fromStdString(dir.File("cut.wav"));
        {
            QFile f(cut);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(SilentWav(1000).left(100));
        }
        QtAlarmActions actions(nullptr);
        actions.PlaySound(Utf8(QString::fromStdString(dir.File("missing.wav"))));
        actions.PlaySound("");
        actions.PlaySound(dir.path().string());  // a folder is not a sound
        actions.PlaySound(Utf8(garbage));
        actions.PlaySound(Utf8(cut));
        QCOMPARE(actions.activeSounds(), 0);
    }

    void playableSoundsReturnAtOnceAndAreReleased() {
        const kestrane::test::TempDir dir("alarm");
        QVERIFY(!dir.path().empty());
        KESTRANE_SOUND_DEVICE(device);
        const QString wav = QString::fromStdString(dir.File("a 'quoted' beep.wav"));
        {
            QFile f(wav);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(SilentWav(1000));
        }
        QtAlarmActions actions(nullptr);
        actions.setTimeoutsMs(10000, 60000);
        for (int i = 0; i < QtAlarmActions::kMaxSounds + 3; ++i) actions.PlaySound(Utf8(wav));
        // At most kMaxSounds at once; without a device nothing is attempted.
        QCOMPARE(actions.activeSounds(), device ? QtAlarmActions::kMaxSounds : 0);
        // Played to the end and released well before the play limit.
        QTRY_COMPARE_WITH_TIMEOUT(actions.activeSounds(), 0, 30000);
    }
};

QTEST_MAIN(QtAlarmActionsTest)
#include "qt_alarm_actions_test.moc"
