// The resource source as the program installs it: a module compiled into
// the test as a real Qt resource plays through the process-wide player
// exactly as the renderer makes it, and resource names that lead to no
// module fail without opening the device.
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <string>

#include "music/engine/xm_renderer.h"
#include "music/player/basic_outputs.h"
#include "music/player/module_player.h"
#include "music/qt/desktop_music.h"
#include "player_fakes.h"

using namespace kestrane::music;
using namespace kestrane::music::player;

class ResourceSourceTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ModuleStop(); }

    void playsAModuleStoredAsAQtResource() {
        const std::vector<std::uint8_t> module = testing::ReadAll(KESTRANE_XM_SEED);
        QVERIFY(!module.empty());
        kestrane::music::engine::XmLoadResult loaded = kestrane::music::engine::LoadXm(module);
        QVERIFY(loaded.ok());
        const auto reference = kestrane::music::engine::XmRenderToPcm(
            std::make_shared<const kestrane::music::engine::XmSong>(std::move(loaded.song)),
            60 * kSampleRate);
        QVERIFY(reference.size() > 16 * kBlockSamples);  // longer than the ring

        const std::string wavPath = testing::TempPath("resource.wav");
        auto out = std::make_unique<WavFileOutput>(wavPath);
        WavFileOutput* wav = out.get();
        SetModuleOutput(std::move(out));
        kestrane::music::qt::UseDesktopMusic();
        GlobalModulePlayer().SetPollInterval(std::chrono::microseconds(500));

        QCOMPARE(ModulePlay(":/xmtest/effects-4ch.xm", 0, kModuleNoLoop), 1);
        QVERIFY(testing::WaitFor([] { return !GlobalModulePlayer().IsPlaying(); }));
        QVERIFY(wav->lastFileOk());
        const auto played = testing::WavSamples(testing::ReadAll(wavPath));
        std::remove(wavPath.c_str());
        // Whole blocks: the song's frames, then silence to the block's end.
        QCOMPARE(played.size() % kBlockSamples, std::size_t{0});
        QVERIFY(played.size() >= reference.size() && played.size() < reference.size() + kBlockSamples);
        QVERIFY(std::equal(reference.begin(), reference.end(), played.begin()));
        QVERIFY(std::all_of(played.begin() + static_cast<std::ptrdiff_t>(reference.size()), played.end(),
                            [](std::int16_t v) { return v == 0; }));
    }

    void namesWithoutAModuleFailCleanly_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing resource") << QStringLiteral(":/xmtest/none.xm");
        QTest::newRow("resource folder") << QStringLiteral(":/xmtest");
        QTest::newRow("resource that is no module") << QStringLiteral(":/xmtest/not-a-module.txt");
        QTest::newRow("empty name") << QString();
    }
    void namesWithoutAModuleFailCleanly() {
        QFETCH(QString, name);
        auto probe = std::make_shared<testing::ManualOutput::Probe>();
        SetModuleOutput(std::make_unique<testing::ManualOutput>(probe));
        kestrane::music::qt::UseDesktopMusic();
        const std::string source = name.toStdString();
        QCOMPARE(ModulePlay(source.c_str(), 0, 0), 0);
        QVERIFY(!GlobalModulePlayer().IsPlaying());
        QCOMPARE(probe->opens.load(), 0);
    }
};

QTEST_GUILESS_MAIN(ResourceSourceTest)
#include "resource_source_test.moc"
