// Shared pieces of the window tests: a private configuration folder and
// simulation file per test program, settings databases made through the
// real SQLite ODBC driver, and recording stand-ins for message boxes.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/channel_model.h"
#include "settings/message_sink.h"
#include "ui/window_services.h"

namespace kestrane::ui::test {

// Points XDG_CONFIG_HOME and KESTRANE_SIMULATION into a temporary folder.
// Call first in main(), before anything reads either.
void PrepareProcessEnvironment();
// The folder made by PrepareProcessEnvironment.
std::string TestRoot();
// Replaces the simulation file atomically, so the bus sees the change.
void WriteSimulation(const std::string& text);

// The install record naming `programPath`, or no record at all.
void SetInstalledProgram(const std::string& programPath);
void RemoveInstallRecord();

struct BoardRow {
    std::string pid;
    bool isDefault = false;
    BoardSettings settings;  // channels saved as the dialogs would
};

// A fresh folder with "Kestrane" installed in it and a database holding
// `rows`; returns the program path, or "" (with `error`) on failure.
std::string MakeInstallation(const std::vector<BoardRow>& rows, std::string& error);

struct RecordingMessages final : MessageSink {
    std::vector<std::pair<std::string, std::string>> shown;  // caption, text
    std::function<void()> whileOpen;                         // runs as if inside the modal box
    void ShowError(const std::string& caption, const std::string& text) override;
};

// Opens no dialog, for tests that do not look at them.
struct NoDialogs final : WindowDialogs {
    void OpenOptions(int) override {}
    void OpenLogging(int) override {}
    void OpenGraph(int) override {}
    void OpenAbout() override {}
};

struct FakeUrlOpener final : UrlOpener {
    bool result = false;
    std::vector<std::string> opened;
    bool Open(const std::string& url) override {
        opened.push_back(url);
        return result;
    }
};

// A channel configured as the settings dialogs store it.
ChannelSettings MakeChannel(const char* enable, const char* name, const char* adj, const char* precision,
                            const char* mode = "VDC");

}  // namespace kestrane::ui::test
