// The first start of the program installed for the whole system, as from
// the desktop menu: with no install record the user's own installation is
// made under the data folder and the window opens on the first-run Add
// Device dialog; a record whose program is gone still says "not installed".
#include <QApplication>
#include <QDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "settings/install_record.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

using namespace kestrane;
using namespace kestrane::ui;
using namespace kestrane::ui::test;
namespace fs = std::filesystem;

namespace {

struct MenuStart {
    RecordingMessages messages;
    FakeUrlOpener urls;
    NoDialogs dialogs;
    std::vector<AddMode> addDialogs;
    std::unique_ptr<ClientSession> session;

    void Start(const std::string& running, const std::string& systemProgram, const std::string& data) {
        SessionServices services;
        services.messages = &messages;
        services.urls = &urls;
        services.dialogs = &dialogs;
        services.runningProgram = running;
        services.systemProgram = systemProgram;
        services.userDataFolder = data;
        services.addDeviceRunner = [this](AddMode mode) {
            addDialogs.push_back(mode);
            return false;
        };
        session = ClientSession::Start(services);
    }
};

std::string MakeProgram(const std::string& folder) {
    QDir().mkpath(QString::fromStdString(folder));
    const std::string path = folder + "/kestrane";
    std::ofstream(path) << "program";
    return path;
}

}  // namespace

class FirstRunTest : public QObject {
    Q_OBJECT
private slots:
    void init() { WriteSimulation("[device]\nproduct-id = 000A\n"); }

    void menuStartMakesTheUsersInstallationAndOpensTheWindow() {
        RemoveInstallRecord();
        const std::string system = MakeProgram(TestRoot() + "/usr/bin");
        const std::string data = TestRoot() + "/home/.local/share/kestrane";
        MenuStart s;
        s.Start(system, system, data);
        QVERIFY(s.session);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(s.addDialogs, std::vector<AddMode>{AddMode::FirstRun});
        QCOMPARE(QString::fromStdString(s.session->databasePath()),
                 QString::fromStdString(data + "/kestrane.MDB"));
        QVERIFY(fs::is_regular_file(data + "/kestrane.MDB"));
        QVERIFY(s.session->databaseOpen());
        // Log folders are proposed in the user's folder, not beside /usr/bin.
        QCOMPARE(QString::fromStdString(s.session->programDirectory()), QString::fromStdString(data + "/"));
        QCOMPARE(SystemInstallRecord().programPath(), std::optional<std::string>(data + "/kestrane"));
        s.session->window().close();
        s.session.reset();

        // The second start goes by the record it left.
        MenuStart again;
        again.Start(system, system, TestRoot() + "/unused");
        QVERIFY(again.session);
        QCOMPARE(QString::fromStdString(again.session->databasePath()),
                 QString::fromStdString(data + "/kestrane.MDB"));
        QVERIFY(!fs::exists(TestRoot() + "/unused"));
        again.session->window().close();
    }

    void startsThatMakeNoInstallation_data() {
        QTest::addColumn<bool>("fromSystem");
        QTest::addColumn<bool>("staleRecord");
        QTest::newRow("a copy outside the system install, no record") << false << false;
        QTest::newRow("menu start, record of a removed program") << true << true;
    }
    void startsThatMakeNoInstallation() {
        QFETCH(bool, fromSystem);
        QFETCH(bool, staleRecord);
        const std::string system = MakeProgram(TestRoot() + "/sys/bin");
        const std::string elsewhere = MakeProgram(TestRoot() + "/elsewhere");
        const std::string data = TestRoot() + "/nodata";
        if (staleRecord) {
            // Its database is still there, its program is not.
            const std::string gone = TestRoot() + "/removed/kestrane";
            QDir().mkpath(QString::fromStdString(TestRoot() + "/removed"));
            std::ofstream(DatabasePathFor(gone)) << "";
            SetInstalledProgram(gone);
        } else {
            RemoveInstallRecord();
        }
        MenuStart s;
        s.Start(fromSystem ? system : elsewhere, system, data);
        QVERIFY(!s.session);
        QCOMPARE(s.messages.shown,
                 (std::vector<std::pair<std::string, std::string>>{{"", kNotInstalledText}}));
        QVERIFY(!fs::exists(data));
    }
};

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    FirstRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "first_run_test.moc"
