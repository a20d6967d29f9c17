// Shared pieces of the dialog tests: a running client session over a fresh
// settings database and the simulated board, whose Edit buttons and Logging
// menu open the real dialogs with recording messages and a scripted file
// chooser; and helpers to act inside a modal dialog while it runs.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_database.h"
#include "ui/client_session.h"
#include "ui/main_window.h"
#include "ui/options_dialog_host.h"
#include "ui_test_support.h"

namespace kestrane::ui::test {

inline constexpr int kWaitMs = 20000;

// Answers the file and folder choosers from queues; an empty queue or an
// empty answer means the user cancelled. Records every request.
struct ScriptedChooser final : FileChooser {
    struct Request {
        std::string title, filter, startName;
    };
    std::vector<std::string> files, folders;
    std::vector<Request> fileRequests;
    std::vector<std::string> folderTitles;
    std::optional<std::string> OpenFile(QWidget*, const std::string& title, const std::string& filter,
                                        const std::string& startName) override;
    std::optional<std::string> ChooseFolder(QWidget*, const std::string& title) override;
};

struct TestDialogs final : WindowDialogs {
    ChannelDialogs channels;
    void OpenOptions(int channel) override { channels.OpenOptions(channel); }
    void OpenLogging(int channel) override { channels.OpenLogging(channel); }
    void OpenGraph(int) override {}
    void OpenAbout() override {}
};

// The simulated board with product ID 000A and the given channel volts.
std::string Simulation(const std::vector<std::string>& channelVolts);

struct DialogSession {
    RecordingMessages messages;
    FakeUrlOpener urls;
    ScriptedChooser chooser;
    TestDialogs dialogs;
    std::unique_ptr<ClientSession> session;
    // A second connection to the same database, to read back what was saved.
    SettingsDatabase db;

    // `sessionDialogs`: the session's own dialog opener instead of the
    // test's (the desktop file choosers are then never reached by tests).
    bool Start(const BoardRow& row, bool sessionDialogs = false);
    MainWindow& w() { return session->window(); }
    AcquisitionSession& core() { return w().core(); }
    DialogContext Context();
    void Connect();
    BoardSettings Stored();
    ChannelSettings StoredChannel(int n) { return Stored().channels[static_cast<std::size_t>(n - 1)]; }
    // The install folder, which the test's own dialog opener uses.
    std::string programDirectory;
    // Given to the session as the running program's folder when not empty.
    std::string runningProgramDirectory;

private:
    std::string lastFile_;
};

// A board row whose six channels are set up as the dialogs store them.
BoardRow StandardRow();

// Runs `action` on the first modal dialog named `objectName` once it is
// showing (polled from the event loop), so a test can act inside exec().
void WhenModalOpens(const QString& objectName, std::function<void(QDialog*)> action);

// Processes events until `done` holds or `ms` pass.
bool WaitUntil(const std::function<bool()>& done, int ms = kWaitMs);

// The control of a dialog by object name; a missing one ends the test run.
template <class W>
W* Find(QWidget* dialog, const char* name) {
    W* w = dialog->findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no control %s", name);
    return w;
}

// A left click on a dialog's button, by object name.
inline void Click(QWidget* dialog, const char* button) {
    QTest::mouseClick(Find<QPushButton>(dialog, button), Qt::LeftButton);
}

}  // namespace kestrane::ui::test
