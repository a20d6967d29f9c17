// The About box with a fake sound device: its texts, the music running
// exactly while it is open, every way of closing it, a second opening
// starting the song afresh, and a machine without sound.
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include "kestrane_version.h"
#include "music/player/basic_outputs.h"
#include "music/player/module_player.h"
#include "music/qt/qt_sound_output.h"
#include "player_fakes.h"
#include "ui/about_dialog.h"

using kestrane::music::player::GlobalModulePlayer;
using kestrane::music::player::SetModuleOutput;
using kestrane::music::player::WavFileOutput;
using kestrane::music::player::testing::ManualOutput;
using kestrane::ui::AboutDialog;

class AboutDialogTest : public QObject {
    Q_OBJECT
private:
    std::shared_ptr<ManualOutput::Probe> probe_;

    void UseFakeDevice() {
        probe_ = std::make_shared<ManualOutput::Probe>();
        SetModuleOutput(std::make_unique<ManualOutput>(probe_));
    }

private slots:
    void init() { UseFakeDevice(); }
    void cleanupTestCase() { kestrane::music::player::ModuleStop(); }

    void showsTheProductBuildNumberAndMaker() {
        AboutDialog box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Kestrane"));
        auto text = [&](const char* name) {
            auto* label = box.findChild<QLabel*>(QString::fromLatin1(name));
            return label ? label->text() : QStringLiteral("<missing>");
        };
        QCOMPARE(text("aboutBuildCaption"), QStringLiteral("Build Number:"));
        QCOMPARE(text("aboutBuildNumber"), QStringLiteral(KESTRANE_VERSION_TEXT));
        QVERIFY(text("aboutProduct").contains(QStringLiteral("Kestrane")));
        QVERIFY(text("aboutMaker").contains(QStringLiteral("Morvane")));
        auto* icon = box.findChild<QLabel*>(QStringLiteral("aboutIcon"));
        QVERIFY(icon && !icon->pixmap().isNull());
        QVERIFY(!box.windowIcon().isNull());
    }

    void closingStopsTheMusicFirst_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Enter") << 0;
        QTest::newRow("Return") << 1;
        QTest::newRow("Escape") << 2;
        QTest::newRow("close box") << 3;
    }
    void closingStopsTheMusicFirst() {
        QFETCH(int, how);
        AboutDialog box;
        // The music only starts once the box is shown.
        QVERIFY(!GlobalModulePlayer().IsPlaying());
        box.show();
        QVERIFY(GlobalModulePlayer().IsPlaying());
        QVERIFY(probe_->open);
        // The box stops the music before it reports being finished.
        bool stoppedFirst = false;
        connect(&box, &QDialog::finished, this,
                [&] { stoppedFirst = !GlobalModulePlayer().IsPlaying() && !probe_->open; });
        switch (how) {
            case 0:
                QTest::keyClick(&box, Qt::Key_Enter);
                break;
            case 1:
                QTest::keyClick(&box, Qt::Key_Return);
                break;
            case 2:
                QTest::keyClick(&box, Qt::Key_Escape);
                break;
            default:
                box.close();
                break;
        }
        QVERIFY(stoppedFirst);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), 0);
        QCOMPARE(probe_->opens.load(), 1);
        QCOMPARE(probe_->closes.load(), 1);
    }

    void otherKeysLeaveTheBoxOpen() {
        AboutDialog box;
        box.show();
        QTest::keyClick(&box, Qt::Key_Space);
        QTest::keyClick(&box, Qt::Key_A);
        QVERIFY(box.isVisible());
        QVERIFY(GlobalModulePlayer().IsPlaying());
        box.close();
        QVERIFY(!GlobalModulePlayer().IsPlaying());
    }

    void showAboutBoxIsModalAndReturnsSilent() {
        bool sawBox = false;
        QTimer::singleShot(50, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            sawBox = qobject_cast<AboutDialog*>(modal) != nullptr && GlobalModulePlayer().IsPlaying();
            if (modal) QTest::keyClick(modal, Qt::Key_Escape);
        });
        QWidget owner;
        kestrane::ui::ShowAboutBox(&owner);
        QVERIFY(sawBox);
        QVERIFY(!GlobalModulePlayer().IsPlaying());
        QVERIFY(!probe_->open);
    }

    void destroyingAnOpenBoxStopsTheMusic() {
        auto box = std::make_unique<AboutDialog>();
        box->show();
        QVERIFY(GlobalModulePlayer().IsPlaying());
        box.reset();
        QVERIFY(!GlobalModulePlayer().IsPlaying());
        QVERIFY(!probe_->open);
    }

    void secondOpeningStartsTheSongAgain() {
        const std::string path = kestrane::music::player::testing::TempPath("about.wav");
        auto capture = [&]() -> std::vector<std::int16_t> {
            auto out = std::make_unique<WavFileOutput>(path);
            WavFileOutput* wav = out.get();
            SetModuleOutput(std::move(out));
            AboutDialog box;
            box.show();
            if (!QTest::qWaitFor([&] { return wav->blocksPlayed() >= 48; }, 60000)) return {};
            box.close();
            return kestrane::music::player::testing::WavSamples(
                kestrane::music::player::testing::ReadAll(path));
        };
        const auto first = capture();
        const auto second = capture();
        std::remove(path.c_str());
        const std::size_t compare = 40 * kestrane::music::player::kBlockSamples;
        QVERIFY(first.size() >= compare && second.size() >= compare);
        QVERIFY(std::equal(first.begin(), first.begin() + compare, second.begin()));
        QVERIFY(std::any_of(first.begin(), first.begin() + compare, [](std::int16_t v) { return v != 0; }));
    }

    void desktopOutputWithoutASoundServerDoesNotOpen() {
        kestrane::music::qt::QtSoundOutput output;
        kestrane::music::player::OutputRing ring;
        QVERIFY(!output.Open(ring));
        output.Close();
        kestrane::music::player::ModulePlayer player(std::make_unique<kestrane::music::qt::QtSoundOutput>());
        auto probe = std::make_shared<kestrane::music::player::testing::StampSource::Probe>();
        QCOMPARE(
            player.PlaySource(std::make_unique<kestrane::music::player::testing::StampSource>(probe, 0), 0),
            0);
        QVERIFY(probe->destroyed);
    }

    void withoutASoundDeviceTheBoxStillWorks() {
        SetModuleOutput(nullptr);
        AboutDialog box;
        box.show();
        QVERIFY(box.isVisible());
        QVERIFY(!GlobalModulePlayer().IsPlaying());
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
    }
};

int main(int argc, char** argv) {
    // No sound server at all, whatever the machine has: the desktop output
    // must then fail to open instead of reaching a real device.
    qputenv("PULSE_SERVER", "unix:/nonexistent-kestrane-pulse/native");
    QApplication app(argc, argv);
    AboutDialogTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "about_dialog_test.moc"
