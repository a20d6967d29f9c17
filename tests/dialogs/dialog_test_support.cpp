#include "dialog_test_support.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "client/core/startup_logic.h"

namespace kestrane::ui::test {

std::optional<std::string> ScriptedChooser::OpenFile(QWidget*, const std::string& title,
                                                     const std::string& filter,
                                                     const std::string& startName) {
    fileRequests.push_back({title, filter, startName});
    if (files.empty()) return std::nullopt;
    std::string answer = files.front();
    files.erase(files.begin());
    if (answer.empty()) return std::nullopt;
    return answer;
}

std::optional<std::string> ScriptedChooser::ChooseFolder(QWidget*, const std::string& title) {
    folderTitles.push_back(title);
    if (folders.empty()) return std::nullopt;
    std::string answer = folders.front();
    folders.erase(folders.begin());
    if (answer.empty()) return std::nullopt;
    return answer;
}

std::string Simulation(const std::vector<std::string>& channelVolts) {
    std::string text = "[device]\nproduct-id = 000A\nfirmware = KESTRANE FW 2.17\n";
    for (std::size_t i = 0; i < channelVolts.size(); ++i)
        text += "channel" + std::to_string(i + 1) + " = " + channelVolts[i] + "\n";
    return text;
}

BoardRow StandardRow() {
    BoardRow row{"000A", true, {}};
    auto& ch = row.settings.channels;
    ch[0] = MakeChannel("YES", "Battery", "1", "3");
    ch[1] = MakeChannel("YES", "Reverse", "1", "2");
    ch[2] = MakeChannel("NO", "Spare", "1", "1");
    ch[3] = MakeChannel("YES", "Shunt", "1", "2", "ADC");
    ch[3].amp = "200";
    ch[3].millivolt = "75";
    ch[4] = MakeChannel("YES", "Reference", "1", "4");
    ch[5] = MakeChannel("YES", "Bus", "1", "3");
    return row;
}

bool DialogSession::Start(const BoardRow& row, bool sessionDialogs) {
    std::string error;
    const std::string program = MakeInstallation({row}, error);
    if (program.empty()) {
        qWarning("%s", error.c_str());
        return false;
    }
    SetInstalledProgram(program);
    programDirectory = ProgramDirectory(program);
    SessionServices services;
    services.messages = &messages;
    services.urls = &urls;
    services.dialogs = sessionDialogs ? nullptr : &dialogs;
    services.addDeviceRunner = [](AddMode) { return false; };
    services.programDirectory = runningProgramDirectory;
    session = ClientSession::Start(services);
    if (!session) return false;
    if (!db.Open(DefaultConnectionString(session->databasePath())).ok()) return false;
    dialogs.channels.SetUp(&w(), &db, programDirectory, &messages, &chooser);
    w().show();
    return true;
}

DialogContext DialogSession::Context() {
    DialogContext c;
    c.window = &w();
    c.database = &db;
    c.messages = &messages;
    c.files = &chooser;
    c.programDirectory = programDirectory;
    c.lastChosenFile = &lastFile_;
    return c;
}

void DialogSession::Connect() { QTest::mouseClick(w().connectButton(), Qt::LeftButton); }

BoardSettings DialogSession::Stored() {
    BoardSettings out;
    db.LoadBoardSettings("000A", out);
    return out;
}

void WhenModalOpens(const QString& objectName, std::function<void(QDialog*)> action) {
    auto* poll = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    // A dialog that never opened must not be acted on by a later test.
    const QByteArray owner = QByteArray(QTest::currentTestFunction()) + '/' + QTest::currentDataTag();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, objectName, action, started, owner] {
        if (QByteArray(QTest::currentTestFunction()) + '/' + QTest::currentDataTag() != owner) {
            poll->stop();
            poll->deleteLater();
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (dialog && dialog->objectName() == objectName && dialog->isVisible()) {
            poll->stop();
            poll->deleteLater();
            action(dialog);
            return;
        }
        if (started->elapsed() > kWaitMs) {
            // Never let a test hang on a dialog that did not show: close it.
            poll->stop();
            poll->deleteLater();
            if (dialog) dialog->reject();
            qWarning("modal dialog %s did not open", qPrintable(objectName));
        }
    });
    poll->start(10);
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

}  // namespace kestrane::ui::test
